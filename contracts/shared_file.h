// Files the service shares with the managers: exclusive opens with retries,
// whole-file reads and atomic rewrites, and the tools' logs read line by line.
// On Windows an open here shares nothing with other openers (but the log
// reader); the POSIX build (native tests only) takes no lock, and
// OpensAreExclusive says so.
#pragma once
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace orva::service {

// How often an exclusive open is tried and how long to wait after a failure.
struct Retry {
  int tries = 20;
  std::chrono::milliseconds delay{500};
};
inline constexpr Retry kFileRetry{20, std::chrono::milliseconds(500)};  // schedule, options, history
inline constexpr Retry kLogRetry{120, std::chrono::milliseconds(500)};  // job and task logs

enum class ReadResult { kOk, kMissing, kUnreadable };

// Reads the whole file under an exclusive open. kMissing when the file does
// not exist (no retries then); kUnreadable when every open or the read failed.
ReadResult ReadWholeFile(const std::filesystem::path& path, std::string& bytes, Retry retry);

// Reads a text file line by line, in pieces, so that memory does not grow
// with the file: `line` gets each line without its LF or CR LF end (a line
// longer than kMaxLineBytes only its first kMaxLineBytes bytes) and returns
// false to stop. The file is opened with read and write sharing: a viewer or
// a writer that holds it open does not keep it from being read, after up to
// two seconds of waiting for it to let go.
inline constexpr size_t kMaxLineBytes = 64 * 1024;
ReadResult ForEachLine(const std::filesystem::path& path, Retry retry,
                       const std::function<bool(std::string_view line)>& line);

// A file's new content written piece by piece to a temporary of this writer
// alone; Commit replaces the file with it in one step. Without a Commit the
// old file stays as it was and the temporary is removed.
class FileReplacement {
 public:
  FileReplacement(const std::filesystem::path& path, Retry retry);
  ~FileReplacement();
  FileReplacement(const FileReplacement&) = delete;
  FileReplacement& operator=(const FileReplacement&) = delete;
  void Write(std::string_view bytes);
  bool Commit();

 private:
  bool Drain();
  std::filesystem::path path_, temp_;
  Retry retry_;
  std::intptr_t handle_;
  std::string pending_;
  bool ok_;
};

// Writes the bytes to a temporary of this writer alone
// ("<path>.<process id>-<serial>.tmp") and replaces the file with it in one
// step. On any failure the old file is left as it was and the temporary removed.
bool ReplaceWholeFile(const std::filesystem::path& path, std::string_view bytes, Retry retry);

// Appends the bytes at the end of the file (created when missing, never
// truncated) under an exclusive open.
bool AppendToFile(const std::filesystem::path& path, std::string_view bytes, Retry retry);

// Renames the file to "<path>.bad", replacing an older one. True on success.
bool KeepAside(const std::filesystem::path& path, std::filesystem::path* aside = nullptr);

// Writes the bytes to the first of "<path>.bad", "<path>.bad.1" ... that does
// not exist yet, so an earlier copy is never replaced. Returns the name
// written, empty when no copy could be written.
inline constexpr int kMaxAsideCopies = 100;
std::filesystem::path KeepCopyAside(const std::filesystem::path& path, std::string_view bytes);

// True when the opens above keep every other opener out until they close
// (Windows); false where they take no lock (POSIX): two writers there may
// then interleave and a reader may see a file being appended to.
bool OpensAreExclusive();

// The lines of a text, without their LF or CR LF ends.
std::vector<std::string_view> SplitLines(std::string_view bytes);

}  // namespace orva::service
