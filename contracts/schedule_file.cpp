#include "contracts/schedule_file.h"

#include <algorithm>
#include <charconv>

#include "contracts/job_record_check.h"
#include "contracts/shared_file.h"

namespace orva::service {
namespace {

const char kCountPrefix[] = "Schedule Number:";

void AppendLine(std::string& out, std::string_view text) { out.append(text).append("\r\n"); }
void AppendNumber(std::string& out, int32_t value) { AppendLine(out, std::to_string(value)); }
void AppendFlag(std::string& out, char flag) { AppendLine(out, flag == 'y' ? "y" : "n"); }

// Leading blanks, an optional sign and digits, as "%d" reads them; 0 when
// the line holds no number.
int32_t ReadNumber(std::string_view line, bool* found = nullptr) {
  size_t i = line.find_first_not_of(" \t");
  if (found) *found = false;
  if (i == std::string_view::npos) return 0;
  if (line[i] == '+') ++i;
  int32_t value = 0;
  auto [ptr, ec] = std::from_chars(line.data() + i, line.data() + line.size(), value);
  if (ec != std::errc()) return 0;
  if (found) *found = true;
  return value;
}

}  // namespace

std::string FormatScheduleFile(const std::vector<JobRecord>& records) {
  std::string out;
  AppendLine(out, std::string(kCountPrefix) + " " + std::to_string(records.size()));
  for (const JobRecord& r : records) {
    AppendLine(out, FieldText(r.jobName));
    AppendNumber(out, r.jobType);
    AppendNumber(out, r.runState);
    AppendLine(out, FieldText(r.driveLetter));
    AppendLine(out, FieldText(r.volumeSize));
    AppendLine(out, FieldText(r.imagePath));
    AppendLine(out, FieldText(r.baseImagePath));
    AppendNumber(out, r.compressionLevel);
    AppendLine(out, FieldText(r.excludeList));
    AppendLine(out, FieldText(r.sourceFolder));
    AppendLine(out, FieldText(r.targetFolder));
    AppendLine(out, FieldText(r.reservedText1));
    AppendLine(out, FieldText(r.reservedText2));
    AppendLine(out, FieldText(r.scheduleKind));
    AppendLine(out, FieldText(r.scheduleTime));
    AppendFlag(out, r.daily);
    AppendFlag(out, r.weekly);
    AppendFlag(out, r.monthly);
    for (char day : r.weekdays) AppendFlag(out, day);
    AppendNumber(out, r.dayOfMonth);
  }
  return out;
}

ScheduleParse ParseScheduleFile(std::string_view bytes) {
  ScheduleParse out;
  const std::vector<std::string_view> lines = SplitLines(bytes);
  if (lines.empty() || lines[0].substr(0, sizeof kCountPrefix - 1) != kCountPrefix) {
    out.damaged = true;
    out.problems.push_back("the first line is not \"Schedule Number: n\"");
    return out;
  }
  bool found = false;
  const int32_t count = ReadNumber(lines[0].substr(sizeof kCountPrefix - 1), &found);
  if (!found || count < 0) {
    out.damaged = true;
    out.problems.push_back("the job count is not a number of 0 or more");
    return out;
  }
  const size_t whole = (lines.size() - 1) / kScheduleLinesPerJob;
  if (whole < static_cast<size_t>(count))
    out.problems.push_back("the file ends before its " + std::to_string(count) + " jobs");
  const size_t records = std::min(whole, static_cast<size_t>(count));
  size_t next = 1;
  for (size_t j = 0; j < records; ++j) {
    JobRecord r{};
    bool fits = true;
    auto text = [&](char* field, size_t width) { fits = SetFieldText(field, width, lines[next++]) && fits; };
    auto number = [&](int32_t& field) { field = ReadNumber(lines[next++]); };
    auto flag = [&](char& field) {
      std::string_view line = lines[next++];
      field = line.empty() ? '\0' : line[0];
    };
    text(r.jobName, sizeof r.jobName);
    number(r.jobType);
    number(r.runState);
    text(r.driveLetter, sizeof r.driveLetter);
    text(r.volumeSize, sizeof r.volumeSize);
    text(r.imagePath, sizeof r.imagePath);
    text(r.baseImagePath, sizeof r.baseImagePath);
    number(r.compressionLevel);
    text(r.excludeList, sizeof r.excludeList);
    text(r.sourceFolder, sizeof r.sourceFolder);
    text(r.targetFolder, sizeof r.targetFolder);
    text(r.reservedText1, sizeof r.reservedText1);
    text(r.reservedText2, sizeof r.reservedText2);
    text(r.scheduleKind, sizeof r.scheduleKind);
    text(r.scheduleTime, sizeof r.scheduleTime);
    flag(r.daily);
    flag(r.weekly);
    flag(r.monthly);
    for (char& day : r.weekdays) flag(day);
    number(r.dayOfMonth);
    std::string job = "job " + std::to_string(j + 1);
    const std::string_view name = lines[next - kScheduleLinesPerJob];
    if (IsSafeJobName(name) && name.size() < sizeof r.jobName) job += " (" + std::string(name) + ")";
    job += ": ";
    if (!fits) {
      out.problems.push_back(job + "a line is too long for its field");
      continue;
    }
    r.runState = FieldText(r.scheduleKind) == "once" ? kDisarmed : kArmed;
    std::string bad;
    if (!ValidateJobRecord(r, bad)) {
      out.problems.push_back(job + bad);
      continue;
    }
    bool twice = false;
    for (const JobRecord& earlier : out.records) twice = twice || JobName(earlier) == JobName(r);
    if (twice) {
      out.problems.push_back(job + "the name is used by an earlier job");
      continue;
    }
    if (out.records.size() >= kMaxJobs) {
      out.problems.push_back(job + "the table holds " + std::to_string(kMaxJobs) + " jobs");
      continue;
    }
    out.records.push_back(r);
  }
  for (; next < lines.size(); ++next) {
    if (!lines[next].empty()) {
      out.problems.push_back("the file holds more lines than its " + std::to_string(count) + " jobs");
      break;
    }
  }
  return out;
}

}  // namespace orva::service
