// The few system calls of the contracts library, one implementation for
// Windows (file_system_win.cpp) and one for POSIX (file_system_posix.cpp).
#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace orva::contracts_sys {

// A HANDLE on Windows, a file descriptor on POSIX; -1 is no file on both.
using Handle = std::intptr_t;
inline constexpr Handle kNoHandle = -1;

// kReadShared lets other openers read and write the file meanwhile (a log
// that a viewer or its writer still holds).
enum class Mode { kRead, kCreateTruncate, kAppend, kCreateNew, kReadShared };

// True unless the system says the file or its folder does not exist.
bool Exists(const std::filesystem::path& path);
// One open. On Windows it shares nothing with other openers (kReadShared
// aside); the POSIX open takes no lock at all (see ExclusiveOpens).
Handle OpenOnce(const std::filesystem::path& path, Mode mode);
bool ExclusiveOpens();
unsigned long ProcessId();
void CloseFile(Handle h);
bool ReadAll(Handle h, std::string& bytes);
// Reads up to `size` bytes at the file position: the count, 0 at the end, -1 on failure.
long long ReadSome(Handle h, char* buffer, size_t size);
bool WriteAll(Handle h, std::string_view bytes);
bool SeekEnd(Handle h);
bool Flush(Handle h);
// Renames `from` over `to` in one step.
bool ReplaceWith(const std::filesystem::path& from, const std::filesystem::path& to);
void RemoveFile(const std::filesystem::path& path);

}  // namespace orva::contracts_sys
