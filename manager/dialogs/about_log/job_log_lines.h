// The lines of the service's job log as the log viewer shows them:
// "[time][job] [type] text" split into four columns.
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace orva::manager {

struct JobLogRow {
  std::string time;
  std::string jobName;
  std::string jobType;
  std::string message;
};

// The first three fields are the bracketed parts before the first three "]"
// (from after the first "[" of each part); the message is the rest, as it
// stands. A field without its "]" is empty and leaves the rest whole.
JobLogRow SplitJobLogLine(std::string_view line);

// Every line of the file's bytes, in file order; line ends (LF, CR LF and the
// service's CR CR LF) are dropped, and so are empty lines.
std::vector<JobLogRow> SplitJobLog(std::string_view bytes);

// The viewer's order of two texts of the sorted column: descending, byte-wise.
int CompareJobLogTexts(const char* first, const char* second);

}  // namespace orva::manager
