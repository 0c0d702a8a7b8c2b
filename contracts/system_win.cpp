// Windows side of the contracts library's system calls.
#include <windows.h>

#include "contracts/ansi_path.h"
#include "contracts/file_system.h"
#include "contracts/local_time.h"

namespace orva {

std::tm LocalTimeOf(std::time_t t) {
  std::tm tm{};
  localtime_s(&tm, &t);
  return tm;
}

std::filesystem::path PathFromAnsi(std::string_view text) {
  if (text.empty()) return {};
  const int units = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (units <= 0) return {};
  std::wstring wide(static_cast<size_t>(units), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), units);
  return std::filesystem::path(std::move(wide));
}

bool AnsiFromPath(const std::filesystem::path& path, std::string& out) {
  out.clear();
  const std::wstring& wide = path.native();
  if (wide.empty()) return true;
  const int units = static_cast<int>(wide.size());
  BOOL lost = FALSE;
  const int bytes = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), units, nullptr, 0, nullptr, &lost);
  if (bytes <= 0 || lost) return false;
  out.assign(static_cast<size_t>(bytes), '\0');
  if (WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), units, out.data(), bytes, nullptr, &lost) !=
          bytes ||
      lost) {
    out.clear();
    return false;
  }
  return true;
}

namespace contracts_sys {

namespace {
HANDLE Win(Handle h) { return reinterpret_cast<HANDLE>(h); }
}  // namespace

bool Exists(const std::filesystem::path& path) {
  if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
  DWORD error = GetLastError();
  return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
}

Handle OpenOnce(const std::filesystem::path& path, Mode mode) {
  const bool read = mode == Mode::kRead || mode == Mode::kReadShared;
  DWORD access = read ? GENERIC_READ : GENERIC_WRITE;
  DWORD share = mode == Mode::kReadShared ? FILE_SHARE_READ | FILE_SHARE_WRITE : 0;
  DWORD disposition = read                       ? OPEN_EXISTING
                      : mode == Mode::kAppend    ? OPEN_ALWAYS
                      : mode == Mode::kCreateNew ? CREATE_NEW
                                                 : CREATE_ALWAYS;
  return reinterpret_cast<Handle>(
      CreateFileW(path.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool ExclusiveOpens() { return true; }

unsigned long ProcessId() { return GetCurrentProcessId(); }

void CloseFile(Handle h) { CloseHandle(Win(h)); }

bool ReadAll(Handle h, std::string& bytes) {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(Win(h), &size) || size.QuadPart > (1LL << 30)) return false;
  bytes.assign(static_cast<size_t>(size.QuadPart), '\0');
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD got = 0;
    if (!ReadFile(Win(h), bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &got, nullptr)) return false;
    if (got == 0) break;
    done += got;
  }
  bytes.resize(done);
  return true;
}

long long ReadSome(Handle h, char* buffer, size_t size) {
  DWORD got = 0;
  const DWORD ask = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
  if (!ReadFile(Win(h), buffer, ask, &got, nullptr)) return -1;
  return got;
}

bool WriteAll(Handle h, std::string_view bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD put = 0;
    if (!WriteFile(Win(h), bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &put, nullptr) || put == 0)
      return false;
    done += put;
  }
  return true;
}

bool SeekEnd(Handle h) {
  LARGE_INTEGER zero{};
  return SetFilePointerEx(Win(h), zero, nullptr, FILE_END) != 0;
}

bool Flush(Handle h) { return FlushFileBuffers(Win(h)) != 0; }

bool ReplaceWith(const std::filesystem::path& from, const std::filesystem::path& to) {
  return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

void RemoveFile(const std::filesystem::path& path) { DeleteFileW(path.c_str()); }

}  // namespace contracts_sys
}  // namespace orva
