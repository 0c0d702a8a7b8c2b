// Judging the tools' captured console output: the image engine's verdict
// and the shadow-copy tool's steps.
#pragma once
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "contracts/shared_file.h"

namespace orva::service {

enum EngineVerdict : int32_t {
  kEngineSuccess = 0,  // both "Everything is Ok" verdicts
  kEngineFailure = 1,  // no output, no verdict, or the fatal verdict
  kEngineWarning = 2,  // the verdicts with errors
};

// Judges an engine run by its verdict line (only a whole line decides),
// appends the verdict's line to the job log and trims the captured file
// after the verdict line; lines that begin with the engine's banner,
// "Orvanta Image Archiver", are dropped. Logs of any size are read as a stream.
EngineVerdict ParseImageEngineLog(const std::filesystem::path& log, std::string_view jobName, std::string_view typeTag,
                                  std::string_view driveLetter, const std::filesystem::path& jobLog,
                                  Retry retry = kLogRetry);

enum ShadowStep : int32_t { kShadowCreate = 0, kShadowExpose = 1, kShadowDelete = 2 };

// Keeps the step's part of a shadow-tool log (from its marker line on) and
// returns 1 when that part holds an error line or the log cannot be read.
int32_t ParseShadowToolLog(const std::filesystem::path& log, int32_t step,
                           Retry retry = {10, std::chrono::milliseconds(2000)});

// The braced identifier of the snapshot the create step made; empty when
// there is none, "ERROR" when the log cannot be read.
std::string ParseSnapshotId(const std::filesystem::path& log);

// Judges a robocopy run by its log's last line and error lines and by its
// exit code (when known), appends the verdict's line ("<tag> [Success] ...")
// to the job log: 0 the copy ran to its end cleanly, 2 it ran to its end but
// some object failed (an error line in any language, or exit code 8 to 15),
// 1 it did not run to its end, it ended with a fatal error (exit code 16 and
// above) or the log cannot be read (then two error lines naming the log).
// The log is only read.
int32_t ParseRobocopyLog(const std::filesystem::path& log, std::string_view jobName, std::string_view tag,
                         std::optional<uint32_t> exitCode, const std::filesystem::path& jobLog,
                         Retry retry = kLogRetry);

}  // namespace orva::service
