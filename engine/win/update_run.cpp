#include "win/update_run.h"

#include <windows.h>
#include <io.h>

#include <cstring>

#include "core/compare_walk.h"
#include "core/exclusion.h"
#include "core/image_header.h"
#include "core/output.h"
#include "core/progress.h"
#include "core/restore_walk.h"
#include "core/run_settings.h"
#include "core/wide.h"
#include "win/capture.h"
#include "win/engine_main.h"
#include "win/image_chain.h"
#include "win/privileges.h"
#include "win/unfinished_image.h"
#include "win/progress_mapping.h"

namespace orva {

namespace {

constexpr size_t kStreamBuffer = 1 << 20;

// The source tree as the comparison walk sees it.
class WindowsSource : public CompareSource {
 public:
  int32_t List(const std::wstring& dir, std::vector<FindData>& objects) override {
    std::wstring pattern = SystemPath(dir);
    pattern += pattern.back() == L'\\' ? L"*" : L"\\*";
    WIN32_FIND_DATAW fd;
    HANDLE find = FindFirstFileW(pattern.c_str(), &fd);
    if (find == INVALID_HANDLE_VALUE) return static_cast<int32_t>(GetLastError());
    do {
      const wchar_t* n = fd.cFileName;
      if ((n[0] == L'.' && n[1] == 0) || (n[0] == L'.' && n[1] == L'.' && n[2] == 0)) continue;
      FindData data;
      std::memcpy(&data, &fd, sizeof data);
      objects.push_back(data);
    } while (FindNextFileW(find, &fd));
    FindClose(find);
    return 0;
  }
  bool Excluded(const std::wstring& key, const std::wstring& path) override {
    return IsExcluded(key, Settings().exclusions) || IsRunFile(path);
  }
  uint8_t ArchiveSingleEntry(int32_t depth, const std::wstring& path, const std::wstring& rel, FileStream& header,
                             FileStream& body) override {
    return orva::ArchiveSingleEntry(depth, path, rel, header, body);
  }
  void CaptureTree(int32_t depth, const std::wstring& dir, const std::wstring& rel, FileStream& header,
                   FileStream& body) override {
    WalkDirectory(depth, dir, rel, header, body);
  }
  bool Identify(const std::wstring& path, FileIdentity& id, FileTime& lastWrite) override {
    HANDLE h = CreateFileW(SystemPath(path).c_str(), FILE_READ_ATTRIBUTES,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool ok = GetFileInformationByHandle(h, &info) != 0;
    CloseHandle(h);
    id = {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
    lastWrite = {info.ftLastWriteTime.dwLowDateTime, info.ftLastWriteTime.dwHighDateTime};
    return ok;
  }
  void RegisterFirstName(const FileIdentity& id, const std::wstring& rel) override {
    orva::RegisterFirstName(id.serial, id.high, id.low, rel);
  }
};

struct Command {
  UpdateMode mode;
  uint8_t imageType;
  const wchar_t* refusal;   // full image older than format 4000
  const wchar_t* started;
  const wchar_t* finished;
};

Command CommandOf(const std::wstring& letter) {
  if (letter == L"u")
    return {UpdateMode::kReference, 1,
            L"Cannot apply UPDATE BACKUP for the image.\nBuild a new full backup image and try again.\n",
            L"Started updating process.\n", L"Finished updating process.\n"};
  if (letter == L"i")
    return {UpdateMode::kReference, 2,
            L"Cannot apply incremental backup for the image.\nBuild a new full backup image and try again.\n",
            L"Started incremental backup process.\n", L"Finished updating process.\n"};
  if (letter == L"d")
    return {UpdateMode::kReference, 3,
            L"Cannot apply UPDATE BACKUP for the image.\nBuild a new full backup image and try again.\n",
            L"Started differential backup process.\n", L"Finished differential backup process.\n"};
  return {UpdateMode::kCopy, 0,
          L"Cannot apply DIFFERENTIAL UPDATE BACKUP for the image.\nBuild a new full backup image and try again.\n",
          L"Started updating process.\n", L"Finished updating process.\n"};
}

void Fatal(const std::wstring& text) {
  Say(text);
  ++Counters().fatalErrors;
}

std::wstring ErrorPair(DWORD err) {
  return Fmt(L"%d, %ls", static_cast<int>(err), SystemErrorText(static_cast<long>(err)).c_str());
}

std::wstring AbsolutePath(const std::wstring& path) {
  DWORD n = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (n == 0) return path;
  std::wstring full(n, L'\0');
  n = GetFullPathNameW(path.c_str(), n, full.data(), nullptr);
  full.resize(n);
  return full;
}

std::wstring FolderOf(const std::wstring& path) {
  size_t slash = path.rfind(L'\\');
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

bool SourceReadable(const std::wstring& source) {
  if (source.empty()) return false;
  const std::wstring sys = SystemPath(source);
  DWORD attributes = GetFileAttributesW(sys.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
  WIN32_FIND_DATAW fd;
  HANDLE find = FindFirstFileW((sys.back() == L'\\' ? sys + L"*" : sys + L"\\*").c_str(), &fd);
  if (find == INVALID_HANDLE_VALUE) return false;
  FindClose(find);
  return true;
}

bool ReplaceFile(const std::wstring& from, const std::wstring& to) {
  return MoveFileExW(SystemPath(from).c_str(), SystemPath(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

void RemoveFile(const std::wstring& path) { DeleteFileW(SystemPath(path).c_str()); }

// Cuts the stream's file at its position: bytes a rolled-back copy left behind.
bool CutAtPosition(FileStream& s) {
  if (s.Flush() != 0) return false;
  const int64_t at = s.GetPosition();
  if (at < 0) return false;
  if (s.GetLength() == at) return true;
  return _chsize_s(_fileno(s.Handle()), at) == 0;
}

void SetStamp(const LocalStamp& t, uint16_t& year, uint8_t& month, uint8_t& day, uint8_t& hour, uint8_t& minute,
              uint8_t& second) {
  year = static_cast<uint16_t>(t.year);
  month = static_cast<uint8_t>(t.month);
  day = static_cast<uint8_t>(t.day);
  hour = static_cast<uint8_t>(t.hour);
  minute = static_cast<uint8_t>(t.minute);
  second = static_cast<uint8_t>(t.second);
}

// Rewrites the full image's increment list and then its size, read from
// the flushed file.
bool RewriteList(const std::wstring& fullPath, const std::vector<std::wstring>& names) {
  FileStream image;
  if (!image.Open(fullPath, L"r+b")) return false;
  TavImageHeader list;
  list.increments = names;
  bool ok = UpdateIncrementListFromHeader(image, list) && image.Flush() == 0;
  const int64_t size = image.GetLength();
  ok = ok && size > 0 && UpdateImageSize(image, size);
  return image.Close() == 0 && ok;
}

void FinishPrivileges() {
  Say(L"Disabling privileges.\n");
  DisablePrivileges();
  Say(L"\n");
}

}  // namespace

bool RunUpdate() {
  RunSettings& s = Settings();
  RunFiles& run = Run();
  const std::wstring& letter = s.command;
  const Command cmd = CommandOf(letter);
  if (!RunLog().Open(run.logFile)) {
    const DWORD err = GetLastError();
    if (letter == L"u")
      SayConsole(Fmt(L"Cannot create the log file (%ls).\n", run.logFile.c_str()));
    else if (letter == L"i")
      SayConsole(Fmt(L"Cannot create log file (%ls). (%ls)\n", run.logFile.c_str(), ErrorPair(err).c_str()));
    else
      SayConsole(Fmt(L"Cannot create log file (%ls).\n", run.logFile.c_str()));
    SayConsole(L"\n\nThere were fatal SYSTEM errors in the imaging process.\n");
    return false;
  }
  PrintLogHeader(ParameterLines());
  run.start = NowLocal();
  Say(L"\nAcquiring privileges.\n");
  EnablePrivileges();
  auto refuse = [&](const std::wstring& text) {
    Fatal(text);
    FinishPrivileges();
    return true;
  };

  // Everything that can refuse the run is checked before a file is made.
  if (s.compressionLevel < 0 || s.compressionLevel > 9)
    return refuse(Fmt(L"Compression level (= %d) is invalid (Valid range is between 0 and 9).\n", s.compressionLevel));
  if (s.formatVersion != 4000)
    return refuse(Fmt(L"Image format version (= %d) is not supported for this command (Valid version is 4000).\n",
                      s.formatVersion));
  if (!SourceReadable(s.source))
    return refuse(Fmt(L"The source \"%ls\" is not a folder or a drive that can be read.\n", s.source.c_str()));
  const std::wstring fullPath = AbsolutePath(s.imagePath);
  TavImagePrologue fullPrologue;
  TavImageHeader fullHeader;
  {
    FileStream full;
    struct Closer {
      FileStream& s;
      ~Closer() { s.Close(); }
    } closer{full};
    if (!full.Open(fullPath, L"rb")) {
      const DWORD err = GetLastError();
      return refuse(Fmt(L"Cannot open the full backup image file %ls. (%ls)\n", fullPath.c_str(), ErrorPair(err).c_str()));
    }
    if (!ReadPrologue(full, fullPrologue)) return refuse(Fmt(L"The image %ls is damaged.\n", fullPath.c_str()));
    if (fullPrologue.version < 4000) return refuse(cmd.refusal);
    if (!fullHeader.ReadAt(full, kPrologueSize + fullPrologue.headerOffset + fullPrologue.headerLength))
      return refuse(Fmt(L"The image %ls is damaged or was never completed.\n", fullPath.c_str()));
    if (fullHeader.imageType != 0) return refuse(Fmt(L"The image %ls is not a full backup image.\n", fullPath.c_str()));
  }

  const std::wstring folder = FolderOf(fullPath);
  const std::wstring stored = fullHeader.imagePath;
  // The new image's name comes from the stored one: a bare file name, or
  // the run could write outside the image folder.
  if (!IsSafeName(stored)) return refuse(Fmt(L"The image name stored in the image %ls is damaged.\n", fullPath.c_str()));
  const size_t dot = stored.rfind(L'.');
  const std::wstring stem = dot == std::wstring::npos ? stored : stored.substr(0, dot);
  std::vector<std::wstring> members{fullPath};
  if (letter == L"i" || letter == L"d")
    for (const auto& name : fullHeader.increments)
      if (!IsSafeName(name))
        return refuse(Fmt(L"The increment list of the image %ls is damaged.\n", fullPath.c_str()));
  if (letter == L"i")
    for (const auto& name : fullHeader.increments) members.push_back(folder + name);
  const int32_t listed = static_cast<int32_t>(fullHeader.increments.size());
  std::wstring finalPath;
  if (letter == L"u")
    finalPath = folder + stem + L"_0001.TAV";
  else if (letter == L"w")
    finalPath = fullPath;
  else
    finalPath = folder + stem + Fmt(L"_%04d", listed + 1) + L".TAV";
  // The new image never takes the place of an image it depends on.
  bool taken = letter != L"w" && ToUpper(finalPath) == ToUpper(fullPath);
  if (letter == L"i" || letter == L"d")
    for (const auto& name : fullHeader.increments) taken = taken || ToUpper(folder + name) == ToUpper(finalPath);
  if (taken)
    return refuse(Fmt(L"The image %ls cannot be written: the image %ls or its increment list already names it.\n",
                      finalPath.c_str(), fullPath.c_str()));

  ImageChain chain;
  if (!OpenChainMembers(members, chain)) {
    FinishPrivileges();
    return true;
  }
  for (size_t k = 0; k < chain.size(); ++k) {
    const ChainImage& c = *chain[k];
    const bool typeOk = k == 0 ? c.header.imageType == 0 : c.header.imageType >= 1 && c.header.imageType <= 3;
    if (c.version < 4000 || !typeOk) {
      CloseChain(chain, true);
      return refuse(Fmt(L"The image %ls of the increment chain is damaged.\n", c.path.c_str()));
    }
  }
  UpdateChain uc;
  uc.members = StreamsOf(chain);
  for (auto& c : chain) {
    uc.bodyEnds.push_back(kPrologueSize + c->prologue.headerOffset);
    uc.tableEnds.push_back(c->prologue.headerLength);
  }
  TableIndex index;
  std::wstring damage;
  if (!IndexChainTable(uc, index, damage)) {
    CloseChain(chain, true);
    return refuse(Fmt(L"The image %ls of the increment chain is damaged: %ls.\n", chain.back()->path.c_str(),
                      damage.c_str()));
  }

  // The new image is written under a name of its own and takes its place
  // only when whole.
  const std::wstring tempPath = finalPath + L".new";
  const std::wstring headerPath = RunFileName(tempPath, L".tmp");
  FileStream header, image;
  if (!header.Open(headerPath, L"w+b")) {
    const DWORD err = GetLastError();
    CloseChain(chain, true);
    ++Counters().fatalErrors;
    SayConsole(letter == L"i"
                   ? Fmt(L"There were fatal SYSTEM errors in the imaging process. Header file (%ls) open error!\n",
                         headerPath.c_str())
                   : Fmt(L"There were fatal SYSTEM errors in the imaging process. Cannot open header file (%ls)! (%ls)\n",
                         headerPath.c_str(), ErrorPair(err).c_str()));
    FinishPrivileges();
    return true;
  }
  if (!image.Open(tempPath, L"w+b")) {
    const DWORD err = GetLastError();
    header.Close();
    RemoveFile(headerPath);
    CloseChain(chain, true);
    ++Counters().fatalErrors;
    SayConsole(Fmt(letter == L"i"
                       ? L"There were fatal SYSTEM errors in the imaging process. Body file (%ls) open error! (%ls)\n"
                       : L"There were fatal SYSTEM errors in the imaging process. Cannot open body file (%ls)! (%ls)\n",
                   tempPath.c_str(), ErrorPair(err).c_str()));
    FinishPrivileges();
    return true;
  }
  // A cancelled run leaves no half-written image behind.
  UnfinishedImage unfinished(image, tempPath);
  header.SetBuffer(kStreamBuffer);
  image.SetBuffer(kStreamBuffer);
  std::vector<std::wstring> own{tempPath, headerPath, finalPath, run.logFile};
  for (auto& c : chain) {
    own.push_back(c->path);
    own.push_back(c->workPath);
  }
  SetOwnFiles(own);
  WritePrologue(image, TavImagePrologue{4000, 0, 0});

  Say(L"\nScanning the source drive or folder.\n");
  ClearHardLinks();
  // Without a byte total the tree as the compared image holds it is the
  // base: a scan would open every file, which the comparison itself spares.
  const int64_t total = s.byteTotal >= 1 ? s.byteTotal : index.fileBytes;
  ResetProgress(total);
  BuildProgressThresholds();
  ClearHardLinks();
  CreateProgressMapping();
  run.start = NowLocal();
  Progress().startEpoch = run.start.epoch;
  Say(cmd.started);
  WindowsSource source;
  const WalkOutcome outcome = WalkForUpdate(cmd.mode, s.source, uc, index, source, header, image);
  CloseProgressMapping();
  CloseChain(chain, true);

  auto discard = [&](const std::wstring& text) {
    Fatal(text);
    header.Close();
    image.Close();
    RemoveFile(headerPath);
    RemoveFile(tempPath);
    FinishPrivileges();
    return true;
  };
  if (outcome.damaged)
    return discard(Fmt(L"The image %ls of the increment chain is damaged: %ls.\n", chain.back()->path.c_str(),
                       outcome.damage.c_str()));

  const int64_t tableLength = header.GetPosition();
  TavImageHeader newHeader;
  newHeader.imagePath = finalPath;
  SetStamp(run.start, newHeader.startYear, newHeader.startMonth, newHeader.startDay, newHeader.startHour,
           newHeader.startMinute, newHeader.startSecond);
  SetStamp(NowLocal(), newHeader.finishYear, newHeader.finishMonth, newHeader.finishDay, newHeader.finishHour,
           newHeader.finishMinute, newHeader.finishSecond);
  newHeader.imageType = cmd.imageType;
  newHeader.compressionLevel = static_cast<uint8_t>(s.compressionLevel);
  newHeader.diskNumber = static_cast<uint8_t>(s.diskNumber);
  newHeader.partitionNumber = static_cast<uint8_t>(s.partitionNumber);
  newHeader.driveLetter = static_cast<uint8_t>(s.driveLetter.empty() ? 0 : s.driveLetter[0] & 0xFF);
  newHeader.sourceTotal = s.byteTotal;
  newHeader.comment = s.comment;
  if (!CutAtPosition(image) || !CutAtPosition(header))
    return discard(Fmt(L"  SYSTEM Error : Failed to write the image %ls (Error code : %ls).\n", tempPath.c_str(),
                       ErrorPair(GetLastError()).c_str()));
  newHeader.imageSize = image.GetLength() + tableLength + newHeader.GetSerializedSize();
  newHeader.Write(header);
  if (image.WriteFailed() || header.WriteFailed() || header.Flush() != 0 || image.Flush() != 0)
    return discard(Fmt(L"  SYSTEM Error : Failed to write the image %ls or its header file %ls (Error code : %ls).\n",
                       tempPath.c_str(), headerPath.c_str(), ErrorPair(GetLastError()).c_str()));
  if (!AttachHeaderToBody(image, header, tableLength)) return discard(L"");
  header.Close();
  if (image.Close() != 0 || image.WriteFailed())
    return discard(Fmt(L"  SYSTEM Error : Failed to close the image %ls (Error code : %ls).\n", tempPath.c_str(),
                       ErrorPair(GetLastError()).c_str()));
  RemoveFile(headerPath);
  unfinished.MarkWhole();  // whole: from here on it is placed or kept

  // The increment list names only whole images, with their full paths.
  std::vector<std::wstring> names;
  if (letter == L"i" || letter == L"d")
    for (const auto& name : fullHeader.increments) names.push_back(folder + name);
  if (letter != L"w") names.push_back(finalPath);
  bool published = true;
  if (letter == L"u") {
    // The list first: until the move, the old update image it names is whole.
    if (!RewriteList(fullPath, names)) {
      RemoveFile(tempPath);
      Fatal(Fmt(L"Failed to rewrite the increment list of the image %ls.\n", fullPath.c_str()));
      published = false;
    } else if (!ReplaceFile(tempPath, finalPath)) {
      const DWORD err = GetLastError();
      Fatal(Fmt(L"Cannot replace the update image %ls by %ls. (%ls)\n", finalPath.c_str(), tempPath.c_str(),
                ErrorPair(err).c_str()));
      published = false;
    }
  } else if (!ReplaceFile(tempPath, finalPath)) {
    const DWORD err = GetLastError();
    Fatal(Fmt(letter == L"w" ? L"Cannot replace the full backup image %ls by %ls; both files are kept. (%ls)\n"
                             : L"Cannot rename the image %ls from %ls. (%ls)\n",
              finalPath.c_str(), tempPath.c_str(), ErrorPair(err).c_str()));
    published = false;
  } else if (letter != L"w" && !RewriteList(fullPath, names)) {
    Fatal(Fmt(L"Failed to rewrite the increment list of the image %ls.\n", fullPath.c_str()));
    published = false;
  }
  if (published) Say(Fmt(L"\nThe image %ls is written.\n", finalPath.c_str()));
  SayConsole(cmd.finished);
  FinishPrivileges();
  return true;
}

}  // namespace orva
