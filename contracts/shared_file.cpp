#include "contracts/shared_file.h"

#include <atomic>
#include <string>
#include <thread>

#include "contracts/file_system.h"

namespace orva::service {
namespace {

namespace fs = std::filesystem;
using namespace contracts_sys;

void Pause(const Retry& retry, int attempt) {
  if (attempt + 1 < retry.tries && retry.delay.count() > 0) std::this_thread::sleep_for(retry.delay);
}

fs::path WithSuffix(const fs::path& path, const char* suffix) {
  fs::path out = path;
  out += suffix;
  return out;
}

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
  std::string suffix(1, '.');
  suffix += std::to_string(ProcessId());
  suffix += '-';
  suffix += std::to_string(++serial);
  suffix += ".tmp";
  return WithSuffix(path, suffix.c_str());
}

// Puts a written temporary in the file's place, or removes it when the
// writing failed or the file could not be replaced.
bool ReplaceOrDrop(const fs::path& temp, const fs::path& path, bool written, const Retry& retry) {
  bool ok = false;
  for (int attempt = 0; written && attempt < retry.tries && !ok; ++attempt) {
    ok = ReplaceWith(temp, path);
    if (!ok) Pause(retry, attempt);
  }
  if (!ok) RemoveFile(temp);
  return ok;
}

}  // namespace

ReadResult ReadWholeFile(const fs::path& path, std::string& bytes, Retry retry) {
  bytes.clear();
  if (!Exists(path)) return ReadResult::kMissing;
  Handle h = OpenWithRetry(path, Mode::kRead, retry);
  if (h == kNoHandle) return Exists(path) ? ReadResult::kUnreadable : ReadResult::kMissing;
  bool ok = ReadAll(h, bytes);
  CloseFile(h);
  if (!ok) bytes.clear();
  return ok ? ReadResult::kOk : ReadResult::kUnreadable;
}

ReadResult ForEachLine(const fs::path& path, Retry retry, const std::function<bool(std::string_view)>& line) {
  if (!Exists(path)) return ReadResult::kMissing;
  // A tool that still holds its log may not have written all of it: wait a
  // little for every holder to let go. A viewer that keeps the file open
  // only delays the read.
  for (int attempt = 0; attempt < 20; ++attempt) {
    const Handle alone = OpenOnce(path, Mode::kRead);
    if (alone != kNoHandle) {
      CloseFile(alone);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  Handle h = OpenWithRetry(path, Mode::kReadShared, retry);
  if (h == kNoHandle) return Exists(path) ? ReadResult::kUnreadable : ReadResult::kMissing;
  std::string buffer(1024 * 1024, '\0');
  std::string pending;    // the start of a line that goes on in the next piece
  bool overlong = false;  // the current line passed kMaxLineBytes: the rest is dropped
  bool going = true;
  auto emit = [&](std::string_view text) {
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    going = line(text.substr(0, kMaxLineBytes));
  };
  long long got = 0;
  while (going && (got = ReadSome(h, buffer.data(), buffer.size())) > 0) {
    std::string_view piece(buffer.data(), static_cast<size_t>(got));
    while (going && !piece.empty()) {
      const size_t end = piece.find('\n');
      const std::string_view part = piece.substr(0, end);
      if (!overlong) {
        const size_t room = kMaxLineBytes + 1 - pending.size();  // one more keeps a CR before the LF
        pending.append(part.substr(0, room));
        overlong = part.size() > room;
      }
      if (end == std::string_view::npos) break;
      emit(pending);
      pending.clear();
      overlong = false;
      piece.remove_prefix(end + 1);
    }
  }
  if (going && got == 0 && !pending.empty()) emit(pending);
  CloseFile(h);
  return got < 0 ? ReadResult::kUnreadable : ReadResult::kOk;
}

FileReplacement::FileReplacement(const fs::path& path, Retry retry)
    : path_(path),
      temp_(UniqueTempPath(path)),
      retry_(retry),
      handle_(OpenWithRetry(temp_, Mode::kCreateTruncate, retry)),
      ok_(handle_ != kNoHandle) {}

FileReplacement::~FileReplacement() {
  if (handle_ != kNoHandle) {
    CloseFile(handle_);
    RemoveFile(temp_);
  }
}

void FileReplacement::Write(std::string_view bytes) {
  if (!ok_) return;
  pending_.append(bytes);
  if (pending_.size() >= (1u << 16)) ok_ = Drain();
}

bool FileReplacement::Drain() {
  const bool ok = WriteAll(handle_, pending_);
  pending_.clear();
  return ok;
}

bool FileReplacement::Commit() {
  if (handle_ == kNoHandle) return false;
  bool ok = ok_ && Drain() && Flush(handle_);
  CloseFile(handle_);
  handle_ = kNoHandle;
  return ReplaceOrDrop(temp_, path_, ok, retry_);
}

bool ReplaceWholeFile(const fs::path& path, std::string_view bytes, Retry retry) {
  // A name of this writer alone: another process (or thread) replacing the
  // same file never opens, truncates or deletes this temporary.
  const fs::path temp = UniqueTempPath(path);
  Handle h = OpenWithRetry(temp, Mode::kCreateTruncate, retry);
  if (h == kNoHandle) return false;
  bool ok = WriteAll(h, bytes) && Flush(h);
  CloseFile(h);
  return ReplaceOrDrop(temp, path, ok, retry);
}

bool AppendToFile(const fs::path& path, std::string_view bytes, Retry retry) {
  Handle h = OpenWithRetry(path, Mode::kAppend, retry);
  if (h == kNoHandle) return false;
  bool ok = SeekEnd(h) && WriteAll(h, bytes);
  CloseFile(h);
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
    CloseFile(h);
    if (ok) return aside;
    RemoveFile(aside);
    return {};
  }
  return {};
}

bool OpensAreExclusive() { return ExclusiveOpens(); }

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
