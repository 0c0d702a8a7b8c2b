#include "win/full_run.h"

#include <windows.h>

#include "core/exclusion.h"
#include "core/image_header.h"
#include "core/output.h"
#include "core/platform.h"
#include "core/progress.h"
#include "core/run_guard.h"
#include "core/run_settings.h"
#include "core/wide.h"
#include "win/capture.h"
#include "win/engine_main.h"
#include "win/privileges.h"
#include "win/unfinished_image.h"
#include "win/progress_mapping.h"

namespace orva {

namespace {

constexpr size_t kStreamBuffer = 1 << 20;

void Fatal(const std::wstring& text) {
  Say(text);
  ++Counters().fatalErrors;
}

bool CreateDirectoryPath(const std::wstring& path, std::wstring& error) {
  if (path.empty()) return true;
  DWORD attributes = GetFileAttributesW(SystemPath(path).c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) return true;
  size_t slash = path.rfind(L'\\');
  if (slash == std::wstring::npos) return true;
  if (slash > 0 && path[slash - 1] != L':' && !CreateDirectoryPath(path.substr(0, slash), error)) return false;
  if (CreateDirectoryW(SystemPath(path).c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS) return true;
  error = SystemErrorText(static_cast<long>(GetLastError()));
  return false;
}

bool CreateImageDirectory(std::wstring& error) {
  const std::wstring& image = Settings().imagePath;
  size_t slash = image.rfind(L'\\');
  if (slash == std::wstring::npos || slash == 0) return true;
  return CreateDirectoryPath(image.substr(0, slash), error);
}

bool OpenRunLog(bool leadingBreaks) {
  if (RunLog().Open(Run().logFile)) return true;
  SayConsole(Fmt(L"Cannot create log file (%ls).\n", Run().logFile.c_str()));
  SayConsole(std::wstring(leadingBreaks ? L"\n\n" : L"") + L"There were fatal SYSTEM errors in the imaging process.\n");
  return false;
}

void FinishPrivileges() {
  Say(L"Disabling privileges.\n");
  DisablePrivileges();
  Say(L"\n");
}

std::wstring LastErrorPair() { return ErrorPair(GetLastError()); }

// The error of the first of the two streams whose writing failed.
std::wstring WriteErrorPair(const FileStream& first, const FileStream& second) {
  return ErrorPair(first.WriteFailed() ? first.WriteError() : second.WriteError());
}

// The image header after the table: format 4000 and above only.
void WriteImageHeader(FileStream& image, FileStream& work, int64_t tableLength) {
  const RunSettings& s = Settings();
  RunFiles& run = Run();
  TavImageHeader header;
  const LocalStamp finish = NowLocal();
  header.imagePath = s.imagePath;
  header.startYear = static_cast<uint16_t>(run.start.year);
  header.startMonth = static_cast<uint8_t>(run.start.month);
  header.startDay = static_cast<uint8_t>(run.start.day);
  header.startHour = static_cast<uint8_t>(run.start.hour);
  header.startMinute = static_cast<uint8_t>(run.start.minute);
  header.startSecond = static_cast<uint8_t>(run.start.second);
  header.finishYear = static_cast<uint16_t>(finish.year);
  header.finishMonth = static_cast<uint8_t>(finish.month);
  header.finishDay = static_cast<uint8_t>(finish.day);
  header.finishHour = static_cast<uint8_t>(finish.hour);
  header.finishMinute = static_cast<uint8_t>(finish.minute);
  header.finishSecond = static_cast<uint8_t>(finish.second);
  header.imageType = 0;
  header.compressionLevel = static_cast<uint8_t>(s.compressionLevel);
  header.driveLetter = static_cast<uint8_t>(s.driveLetter.empty() ? 0 : s.driveLetter[0] & 0xFF);
  header.diskNumber = static_cast<uint8_t>(s.diskNumber);
  header.partitionNumber = static_cast<uint8_t>(s.partitionNumber);
  header.sourceTotal = s.byteTotal;
  header.comment = s.comment;
  header.imageSize = image.GetLength() + tableLength + header.GetSerializedSize();
  header.Write(work);
}

// The settings checks that need no file; they come before the privileges.
bool CheckSettings() {
  const RunSettings& s = Settings();
  if (s.compressionLevel < 0 || s.compressionLevel > 9) {
    SayConsole(Fmt(L"Compression level (= %d) is invalid (Valid range is between 0 and 9).\n", s.compressionLevel));
    ++Counters().fatalErrors;
    return false;
  }
  if (s.formatVersion != 4000 && s.formatVersion != 3000) {
    Fatal(Fmt(L"Image format version (= %d) is not supported (Valid versions are 3000 and 4000).\n", s.formatVersion));
    return false;
  }
  const DWORD attributes =
      s.source.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(SystemPath(s.source).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    Fatal(Fmt(L"The source \"%ls\" is not a folder or a drive that can be read.\n", s.source.c_str()));
    return false;
  }
  return true;
}

// The source into the image body and its table into the work file, with
// the progress around the walk.
void WalkSource(FileStream& image, FileStream& work) {
  const RunSettings& s = Settings();
  RunFiles& run = Run();
  if (IsExcluded(s.source, s.exclusions)) {
    IntendedSkip(s.source, true);
    run.start = NowLocal();
    return;
  }
  Say(L"Scanning the source drive.\n");
  run.start = NowLocal();
  ClearHardLinks();
  const int64_t total = s.byteTotal >= 1 ? s.byteTotal : ComputeSourceSize(s.source, WalkOptionsFor(s.formatVersion));
  ResetProgress(total);
  BuildProgressThresholds();
  ClearHardLinks();
  CreateProgressMapping();
  Say(L"Started backup process.\n");
  Progress().startEpoch = NowLocal().epoch;
  if (s.formatVersion == 3000)
    WalkDirectoryV3(0, s.source, L"", work, image);
  else
    WalkDirectory(0, s.source, L"", work, image);
  CloseProgressMapping();
}

// The image header, the table attached to the body, both files closed.
// False after the message.
bool CompleteImage(FileStream& image, FileStream& work) {
  const RunSettings& s = Settings();
  const int64_t tableLength = work.GetLength();
  if (s.formatVersion > 3999) WriteImageHeader(image, work, tableLength);
  bool ok = true;
  if (image.WriteFailed() || work.WriteFailed() || work.Flush() != 0 || image.Flush() != 0) {
    Fatal(Fmt(L"  SYSTEM Error : Failed to write the image %ls or its header file %ls (Error code : %ls).\n",
              s.imagePath.c_str(), Run().workFile.c_str(), WriteErrorPair(image, work).c_str()));
    ok = false;
  } else if (!AttachHeaderToBody(image, work, tableLength)) {
    ++Counters().fatalErrors;
    ok = false;
  }
  image.Close();
  work.Close();
  if (ok && (image.WriteFailed() || work.WriteFailed())) {
    Fatal(Fmt(L"  SYSTEM Error : Failed to close the image %ls (Error code : %ls).\n", s.imagePath.c_str(),
              WriteErrorPair(image, work).c_str()));
    ok = false;
  }
  return ok;
}

}  // namespace

bool RunFullImage() {
  const RunSettings& s = Settings();
  RunFiles& run = Run();
  std::wstring error;
  if (!CreateImageDirectory(error)) {
    SayConsole(Fmt(L"System error\nCannot create image directory for the image path %ls.\nError message : %ls\n",
                   s.imagePath.c_str(), error.c_str()));
    SayConsole(L"There were fatal SYSTEM errors in the imaging process.\n");
    return false;
  }
  if (!OpenRunLog(false)) return false;
  PrintLogHeader(ParameterLines());
  run.start = NowLocal();
  if (!CheckSettings()) return true;

  Say(L"\nAcquiring privileges.\n");
  EnablePrivileges();
  FileStream work, image;
  if (!work.Open(run.workFile, L"w+b")) {
    Fatal(Fmt(L"Target file header (%ls) open error!\n", run.workFile.c_str()));
    return true;
  }
  AddWorkFile(run.workFile);
  // The work file goes with the run, whole or failed; a cancelled run
  // leaves it as it stands.
  struct WorkFileRemover {
    FileStream& work;
    const int exceptionsBefore = std::uncaught_exceptions();
    ~WorkFileRemover() {
      if (std::uncaught_exceptions() > exceptionsBefore) return;
      work.Close();
      RemoveFileByName(Run().workFile);
    }
  } workRemover{work};
  // The image is written under a name of its own and takes the place of the
  // previous one only when whole: a failed or cancelled run leaves that as
  // it was, and removes what it wrote.
  const std::wstring newImage = s.imagePath + L".new";
  UnfinishedImage unfinished(image, newImage);
  if (!image.Open(newImage, L"w+b")) {
    const DWORD err = GetLastError();
    Fatal(Fmt(L"Target file body (%ls) open error! (%ls)\n", s.imagePath.c_str(), ErrorPair(err).c_str()));
    return true;
  }
  work.SetBuffer(kStreamBuffer);
  image.SetBuffer(kStreamBuffer);
  SetOwnFiles({s.imagePath, newImage, run.workFile, run.logFile});
  WritePrologue(image, TavImagePrologue{s.formatVersion, 0, 0});
  WalkSource(image, work);

  if (CompleteImage(image, work)) {
    if (MoveFileExW(SystemPath(newImage).c_str(), SystemPath(s.imagePath).c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      unfinished.MarkWhole();
      Say(Fmt(L"\nFinished to build a tav image for the target \"%ls\".\n\n", s.source.c_str()));
    } else {
      Fatal(Fmt(L"Cannot replace the image %ls by %ls; both files are kept. (%ls)\n", s.imagePath.c_str(),
                newImage.c_str(), LastErrorPair().c_str()));
      unfinished.MarkWhole();  // whole, and kept for the user to place
    }
  }
  FinishPrivileges();
  return true;
}

bool RunReset() {
  if (!OpenRunLog(true)) return false;
  PrintLogHeader(ParameterLines());
  Say(L"\nAcquiring privileges.\n");
  EnablePrivileges();
  Run().start = NowLocal();
  const std::wstring& path = Settings().imagePath;
  FileStream image;
  if (!image.Open(path, L"r+b")) {
    Fatal(Fmt(L"Target file body (%ls) open error!\n", path.c_str()));
  } else {
    TavImagePrologue p;
    TavImageHeader header;
    if (!ReadPrologue(image, p) || p.version < 4000 ||
        !header.ReadAt(image, kPrologueSize + p.headerOffset + p.headerLength)) {
      Fatal(Fmt(L"The image %ls is damaged or has no image header.\n", path.c_str()));
    } else if (!UpdateIncrementList(image, 0, {}, L"") || image.Close() != 0) {
      Fatal(Fmt(L"Failed to rewrite the increment list of the image %ls.\n", path.c_str()));
    }
    SayConsole(L"Finished updating process.\n");
  }
  FinishPrivileges();
  return true;
}

}  // namespace orva
