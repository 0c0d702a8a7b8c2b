#include "core/output_parsers.h"

#include <vector>

#include "core/service_logs.h"

namespace orva::service {

namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  for (auto line : SplitLines(text)) lines.emplace_back(line);
  return lines;
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string out;
  for (const auto& l : lines) out += l + "\r\n";
  return out;
}

bool Has(const std::string& line, std::string_view what) { return line.find(what) != std::string::npos; }

}  // namespace

EngineVerdict ParseImageEngineLog(const std::filesystem::path& log, std::string_view jobName, std::string_view typeTag,
                                  std::string_view driveLetter, const std::filesystem::path& jobLog, Retry retry) {
  std::string text;
  const std::string tag(typeTag), drive(driveLetter);
  auto say = [&](const std::string& middle, const std::string& end) {
    AppendLogFile(jobLog, FormatLogLine(jobName, tag + middle + drive + end), retry);
  };
  if (ReadWholeFile(log, text, Retry{1, std::chrono::milliseconds(0)}) != ReadResult::kOk) {
    say(" [ERROR] [", " Drive] Failed to backup drive.");
    return kEngineFailure;
  }
  EngineVerdict result = kEngineFailure;
  bool decided = false;
  std::vector<std::string> kept;
  for (auto& line : Lines(text)) {
    if (Has(line, "7-Zip (A)")) continue;
    kept.push_back(line);
    if (Has(line, "Everything is Ok")) {
      result = kEngineSuccess;
      decided = true;
    } else if (Has(line, "The imaging process is finished however there were some")) {
      result = kEngineWarning;
      decided = true;
    } else if (Has(line, "System error:") || Has(line, "There were fatal SYSTEM errors in the imaging process.")) {
      result = kEngineFailure;
      decided = true;
    }
    if (decided) break;
  }
  if (result == kEngineSuccess)
    say(" [Success] [", " Drive] Succeeded to backup drive.");
  else if (result == kEngineWarning)
    say(" [Warning] [", " Drive] Backed up the drive with some errors.");
  else
    say(" [ERROR] [", " Drive] Failed to backup drive.");
  ReplaceWholeFile(log, Joined(kept), Retry{1, std::chrono::milliseconds(0)});
  return result;
}

int32_t ParseShadowToolLog(const std::filesystem::path& log, int32_t step, Retry retry) {
  static const char* const kMarkers[] = {"List of created shadow copies: ", "(Option: Expose a shadow copy)",
                                         "(Option: Delete a shadow copy)"};
  std::string text;
  const bool readable = ReadWholeFile(log, text, retry) == ReadResult::kOk;
  std::vector<std::string> kept;
  if (readable && step >= 0 && step <= 2) {
    bool keeping = false;
    for (auto& line : Lines(text)) {
      keeping = keeping || Has(line, kMarkers[step]);
      if (keeping) kept.push_back(line);
    }
  }
  int32_t result = readable ? 0 : 1;  // no log is no proof that the step worked
  for (const auto& line : kept)
    if (Has(line, "ERROR:")) result = 1;
  ReplaceWholeFile(log, Joined(kept), Retry{1, std::chrono::milliseconds(0)});
  return result;
}

std::string ParseSnapshotId(const std::filesystem::path& log) {
  std::string text;
  if (ReadWholeFile(log, text, Retry{1, std::chrono::milliseconds(0)}) != ReadResult::kOk) return "ERROR";
  std::string result;
  for (const auto& line : Lines(text)) {
    size_t at = line.find("SNAPSHOT ID");
    if (at == std::string::npos || at == 0) continue;
    size_t open = line.find('{');
    size_t close = line.find('}');
    if (open == std::string::npos || close == std::string::npos || close < open) {
      result.clear();
      continue;
    }
    result = line.substr(open, close - open + 1);
  }
  return result;
}

int32_t ParseRobocopyLog(const std::filesystem::path& log, std::string_view jobName, std::string_view tag,
                         const std::filesystem::path& jobLog, Retry retry) {
  const std::string t(tag);
  auto say = [&](const std::string& text) { AppendLogFile(jobLog, FormatLogLine(jobName, t + text), retry); };
  std::string text;
  if (ReadWholeFile(log, text, Retry{3, std::chrono::milliseconds(500)}) != ReadResult::kOk) {
    const std::string path = log.string();
    say(" [ERROR] " + path + " Cannot find and open the replication log file.");
    say(" [ERROR] " + path + " Terminated the replication process.");
    return 1;
  }
  static const char* const kWatched[] = {"ERROR 2 (0x00000002)", "0x000005AA", "0x00000015", "0x00000040",
                                         "0x00000020",           "0x00000043", "0x0000052E"};
  bool errorSeen = false;
  std::string last;
  for (auto& line : Lines(text)) {
    for (const char* code : kWatched) errorSeen = errorSeen || Has(line, code);
    // Any other failed object ("ERROR 5 (0x00000005) ...") is a warning too.
    if (const size_t at = line.find("ERROR "); at != std::string::npos && line.find("(0x", at) != std::string::npos)
      errorSeen = true;
    // The summary is judged even when blank lines follow it.
    if (line.find_first_not_of(" \t") != std::string::npos) last = line;
  }
  const bool ended = Has(last, "Ended :") || Has(last, "\xC1\xBE\xB7\xE1 :");
  if (ended && !errorSeen) {
    say(" [Success] Finished to replicate.");
    return 0;
  }
  if (ended) {
    say(" [Warning] The replication process finished abnormally with some warnings.");
    return 2;
  }
  say(" [ERROR] The replication process finished abnormally.");
  return 1;
}

}  // namespace orva::service
