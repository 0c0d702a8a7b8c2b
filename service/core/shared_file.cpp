#include "core/shared_file.h"

#include <atomic>
#include <string>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace orva::service {
namespace {

namespace fs = std::filesystem;

void Pause(const Retry& retry, int attempt) {
  if (attempt + 1 < retry.tries && retry.delay.count() > 0) std::this_thread::sleep_for(retry.delay);
}

fs::path WithSuffix(const fs::path& path, const char* suffix) {
  fs::path out = path;
  out += suffix;
  return out;
}

#ifdef _WIN32

using Handle = HANDLE;
const Handle kNoHandle = INVALID_HANDLE_VALUE;

bool Exists(const fs::path& path) {
  if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
  DWORD error = GetLastError();
  return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
}

enum class Mode { kRead, kCreateTruncate, kAppend, kCreateNew };

Handle OpenOnce(const fs::path& path, Mode mode) {
  DWORD access = mode == Mode::kRead ? GENERIC_READ : GENERIC_WRITE;
  DWORD disposition = mode == Mode::kRead     ? OPEN_EXISTING
                      : mode == Mode::kAppend  ? OPEN_ALWAYS
                      : mode == Mode::kCreateNew ? CREATE_NEW
                                                 : CREATE_ALWAYS;
  return CreateFileW(path.c_str(), access, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

unsigned long ProcessId() { return GetCurrentProcessId(); }

void CloseHandleOf(Handle h) { CloseHandle(h); }

bool ReadAll(Handle h, std::string& bytes) {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(h, &size) || size.QuadPart > (1LL << 30)) return false;
  bytes.assign(static_cast<size_t>(size.QuadPart), '\0');
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD got = 0;
    if (!ReadFile(h, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &got, nullptr)) return false;
    if (got == 0) break;
    done += got;
  }
  bytes.resize(done);
  return true;
}

bool WriteAll(Handle h, std::string_view bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD put = 0;
    if (!WriteFile(h, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &put, nullptr) || put == 0)
      return false;
    done += put;
  }
  return true;
}

bool SeekEnd(Handle h) {
  LARGE_INTEGER zero{};
  return SetFilePointerEx(h, zero, nullptr, FILE_END) != 0;
}

bool Flush(Handle h) { return FlushFileBuffers(h) != 0; }

bool ReplaceWith(const fs::path& from, const fs::path& to) {
  return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

void RemoveFile(const fs::path& path) { DeleteFileW(path.c_str()); }

#else

using Handle = int;
const Handle kNoHandle = -1;

bool Exists(const fs::path& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 || errno != ENOENT;
}

enum class Mode { kRead, kCreateTruncate, kAppend, kCreateNew };

Handle OpenOnce(const fs::path& path, Mode mode) {
  int flags = mode == Mode::kRead        ? O_RDONLY
              : mode == Mode::kAppend    ? (O_WRONLY | O_CREAT)
              : mode == Mode::kCreateNew ? (O_WRONLY | O_CREAT | O_EXCL)
                                         : (O_WRONLY | O_CREAT | O_TRUNC);
  return open(path.c_str(), flags | O_CLOEXEC, 0644);
}

unsigned long ProcessId() { return static_cast<unsigned long>(getpid()); }

void CloseHandleOf(Handle h) { close(h); }

bool ReadAll(Handle h, std::string& bytes) {
  bytes.clear();
  char buffer[65536];
  for (;;) {
    ssize_t got = read(h, buffer, sizeof buffer);
    if (got < 0) return false;
    if (got == 0) return true;
    bytes.append(buffer, static_cast<size_t>(got));
  }
}

bool WriteAll(Handle h, std::string_view bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t put = write(h, bytes.data() + done, bytes.size() - done);
    if (put <= 0) return false;
    done += static_cast<size_t>(put);
  }
  return true;
}

bool SeekEnd(Handle h) { return lseek(h, 0, SEEK_END) >= 0; }

bool Flush(Handle h) { return fsync(h) == 0; }

bool ReplaceWith(const fs::path& from, const fs::path& to) { return std::rename(from.c_str(), to.c_str()) == 0; }

void RemoveFile(const fs::path& path) { unlink(path.c_str()); }

#endif

Handle OpenWithRetry(const fs::path& path, Mode mode, const Retry& retry) {
  for (int attempt = 0; attempt < retry.tries; ++attempt) {
    Handle h = OpenOnce(path, mode);
    if (h != kNoHandle) return h;
    if (mode == Mode::kRead && !Exists(path)) break;
    Pause(retry, attempt);
  }
  return kNoHandle;
}

fs::path UniqueTempPath(const fs::path& path) {
  static std::atomic<unsigned> serial{0};
  const std::string suffix = "." + std::to_string(ProcessId()) + "-" + std::to_string(++serial) + ".tmp";
  return WithSuffix(path, suffix.c_str());
}

}  // namespace

ReadResult ReadWholeFile(const fs::path& path, std::string& bytes, Retry retry) {
  bytes.clear();
  if (!Exists(path)) return ReadResult::kMissing;
  Handle h = OpenWithRetry(path, Mode::kRead, retry);
  if (h == kNoHandle) return Exists(path) ? ReadResult::kUnreadable : ReadResult::kMissing;
  bool ok = ReadAll(h, bytes);
  CloseHandleOf(h);
  if (!ok) bytes.clear();
  return ok ? ReadResult::kOk : ReadResult::kUnreadable;
}

bool ReplaceWholeFile(const fs::path& path, std::string_view bytes, Retry retry) {
  // A name of this writer alone: another process (or thread) replacing the
  // same file never opens, truncates or deletes this temporary.
  const fs::path temp = UniqueTempPath(path);
  Handle h = OpenWithRetry(temp, Mode::kCreateTruncate, retry);
  if (h == kNoHandle) return false;
  bool ok = WriteAll(h, bytes) && Flush(h);
  CloseHandleOf(h);
  if (ok) {
    ok = false;
    for (int attempt = 0; attempt < retry.tries && !ok; ++attempt) {
      ok = ReplaceWith(temp, path);
      if (!ok) Pause(retry, attempt);
    }
  }
  if (!ok) RemoveFile(temp);
  return ok;
}

bool AppendToFile(const fs::path& path, std::string_view bytes, Retry retry) {
  Handle h = OpenWithRetry(path, Mode::kAppend, retry);
  if (h == kNoHandle) return false;
  bool ok = SeekEnd(h) && WriteAll(h, bytes);
  CloseHandleOf(h);
  return ok;
}

bool KeepAside(const fs::path& path, fs::path* aside) {
  const fs::path bad = WithSuffix(path, ".bad");
  if (aside) *aside = bad;
  return ReplaceWith(path, bad);
}

std::filesystem::path KeepCopyAside(const fs::path& path, std::string_view bytes) {
  for (int n = 0; n < kMaxAsideCopies; ++n) {
    const fs::path aside = WithSuffix(path, n == 0 ? ".bad" : (".bad." + std::to_string(n)).c_str());
    Handle h = OpenOnce(aside, Mode::kCreateNew);
    if (h == kNoHandle) {
      if (Exists(aside)) continue;  // an earlier copy: never replaced
      return {};
    }
    bool ok = WriteAll(h, bytes) && Flush(h);
    CloseHandleOf(h);
    if (ok) return aside;
    RemoveFile(aside);
    return {};
  }
  return {};
}

std::vector<std::string_view> SplitLines(std::string_view bytes) {
  std::vector<std::string_view> lines;
  while (!bytes.empty()) {
    size_t end = bytes.find('\n');
    std::string_view line = bytes.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    if (end == std::string_view::npos) break;
    bytes.remove_prefix(end + 1);
  }
  return lines;
}

}  // namespace orva::service
