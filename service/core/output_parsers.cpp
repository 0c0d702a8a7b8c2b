#include "core/output_parsers.h"

#include <cstdint>
#include <optional>

#include "core/service_logs.h"

namespace orva::service {

namespace {

constexpr Retry kOnce{1, std::chrono::milliseconds(0)};

bool Has(std::string_view line, std::string_view what) { return line.find(what) != std::string_view::npos; }

std::string_view TrimEnd(std::string_view line) {
  const size_t end = line.find_last_not_of(" \t\r");
  return end == std::string_view::npos ? std::string_view() : line.substr(0, end + 1);
}

// The engine's verdict lines, which it prints last; a line only decides when
// it is one of them as a whole (a failed file's line may hold any text).
bool EngineVerdictLine(std::string_view line, EngineVerdict& verdict) {
  static const struct {
    const char* text;
    EngineVerdict verdict;
  } kLines[] = {
      {"Everything is Ok.", kEngineSuccess},
      {"Everything is Ok but there are some warnings.", kEngineSuccess},
      {"The imaging process is finished however there were some errors.", kEngineWarning},
      {"The imaging process is finished however there were some warnings and errors.", kEngineWarning},
      {"There were fatal SYSTEM errors in the imaging process.", kEngineFailure},
  };
  line = TrimEnd(line);
  for (const auto& l : kLines)
    if (line == l.text) {
      verdict = l.verdict;
      return true;
    }
  return false;
}

bool Digits(std::string_view text, size_t at, size_t count) {
  if (at + count > text.size()) return false;
  for (size_t i = at; i < at + count; ++i)
    if (text[i] < '0' || text[i] > '9') return false;
  return true;
}

// Robocopy's line for an object it failed on, in any language: an optional
// "yyyy/mm/dd hh:mm:ss " stamp, one word ("ERROR" in English), then the
// Windows error code as "N (0x%08X)". The word must open the line (after the
// stamp), so a path that holds such a text decides nothing.
bool RobocopyErrorLine(std::string_view line) {
  size_t at = 0;
  if (Digits(line, 0, 4) && line.size() > 20 && line[4] == '/' && Digits(line, 5, 2) && line[7] == '/' &&
      Digits(line, 8, 2) && line[10] == ' ' && Digits(line, 11, 2) && line[13] == ':' && Digits(line, 14, 2) &&
      line[16] == ':' && Digits(line, 17, 2) && line[19] == ' ')
    at = 20;
  const size_t word = line.find_first_of(" \t", at);
  if (word == at || word == std::string_view::npos || line[word] != ' ') return false;
  at = word + 1;
  uint64_t code = 0;
  size_t digits = 0;
  while (at < line.size() && line[at] >= '0' && line[at] <= '9' && digits < 11) {
    code = code * 10 + static_cast<uint64_t>(line[at++] - '0');
    ++digits;
  }
  if (digits == 0 || line.substr(at, 4) != " (0x" || at + 4 + 8 + 1 > line.size() || line[at + 12] != ')') return false;
  uint64_t hex = 0;
  for (size_t i = at + 4; i < at + 12; ++i) {
    const char c = line[i];
    const int v = c >= '0' && c <= '9'   ? c - '0'
                  : c >= 'A' && c <= 'F' ? c - 'A' + 10
                  : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                         : -1;
    if (v < 0) return false;
    hex = hex * 16 + static_cast<uint64_t>(v);
  }
  return hex == code;
}

}  // namespace

EngineVerdict ParseImageEngineLog(const std::filesystem::path& log, std::string_view jobName, std::string_view typeTag,
                                  std::string_view driveLetter, const std::filesystem::path& jobLog, Retry retry) {
  const std::string tag(typeTag), drive(driveLetter);
  auto say = [&](const std::string& middle, const std::string& end) {
    AppendLogFile(jobLog, FormatLogLine(jobName, tag + middle + drive + end), retry);
  };
  EngineVerdict result = kEngineFailure;
  FileReplacement kept(log, kOnce);
  const ReadResult read = ForEachLine(log, kOnce, [&](std::string_view line) {
    if (line.rfind("Orvanta Image Archiver", 0) == 0) return true;  // the engine's banner
    kept.Write(line);
    kept.Write("\r\n");
    if (EngineVerdictLine(line, result)) return false;
    if (Has(line, "System error:")) {
      result = kEngineFailure;
      return false;
    }
    return true;
  });
  if (read != ReadResult::kOk) {
    say(" [ERROR] [", " Drive] Failed to backup drive.");
    return kEngineFailure;
  }
  if (result == kEngineSuccess)
    say(" [Success] [", " Drive] Succeeded to backup drive.");
  else if (result == kEngineWarning)
    say(" [Warning] [", " Drive] Backed up the drive with some errors.");
  else
    say(" [ERROR] [", " Drive] Failed to backup drive.");
  kept.Commit();
  return result;
}

int32_t ParseShadowToolLog(const std::filesystem::path& log, int32_t step, Retry retry) {
  static const char* const kMarkers[] = {"List of created shadow copies: ", "(Option: Expose a shadow copy)",
                                         "(Option: Delete a shadow copy)"};
  FileReplacement kept(log, kOnce);
  bool keeping = false, error = false;
  const bool readable = ForEachLine(log, retry, [&](std::string_view line) {
                          if (step < 0 || step > 2) return false;
                          keeping = keeping || Has(line, kMarkers[step]);
                          if (keeping) {
                            kept.Write(line);
                            kept.Write("\r\n");
                            error = error || Has(line, "ERROR:");
                          }
                          return true;
                        }) == ReadResult::kOk;
  kept.Commit();
  // No log is no proof that the step worked.
  return !readable || error ? 1 : 0;
}

std::string ParseSnapshotId(const std::filesystem::path& log) {
  std::string result;
  const ReadResult read = ForEachLine(log, kOnce, [&](std::string_view line) {
    const size_t at = line.find("SNAPSHOT ID");
    if (at == std::string_view::npos || at == 0) return true;
    const size_t open = line.find('{');
    const size_t close = line.find('}');
    if (open == std::string_view::npos || close == std::string_view::npos || close < open)
      result.clear();
    else
      result = std::string(line.substr(open, close - open + 1));
    return true;
  });
  return read == ReadResult::kOk ? result : "ERROR";
}

int32_t ParseRobocopyLog(const std::filesystem::path& log, std::string_view jobName, std::string_view tag,
                         std::optional<uint32_t> exitCode, const std::filesystem::path& jobLog, Retry retry) {
  const std::string t(tag);
  auto say = [&](const std::string& text) { AppendLogFile(jobLog, FormatLogLine(jobName, t + text), retry); };
  bool errorSeen = false;
  std::string last;
  const ReadResult read = ForEachLine(log, Retry{3, std::chrono::milliseconds(500)}, [&](std::string_view line) {
    errorSeen = errorSeen || RobocopyErrorLine(line);
    // The summary is judged even when blank lines follow it.
    if (line.find_first_not_of(" \t") != std::string_view::npos) last = line;
    return true;
  });
  if (read != ReadResult::kOk) {
    const std::string path = log.string();
    say(" [ERROR] " + path + " Cannot find and open the replication log file.");
    say(" [ERROR] " + path + " Terminated the replication process.");
    return 1;
  }
  // The exit code says in every language what the log may not: 8 and above
  // some objects were not copied, 16 and above a fatal error.
  const bool fatal = exitCode && *exitCode >= 16;
  const bool failedObjects = exitCode && *exitCode >= 8;
  if (failedObjects)
    say(" [ERROR] Robocopy ended with exit code " + std::to_string(*exitCode) +
        (fatal ? ": a fatal error." : ": some files or folders were not copied."));
  const bool ended = Has(last, "Ended :") || Has(last, "\xC1\xBE\xB7\xE1 :");
  if (ended && !fatal && !errorSeen && !failedObjects) {
    say(" [Success] Finished to replicate.");
    return 0;
  }
  if (ended && !fatal) {
    say(" [Warning] The replication process finished abnormally with some warnings.");
    return 2;
  }
  say(" [ERROR] The replication process finished abnormally.");
  return 1;
}

}  // namespace orva::service
