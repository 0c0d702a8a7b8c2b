// Native stand-ins for the few platform calls the portable code needs.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "core/inflate_pool.h"
#include "core/output.h"
#include "core/platform.h"
#include "core/run_log.h"
#include "core/wide.h"

namespace orva {

std::string EncodeConsoleText(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) {
    if (c == L'\n')
      out += "\r\n";
    else if (c >= 0 && c < 0x80)
      out.push_back(static_cast<char>(c));
    else
      out.push_back('?');
  }
  return out;
}

std::wstring SystemErrorText(long code) { return code ? Fmt(L"System error %ld.\r\n", code) : L""; }
long LastSystemError() { return errno; }

// A path with a character the locale cannot encode is not opened: its
// narrow form would name another file.
std::FILE* OpenFile(const std::wstring& path, const std::wstring& mode) {
  bool pathComplete = false, modeComplete = false;
  const std::string p = NarrowText(path, &pathComplete), m = NarrowText(mode, &modeComplete);
  return pathComplete && modeComplete ? std::fopen(p.c_str(), m.c_str()) : nullptr;
}

// POSIX files take no share modes: every open is shared.
std::FILE* OpenSharedFile(const std::wstring& path, bool append) {
  bool complete = false;
  const std::string p = NarrowText(path, &complete);
  return complete ? std::fopen(p.c_str(), append ? "ab" : "wb") : nullptr;
}

int SeekFile(std::FILE* file, int64_t offset, int origin) { return fseeko(file, static_cast<off_t>(offset), origin); }

int64_t TellFile(std::FILE* file) { return static_cast<int64_t>(ftello(file)); }

long FileWriteError() { return errno ? errno : ENOSPC; }
void ClearFileError() { errno = 0; }
bool RemoveFileByName(const std::wstring& path) {
  bool complete = false;
  const std::string p = NarrowText(path, &complete);
  return complete && std::remove(p.c_str()) == 0;
}

// Positional reads of an image file, through a handle of their own so that
// the stream's file position stays where it is.
namespace {

class PosixReader : public PositionalReader {
 public:
  explicit PosixReader(int fd) : fd_(fd) {}
  ~PosixReader() override { close(fd_); }
  size_t ReadAt(int64_t offset, void* buffer, uint32_t size) override {
    const ssize_t got = pread(fd_, buffer, size, static_cast<off_t>(offset));
    return got > 0 ? static_cast<size_t>(got) : 0;
  }

 private:
  const int fd_;
};

}  // namespace

std::unique_ptr<PositionalReader> OpenPositionalReader(FileStream& stream) {
  if (!stream.Handle()) return nullptr;
  const int fd = dup(fileno(stream.Handle()));
  if (fd < 0) return nullptr;
  return std::make_unique<PosixReader>(fd);
}

}  // namespace orva
