// The run log, the counters every walker raises, the skipped lists and the
// end-of-run report with its one verdict line.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "core/tav_entry.h"

namespace orva {

// Console and run-log text: the code page of the "korean" locale, with '?'
// for what does not map and CR LF line ends.
std::string EncodeConsoleText(const std::wstring& text);

class LogFile {
 public:
  LogFile() = default;
  ~LogFile() { Close(); }
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;

  bool Open(const std::wstring& name);  // create or replace, shared
  // Writes the text and flushes it, so every line is on disk before the
  // next step. After a failed write the file is reopened for appending at
  // the next line.
  void WriteLine(const std::wstring& text);
  void Close();
  bool IsOpen() const { return file_ != nullptr || !name_.empty(); }
  const std::wstring& Name() const { return name_; }

 private:
  std::wstring name_;
  FILE* file_ = nullptr;
};

LogFile& RunLog();

struct LocalStamp {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  int64_t epoch = 0;  // seconds, for spans
};
LocalStamp NowLocal();

struct RunCounters {
  int32_t filesProcessed = 0, filesSkipped = 0, filesIntended = 0;
  int32_t dirsProcessed = 0, dirsSkipped = 0, dirsIntended = 0;
  int32_t fileAttrSkipped = 0, dirAttrSkipped = 0;
  int32_t securitySkipped = 0;
  int32_t fileLinksProcessed = 0, fileLinksSkipped = 0;
  int32_t dirLinksProcessed = 0, dirLinksSkipped = 0;
  int32_t hardLinksProcessed = 0, hardLinksSkipped = 0;
  int32_t junctionsProcessed = 0, junctionsSkipped = 0;
  int32_t unknownProcessed = 0, unknownSkipped = 0;
  int32_t fatalErrors = 0;  // never reset
  // Images of an increment chain that do not fit it (its name, its time):
  // warnings without a row of their own.
  int32_t chainWarnings = 0;

  int32_t Warnings() const;
  int32_t Errors() const;
};

// Skip records: path, link target (link lists only), reason.
struct SkipRecord {
  std::wstring path;
  std::wstring target;
  std::wstring reason;
};

struct RunLists {
  std::vector<SkipRecord> files, fileAttributes, directories, directoryAttributes;
  std::vector<SkipRecord> fileLinks, directoryLinks, hardLinks, junctions, unknownLinks;
  // Not printed.
  std::vector<CTavObject> intendedFiles, intendedDirectories, securityWarnings;
  std::vector<CTavObject> processedHardLinks, processedFileLinks, processedDirLinks, processedJunctions;
  std::vector<CTavHardLink> hardLinkList;

  void Clear();
};

RunCounters& Counters();
RunLists& Lists();
// Counts and lists a file or folder that the exclusions leave out.
void IntendedSkip(const std::wstring& path, bool directory);
// Everything but the fatal counter back to zero, every list emptied.
void ResetRunState();

std::wstring FileExceptionText(int cause);
std::wstring FileExceptionTextWithCode(int cause, long systemError);
// The file-failure cause (0 to 14) of a system error code.
int FileExceptionCause(long systemError);

// The verdict line for the counters.
std::wstring VerdictLine(const RunCounters& c);

void PrintSkippedLists();
// Processing time, detail table, report box, skipped lists, verdict and the
// end marker; then the run log is closed.
void PrintReport(const LocalStamp& start);

// The first lines of every run log.
void PrintLogHeader(const std::vector<std::wstring>& parameterLines);
std::vector<std::wstring> ParameterLines();  // for the run's command

}  // namespace orva
