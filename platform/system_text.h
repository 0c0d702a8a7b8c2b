// Texts from the system: the ANSI form of a wide text and the system's
// message for an error code.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace orva::platform {

// The text in the system's ANSI code page; empty when it cannot be had.
// `lossy` (when given) says whether a character had no ANSI form.
std::string WideToAnsi(std::wstring_view text, bool* lossy = nullptr);

// The system's message text for an error code as FormatMessage gives it
// (at most 1023 characters, its line end kept); empty when there is none.
std::string FormatSystemMessage(uint32_t code);

// The message without its trailing blanks and line end, or "Error" when the
// system has none.
std::string SystemErrorText(uint32_t code);

}  // namespace orva::platform
