// The run history the service appends to OrvaHistory.log, as the manager
// shows it and removes a job's lines from it.
#pragma once
#include <array>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "contracts/shared_file.h"

namespace orva::manager {

inline constexpr char kHistoryFileName[] = "OrvaHistory.log";

// The six bracketed fields of a line: start, end, elapsed, kind, result,
// job name. Fields after the last "]" found are empty.
std::array<std::string, 6> SplitHistoryLine(std::string_view line);

struct HistoryRow {
  std::string start, end, elapsed, result, name;
  int image = 0;  // 0 success, 1 failure, 2 warning (and any other result)
};

// Mode 0: every line, with the job name; mode 1: the lines of `jobName`
// (exact), the name left empty.
std::vector<HistoryRow> HistoryRows(std::string_view fileText, std::string_view jobName, int mode);

// The file text without the lines of `jobName`; every other line kept byte
// for byte, each ended by CR LF.
std::string WithoutJob(std::string_view fileText, std::string_view jobName);

// Reads the file (exclusive open, retried); false when it exists but cannot
// be read or does not exist, `rows` then untouched.
bool LoadHistory(const std::filesystem::path& file, std::string_view jobName, int mode, std::vector<HistoryRow>& rows,
                 service::Retry retry = service::kFileRetry);

// Rewrites the file without the job's lines, in one replacing step. A file
// that cannot be read is never rewritten. True when the file is as asked.
bool RemoveHistoryLines(const std::filesystem::path& file, std::string_view jobName,
                        service::Retry retry = service::kFileRetry);

}  // namespace orva::manager
