#include "job_log_lines.h"
#include <cstring>

namespace orva::manager {

namespace {
std::string TakeField(std::string_view& rest) {
  size_t close = rest.find(']');
  if (close == std::string_view::npos) return std::string();
  std::string_view part = rest.substr(0, close);
  size_t open = part.find('[');
  if (open != std::string_view::npos) part.remove_prefix(open + 1);
  rest.remove_prefix(close + 1);
  return std::string(part);
}
}  // namespace

JobLogRow SplitJobLogLine(std::string_view line) {
  JobLogRow row;
  row.time = TakeField(line);
  row.jobName = TakeField(line);
  row.jobType = TakeField(line);
  row.message = std::string(line);
  return row;
}

std::vector<JobLogRow> SplitJobLog(std::string_view bytes) {
  std::vector<JobLogRow> rows;
  while (!bytes.empty()) {
    size_t end = bytes.find('\n');
    std::string_view line = bytes.substr(0, end);
    while (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!line.empty()) rows.push_back(SplitJobLogLine(line));
    if (end == std::string_view::npos) break;
    bytes.remove_prefix(end + 1);
  }
  return rows;
}

int CompareJobLogTexts(const char* first, const char* second) {
  return std::strcmp(second ? second : "", first ? first : "");
}

}  // namespace orva::manager
