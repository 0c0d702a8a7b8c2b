// Positional reads of an image file on Windows: through a second handle of
// its own, so that the stream's file position stays where it is.
#include <windows.h>
#include <io.h>

#include <cstdio>

#include "core/inflate_pool.h"

namespace orva {

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
