#include "core/run_log.h"

#include <ctime>

#include "core/output.h"
#include "contracts/local_time.h"
#include "core/platform.h"
#include "core/run_settings.h"
#include "core/wide.h"

namespace orva {

bool LogFile::Open(const std::wstring& name) {
  Close();
  file_ = OpenSharedFile(name, false);
  if (!file_) return false;
  name_ = name;
  return true;
}

void LogFile::WriteLine(const std::wstring& text) {
  if (name_.empty()) return;
  if (!file_) file_ = OpenSharedFile(name_, true);
  if (!file_) return;
  std::string bytes = EncodeConsoleText(text);
  if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size() || std::fflush(file_) != 0) {
    // Reopen at the next line; the console still gets every line.
    std::fclose(file_);
    file_ = nullptr;
  }
}

void LogFile::Close() {
  if (file_) std::fclose(file_);
  file_ = nullptr;
  name_.clear();
}

LogFile& RunLog() {
  static LogFile log;
  return log;
}

LocalStamp NowLocal() {
  const std::time_t t = std::time(nullptr);
  const std::tm tm = LocalTimeOf(t);
  LocalStamp s;
  s.year = tm.tm_year + 1900;
  s.month = tm.tm_mon + 1;
  s.day = tm.tm_mday;
  s.hour = tm.tm_hour;
  s.minute = tm.tm_min;
  s.second = tm.tm_sec;
  s.epoch = static_cast<int64_t>(t);
  return s;
}

int32_t RunCounters::Warnings() const { return fileAttrSkipped + dirAttrSkipped + securitySkipped + chainWarnings; }

int32_t RunCounters::Errors() const {
  return filesSkipped + dirsSkipped + fileLinksSkipped + dirLinksSkipped + hardLinksSkipped + junctionsSkipped +
         unknownSkipped;
}

void RunLists::Clear() { *this = RunLists(); }

RunCounters& Counters() {
  static RunCounters counters;
  return counters;
}

RunLists& Lists() {
  static RunLists lists;
  return lists;
}

void IntendedSkip(const std::wstring& path, bool directory) {
  if (directory) {
    ++Counters().dirsIntended;
    Lists().intendedDirectories.push_back({path, L"Intended skip.", L""});
  } else {
    ++Counters().filesIntended;
    Lists().intendedFiles.push_back({path, L"Intended skip.", L""});
  }
}

void ResetRunState() {
  int32_t fatal = Counters().fatalErrors;
  Counters() = RunCounters();
  Counters().fatalErrors = fatal;
  Lists().Clear();
}

std::wstring FileExceptionText(int cause) {
  static const wchar_t* const kTexts[] = {
      L"No error occurred.",
      L"An unspecified error occurred.",
      L"The file could not be located.",
      L"All or part of the path is invalid.",
      L"The permitted number of open files was exceeded.",
      L"The file could not be accessed.",
      L"There was an attempt to use an invalid file handle.",
      L"The current working directory cannot be removed.",
      L"There are no more directory entries.",
      L"There was an error trying to set the file pointer.",
      L"There was a hardware error.",
      L"SHARE.EXE was not loaded, or a shared region was locked.",
      L"There was an attempt to lock a region that was already locked.",
      L"The disk is full.",
      L"The end of file was reached.",
  };
  if (cause < 0 || cause > 14) return std::wstring();
  return kTexts[cause];
}

std::wstring FileExceptionTextWithCode(int cause, long systemError) {
  if (cause < 0 || cause > 14) return L"Unknown file exception (OS error = unknown).";
  std::wstring text = FileExceptionText(cause);
  text.pop_back();  // the period goes after the code
  return text + Fmt(L" (OS error = %ld).", systemError);
}

int FileExceptionCause(long systemError) {
  switch (systemError) {
    case 0:
      return 0;
    case 2:
      return 2;  // file not found
    case 3:
    case 15:
    case 53:
    case 123:
    case 161:
    case 206:
      return 3;  // path, drive or name invalid
    case 4:
      return 4;  // too many open files
    case 5:
    case 19:
    case 82:
    case 1314:
      return 5;  // access denied, write-protected
    case 6:
      return 6;  // invalid handle
    case 16:
      return 7;  // current directory
    case 18:
      return 8;  // no more files
    case 25:
    case 131:
      return 9;  // seek
    case 21:
    case 23:
    case 27:
    case 29:
    case 30:
    case 31:
      return 10;  // device
    case 32:
      return 11;  // sharing violation
    case 33:
      return 12;  // lock violation
    case 39:
    case 112:
      return 13;  // disk full
    case 38:
      return 14;  // end of file
    default:
      return 1;
  }
}

std::wstring VerdictLine(const RunCounters& c) {
  int32_t w = c.Warnings(), e = c.Errors(), f = c.fatalErrors;
  if (f == 0 && e == 0 && w == 0) return L"\nEverything is Ok.\n";
  if (f == 0 && e == 0) return L"\nEverything is Ok but there are some warnings.\n";
  if (f == 0 && w == 0) return L"\nThe imaging process is finished however there were some errors.\n";
  if (f == 0) return L"\nThe imaging process is finished however there were some warnings and errors.\n";
  return L"\nThere were fatal SYSTEM errors in the imaging process.\n";
}

void PrintSkippedLists() {
  const RunLists& l = Lists();
  struct Section {
    const wchar_t* heading;
    const std::vector<SkipRecord>* list;
    bool link;
  };
  const Section sections[] = {
      {L"Skipped file list\n", &l.files, false},
      {L"Skipped file attribute list\n", &l.fileAttributes, false},
      {L"Skipped directory list\n", &l.directories, false},
      {L"Skipped directory attribute list\n", &l.directoryAttributes, false},
      {L"Skipped symbolic link file list\n", &l.fileLinks, true},
      {L"Skipped symbolic link directory list\n", &l.directoryLinks, true},
      {L"Skipped hard link list\n", &l.hardLinks, true},
      {L"Skipped junction list\n", &l.junctions, true},
      {L"Skipped unknown link list\n", &l.unknownLinks, true},
  };
  for (const auto& s : sections) {
    Say(s.heading);
    int n = 0;
    for (const auto& r : *s.list) {
      ++n;
      if (s.link)
        Say(Fmt(L" %05d  %ls\n        %ls\n        %ls\n", n, r.path.c_str(), r.target.c_str(), r.reason.c_str()));
      else
        Say(Fmt(L" %05d  %ls\n        %ls\n", n, r.path.c_str(), r.reason.c_str()));
    }
  }
}

void PrintReport(const LocalStamp& start) {
  const LocalStamp finish = NowLocal();
  int64_t span = finish.epoch - start.epoch;
  if (span < 0) span = 0;
  const RunCounters& c = Counters();

  Say(Fmt(L"Processing time\n  Start Time = %04d.%02d.%02d %02d:%02d:%02d\n", start.year, start.month, start.day,
          start.hour, start.minute, start.second));
  Say(Fmt(L"  Finish Time = %04d.%02d.%02d %02d:%02d:%02d\n", finish.year, finish.month, finish.day, finish.hour,
          finish.minute, finish.second));
  Say(Fmt(L"  Elapsed Time (HH:MM:SS) = %02d:%02d:%02d\n", static_cast<int>(span / 3600 % 24),
          static_cast<int>(span / 60 % 60), static_cast<int>(span % 60)));
  Say(Fmt(L"  Elapsed Time (Sec) = %lld\n\n", static_cast<long long>(span)));

  const std::wstring eq79(79, L'='), dash79(79, L'-'), eq69(69, L'='), dash69(69, L'-');
  Say(L"Detail result of imaging process.\n");
  Say(eq79 + L"\n");
  Say(L"Category                        Processed      Skipped(Intended)        Total  \n");
  Say(dash79 + L"\n");
  Say(Fmt(L"File                                %5d        %5d(%5d)           %5d\n", c.filesProcessed, c.filesSkipped,
          c.filesIntended, c.filesProcessed + c.filesSkipped + c.filesIntended));
  Say(Fmt(L"Directory                           %5d        %5d(%5d)           %5d\n", c.dirsProcessed, c.dirsSkipped,
          c.dirsIntended, c.dirsProcessed + c.dirsSkipped + c.dirsIntended));
  Say(Fmt(L"File attribute                        N/A      %7d                    N/A\n", c.fileAttrSkipped));
  Say(Fmt(L"Directory attribute                   N/A      %7d                    N/A\n", c.dirAttrSkipped));
  Say(Fmt(L"Symbolic link for file              %5d        %5d                  %5d\n", c.fileLinksProcessed,
          c.fileLinksSkipped, c.fileLinksProcessed + c.fileLinksSkipped));
  Say(Fmt(L"Symbolic link for directory         %5d        %5d                  %5d\n", c.dirLinksProcessed,
          c.dirLinksSkipped, c.dirLinksProcessed + c.dirLinksSkipped));
  Say(Fmt(L"Hard link                           %5d        %5d                  %5d\n", c.hardLinksProcessed,
          c.hardLinksSkipped, c.hardLinksProcessed + c.hardLinksSkipped));
  Say(Fmt(L"Junction                            %5d        %5d                  %5d\n", c.junctionsProcessed,
          c.junctionsSkipped, c.junctionsProcessed + c.junctionsSkipped));
  Say(Fmt(L"Unknown link                        %5d        %5d                  %5d\n", c.unknownProcessed,
          c.unknownSkipped, c.unknownProcessed + c.unknownSkipped));
  Say(Fmt(L"Security                              N/A      %7d                    N/A\n", c.securitySkipped));
  Say(eq79 + L"\n\n");

  Say(L"Summary of imaging process.\n");
  Say(eq69 + L"\n");
  Say(L"Report                                                        Total  \n");
  Say(dash69 + L"\n");
  Say(Fmt(L"Warnings :                                                    %5d\n", c.Warnings()));
  Say(Fmt(L"Errors :                                                      %5d\n", c.Errors()));
  Say(Fmt(L"Fata errors :                                                 %5d\n", c.fatalErrors));
  Say(eq69 + L"\n");

  PrintSkippedLists();
  Say(VerdictLine(c));
  Say(L"\n[End of Orvanta Imaging Process Log File]");
  RunLog().Close();
}

void PrintLogHeader(const std::vector<std::wstring>& parameterLines) {
  Say(L"Orvanta Imaging Process Log File\n");
  Say(L"Orvanta Image Archiver version : Version 4.2.1.16.3.1\n");
  Say(L"\n");
  Say(L"Imaging parameters\n");
  for (const auto& line : parameterLines) Say(line);
}

std::vector<std::wstring> ParameterLines() {
  const RunSettings& s = Settings();
  std::vector<std::wstring> lines;
  lines.push_back(Fmt(L"  Command : %ls\n", s.command.c_str()));
  if (s.command == L"x") {
    lines.push_back(Fmt(L"  Target folder : %ls\n", s.targetFolder.c_str()));
    lines.push_back(Fmt(L"  Image file name : %ls\n", s.imagePath.c_str()));
    return lines;
  }
  lines.push_back(Fmt(L"  Source folder or drive : %ls\n", s.source.c_str()));
  lines.push_back(Fmt(s.command == L"d" ? L"  Full backup image file name : %ls\n" : L"  Image file name : %ls\n",
                      s.imagePath.c_str()));
  lines.push_back(Fmt(L"  Compression level : %d\n", s.compressionLevel));
  lines.push_back(L"  Excluded files and directories :\n");
  for (const auto& p : s.exclusions) lines.push_back(Fmt(L"     %ls\n", p.c_str()));
  return lines;
}

}  // namespace orva
