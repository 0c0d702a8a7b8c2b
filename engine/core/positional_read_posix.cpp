// Positional reads of an image file on POSIX systems (the native build).
#include <unistd.h>

#include <cstdio>

#include "core/inflate_pool.h"

namespace orva {

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
