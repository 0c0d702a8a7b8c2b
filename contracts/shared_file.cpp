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
  CloseFile(h);
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
  CloseFile(h);
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
