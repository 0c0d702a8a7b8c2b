// POSIX side of the contracts library's system calls, for the native
// sanitizer build. It does not lock: other processes may open, write or
// replace a file while it is open here, so ExclusiveOpens says false and
// callers that count on the exclusive opens of Windows must not count on
// them here.
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "contracts/ansi_path.h"
#include "contracts/file_system.h"
#include "contracts/local_time.h"

namespace orva {

std::tm LocalTimeOf(std::time_t t) {
  std::tm tm{};
  localtime_r(&t, &tm);
  return tm;
}

// Here the bytes of a text are the bytes of the path.
std::filesystem::path PathFromAnsi(std::string_view text) { return std::filesystem::path(std::string(text)); }

bool AnsiFromPath(const std::filesystem::path& path, std::string& out) {
  out = path.native();
  return true;
}

namespace contracts_sys {

bool Exists(const std::filesystem::path& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 || errno != ENOENT;
}

Handle OpenOnce(const std::filesystem::path& path, Mode mode) {
  int flags = mode == Mode::kRead || mode == Mode::kReadShared ? O_RDONLY
              : mode == Mode::kAppend                          ? (O_WRONLY | O_CREAT)
              : mode == Mode::kCreateNew                       ? (O_WRONLY | O_CREAT | O_EXCL)
                                                               : (O_WRONLY | O_CREAT | O_TRUNC);
  return open(path.c_str(), flags | O_CLOEXEC, 0644);
}

bool ExclusiveOpens() { return false; }

unsigned long ProcessId() { return static_cast<unsigned long>(getpid()); }

void CloseFile(Handle h) { close(static_cast<int>(h)); }

bool ReadAll(Handle h, std::string& bytes) {
  bytes.clear();
  char buffer[65536];
  for (;;) {
    ssize_t got = read(static_cast<int>(h), buffer, sizeof buffer);
    if (got < 0) return false;
    if (got == 0) return true;
    bytes.append(buffer, static_cast<size_t>(got));
  }
}

long long ReadSome(Handle h, char* buffer, size_t size) {
  for (;;) {
    ssize_t got = read(static_cast<int>(h), buffer, size);
    if (got >= 0 || errno != EINTR) return got;
  }
}

bool WriteAll(Handle h, std::string_view bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t put = write(static_cast<int>(h), bytes.data() + done, bytes.size() - done);
    if (put <= 0) return false;
    done += static_cast<size_t>(put);
  }
  return true;
}

bool SeekEnd(Handle h) { return lseek(static_cast<int>(h), 0, SEEK_END) >= 0; }

bool Flush(Handle h) { return fsync(static_cast<int>(h)) == 0; }

bool ReplaceWith(const std::filesystem::path& from, const std::filesystem::path& to) {
  return std::rename(from.c_str(), to.c_str()) == 0;
}

void RemoveFile(const std::filesystem::path& path) { unlink(path.c_str()); }

}  // namespace contracts_sys
}  // namespace orva
