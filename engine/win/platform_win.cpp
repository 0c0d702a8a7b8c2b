// The engine's system calls on Windows: console and run-log text in the
// code page of the "korean" locale, system error texts, files, positional reads.
#include <windows.h>
#include <share.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/inflate_pool.h"
#include "core/output.h"
#include "core/platform.h"
#include "core/run_log.h"
#include "orva_platform.h"
#include "win/capture.h"

namespace orva {

namespace {
constexpr UINT kConsoleCodePage = 949;
}

std::string EncodeConsoleText(const std::wstring& text) {
  std::wstring crlf;
  crlf.reserve(text.size() + 16);
  for (wchar_t c : text) {
    if (c == L'\n') crlf.push_back(L'\r');
    crlf.push_back(c);
  }
  if (crlf.empty()) return std::string();
  int n =
      WideCharToMultiByte(kConsoleCodePage, 0, crlf.data(), static_cast<int>(crlf.size()), nullptr, 0, "?", nullptr);
  if (n <= 0) {
    // Code page missing: keep ASCII, mark the rest.
    std::string out;
    for (wchar_t c : crlf) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return out;
  }
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(kConsoleCodePage, 0, crlf.data(), static_cast<int>(crlf.size()), out.data(), n, "?", nullptr);
  return out;
}

std::wstring SystemErrorText(long code) {
  wchar_t* text = nullptr;
  DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, static_cast<DWORD>(code), 1024, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring out;
  if (n && text) out.assign(text, n);
  if (text) LocalFree(text);
  return out;
}

long LastSystemError() { return static_cast<long>(GetLastError()); }

std::FILE* OpenFile(const std::wstring& path, const std::wstring& mode) {
  std::FILE* file = nullptr;
  return _wfopen_s(&file, path.c_str(), mode.c_str()) == 0 ? file : nullptr;
}

std::FILE* OpenSharedFile(const std::wstring& path, bool append) {
  return _wfsopen(path.c_str(), append ? L"ab" : L"wb", _SH_DENYNO);
}

int SeekFile(std::FILE* file, int64_t offset, int origin) { return _fseeki64(file, offset, origin); }

int64_t TellFile(std::FILE* file) { return _ftelli64(file); }

long FileWriteError() {
  const long kept = static_cast<long>(_doserrno);
  return kept ? kept : static_cast<long>(ERROR_DISK_FULL);
}
// The runtime takes the thread's last error into _doserrno even for a short
// write that the system did not fail, so both are cleared.
void ClearFileError() {
  _doserrno = 0;
  SetLastError(0);
}

std::wstring SystemPath(const std::wstring& userPath) {
  if (userPath.rfind(L"\\\\?\\", 0) == 0 || userPath.rfind(L"\\\\.\\", 0) == 0) return userPath;
  DWORD n = GetFullPathNameW(userPath.c_str(), 0, nullptr, nullptr);
  if (n == 0) return userPath;
  std::wstring full(n, L'\0');
  n = GetFullPathNameW(userPath.c_str(), n, full.data(), nullptr);
  full.resize(n);
  std::wstring sys = platform::LongPath(full);
  // A folder path without its trailing backslash, so that names join with one.
  if (sys.size() > 7 && sys.back() == L'\\' && sys[sys.size() - 2] != L':') sys.pop_back();
  return sys;
}

// As every file the engine removes: by its full \\?\ name, however long.
bool RemoveFileByName(const std::wstring& path) { return DeleteFileW(SystemPath(path).c_str()) != 0; }

// Positional reads of an image file, through a handle of their own so that
// the stream's file position stays where it is.
namespace {

class WindowsReader : public PositionalReader {
 public:
  explicit WindowsReader(HANDLE h) : h_(h) {}
  ~WindowsReader() override { CloseHandle(h_); }
  size_t ReadAt(int64_t offset, void* buffer, uint32_t size) override {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(static_cast<uint64_t>(offset));
    at.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(offset) >> 32);
    DWORD got = 0;
    return ReadFile(h_, buffer, size, &got, &at) ? got : 0;
  }

 private:
  const HANDLE h_;
};

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

}  // namespace

std::unique_ptr<PositionalReader> OpenPositionalReader(FileStream& stream) {
  if (!stream.Handle()) return nullptr;
  const HANDLE own = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream.Handle())));
  if (own == INVALID_HANDLE_VALUE) return nullptr;
  HANDLE h = ReOpenFile(own, GENERIC_READ, kShareAll, 0);
  if (h == INVALID_HANDLE_VALUE) {
    wchar_t path[32768];
    const DWORD n = GetFinalPathNameByHandleW(own, path, 32768, FILE_NAME_NORMALIZED);
    if (n == 0 || n >= 32768) return nullptr;
    h = CreateFileW(path, GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return nullptr;
  }
  return std::make_unique<WindowsReader>(h);
}

}  // namespace orva
