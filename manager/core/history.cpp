#include "core/history.h"

namespace orva::manager {

using service::ReadResult;

std::array<std::string, 6> SplitHistoryLine(std::string_view line) {
  std::array<std::string, 6> fields;
  std::string_view rest = line;
  for (std::string& field : fields) {
    const size_t close = rest.find(']');
    std::string_view head = close == std::string_view::npos ? std::string_view() : rest.substr(0, close);
    if (const size_t open = head.find('['); open != std::string_view::npos) head.remove_prefix(open + 1);
    field = std::string(head);
    if (close != std::string_view::npos) rest.remove_prefix(close + 1);
  }
  return fields;
}

std::vector<HistoryRow> HistoryRows(std::string_view fileText, std::string_view jobName, int mode) {
  std::vector<HistoryRow> rows;
  for (std::string_view line : service::SplitLines(fileText)) {
    const auto f = SplitHistoryLine(line);
    if (mode == 1 && f[5] != jobName) continue;
    HistoryRow row{f[0], f[1], f[2], f[4], mode == 1 ? std::string() : f[5], 2};
    if (f[4] == "Success") {
      row.result = "Succeed";
      row.image = 0;
    } else if (f[4] == "Failed") {
      row.image = 1;
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

std::string WithoutJob(std::string_view fileText, std::string_view jobName) {
  std::string kept;
  for (std::string_view line : service::SplitLines(fileText)) {
    if (SplitHistoryLine(line)[5] == jobName) continue;
    kept.append(line).append("\r\n");
  }
  return kept;
}

bool LoadHistory(const std::filesystem::path& file, std::string_view jobName, int mode, std::vector<HistoryRow>& rows,
                 service::Retry retry) {
  std::string text;
  if (service::ReadWholeFile(file, text, retry) != ReadResult::kOk) return false;
  rows = HistoryRows(text, jobName, mode);
  return true;
}

bool RemoveHistoryLines(const std::filesystem::path& file, std::string_view jobName, service::Retry retry) {
  std::string text;
  switch (service::ReadWholeFile(file, text, retry)) {
    case ReadResult::kMissing:
      return true;
    case ReadResult::kUnreadable:
      return false;  // perhaps held by the service: never emptied
    case ReadResult::kOk:
      break;
  }
  const std::string kept = WithoutJob(text, jobName);
  return kept == text || service::ReplaceWholeFile(file, kept, retry);
}

}  // namespace orva::manager
