// Paths from the ANSI texts of records and files, and back. The texts are in
// the system's ANSI code page (a Korean name is two bytes a character in code
// page 949): a path made from one goes through that code page, never byte by
// byte as std::filesystem::path does with a narrow string.
#pragma once
#include <filesystem>
#include <string>
#include <string_view>

namespace orva {

// The path that an ANSI text names. Bytes that are no character of the code
// page become the system's replacement character, so such a path names no
// file that the text could have meant.
std::filesystem::path PathFromAnsi(std::string_view text);

// The ANSI text of a path; false (and `out` empty) when a character of the
// path has no form in the code page.
bool AnsiFromPath(const std::filesystem::path& path, std::string& out);

}  // namespace orva
