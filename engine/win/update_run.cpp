#include "win/update_run.h"

#include <windows.h>
#include <io.h>

#include <cstring>
#include <exception>
#include <optional>

#include "core/compare_walk.h"
#include "core/exclusion.h"
#include "core/image_header.h"
#include "core/output.h"
#include "core/platform.h"
#include "core/progress.h"
#include "core/restore_walk.h"
#include "core/run_guard.h"
#include "core/run_settings.h"
#include "core/wide.h"
#include "win/capture.h"
#include "win/engine_main.h"
#include "win/image_chain.h"
#include "win/privileges.h"
#include "win/progress_mapping.h"
#include "win/unfinished_image.h"

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

// What the command letter means, decided once: "u" update, "i" incremental,
// "d" differential, "w" differential update (a new full image in the old
// one's place).
struct UpdateKind {
  UpdateMode mode;
  uint8_t imageType;             // of the new image
  bool extendsList = false;      // i, d: numbered after the full image's increment list, and added to it
  bool readsIncrements = false;  // i: compared with the listed increments too
  bool replacesFull = false;     // w: takes the full image's place; no list is written
  bool listFirst = false;        // u: the list names the new image before it is moved in place
  // Message formats. A file's name comes with the error pair; a format that
  // shows no error leaves the pair out.
  const wchar_t* logFailure;
  const wchar_t* oldFormat;  // full image older than format 4000
  const wchar_t* headerFailure;
  const wchar_t* bodyFailure;
  const wchar_t* placeFailure;  // new image's name, its work name, error pair
  const wchar_t* started;
  const wchar_t* finished;
};

constexpr wchar_t kCannotOpenHeader[] =
    L"There were fatal SYSTEM errors in the imaging process. Cannot open header file (%ls)! (%ls)\n";
constexpr wchar_t kCannotOpenBody[] =
    L"There were fatal SYSTEM errors in the imaging process. Cannot open body file (%ls)! (%ls)\n";
constexpr wchar_t kCannotUpdate[] =
    L"Cannot apply UPDATE BACKUP for the image.\nBuild a new full backup image and try again.\n";

UpdateKind KindOf(const std::wstring& letter) {
  if (letter == L"u")
    return {.mode = UpdateMode::kReference,
            .imageType = 1,
            .listFirst = true,
            .logFailure = L"Cannot create the log file (%ls).\n",
            .oldFormat = kCannotUpdate,
            .headerFailure = kCannotOpenHeader,
            .bodyFailure = kCannotOpenBody,
            .placeFailure = L"Cannot replace the update image %ls by %ls. (%ls)\n",
            .started = L"Started updating process.\n",
            .finished = L"Finished updating process.\n"};
  if (letter == L"i")
    return {.mode = UpdateMode::kReference,
            .imageType = 2,
            .extendsList = true,
            .readsIncrements = true,
            .logFailure = L"Cannot create log file (%ls). (%ls)\n",
            .oldFormat =
                L"Cannot apply incremental backup for the image.\n"
                L"Build a new full backup image and try again.\n",
            .headerFailure =
                L"There were fatal SYSTEM errors in the imaging process. "
                L"Header file (%ls) open error!\n",
            .bodyFailure =
                L"There were fatal SYSTEM errors in the imaging process. "
                L"Body file (%ls) open error! (%ls)\n",
            .placeFailure = L"Cannot rename the image %ls from %ls. (%ls)\n",
            .started = L"Started incremental backup process.\n",
            .finished = L"Finished updating process.\n"};
  if (letter == L"d")
    return {.mode = UpdateMode::kReference,
            .imageType = 3,
            .extendsList = true,
            .logFailure = L"Cannot create log file (%ls).\n",
            .oldFormat = kCannotUpdate,
            .headerFailure = kCannotOpenHeader,
            .bodyFailure = kCannotOpenBody,
            .placeFailure = L"Cannot rename the image %ls from %ls. (%ls)\n",
            .started = L"Started differential backup process.\n",
            .finished = L"Finished differential backup process.\n"};
  return {.mode = UpdateMode::kCopy,
          .imageType = 0,
          .replacesFull = true,
          .logFailure = L"Cannot create log file (%ls).\n",
          .oldFormat =
              L"Cannot apply DIFFERENTIAL UPDATE BACKUP for the image.\n"
              L"Build a new full backup image and try again.\n",
          .headerFailure = kCannotOpenHeader,
          .bodyFailure = kCannotOpenBody,
          .placeFailure = L"Cannot replace the full backup image %ls by %ls; both files are kept. (%ls)\n",
          .started = L"Started updating process.\n",
          .finished = L"Finished updating process.\n"};
}

void Fatal(const std::wstring& text) {
  Say(text);
  ++Counters().fatalErrors;
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

// The images of one run, named before a file is made.
struct UpdatePlan {
  std::wstring fullPath;              // the full image, absolute
  TavImageHeader full;                // its image header
  std::vector<std::wstring> listed;   // its increments, with its folder
  std::vector<std::wstring> members;  // the images compared with, the full image first
  std::wstring finalPath;             // the new image's name
  std::wstring tempPath;              // written under this name until whole
  std::wstring headerPath;            // its header table
};

// The files an update run opens besides its log. Leaving the scope closes
// them all and removes the work files (the chain's header copies, the new
// header table) and the new image unless it is kept. A cancelled run leaves
// its work files, as the full run does; an unfinished image never stays.
class UpdateFiles {
 public:
  explicit UpdateFiles(const UpdatePlan& plan) : plan_(plan) {}
  UpdateFiles(const UpdateFiles&) = delete;
  UpdateFiles& operator=(const UpdateFiles&) = delete;
  ~UpdateFiles() {
    const bool cancelled = std::uncaught_exceptions() > exceptionsBefore_;
    CloseChain(chain, !cancelled);
    header.Close();
    if (headerOpened_ && !cancelled) RemoveFileByName(plan_.headerPath);
    // unfinished_ goes next and takes the image with it.
  }

  bool OpenHeader() {
    headerOpened_ = header.Open(plan_.headerPath, L"w+b");
    if (headerOpened_) AddWorkFile(plan_.headerPath);
    return headerOpened_;
  }
  bool OpenImage() {
    if (!image.Open(plan_.tempPath, L"w+b")) return false;
    unfinished_.emplace(image, plan_.tempPath);
    return true;
  }
  // The new image stays: in its place, or whole and left for the user.
  void Keep() { unfinished_->MarkWhole(); }

  ImageChain chain;
  FileStream header, image;

 private:
  const UpdatePlan& plan_;
  const int exceptionsBefore_ = std::uncaught_exceptions();
  bool headerOpened_ = false;
  std::optional<UnfinishedImage> unfinished_;
};

bool OpenUpdateLog(const UpdateKind& kind) {
  const std::wstring& name = Run().logFile;
  if (RunLog().Open(name)) return true;
  const DWORD err = GetLastError();
  SayConsole(Fmt(kind.logFailure, name.c_str(), ErrorPair(err).c_str()));
  SayConsole(L"\n\nThere were fatal SYSTEM errors in the imaging process.\n");
  return false;
}

// The settings checks that need no file.
bool CheckSettings() {
  const RunSettings& s = Settings();
  if (s.compressionLevel < 0 || s.compressionLevel > 9)
    Fatal(Fmt(L"Compression level (= %d) is invalid (Valid range is between 0 and 9).\n", s.compressionLevel));
  else if (s.formatVersion != 4000)
    Fatal(Fmt(L"Image format version (= %d) is not supported for this command (Valid version is 4000).\n",
              s.formatVersion));
  else if (!SourceReadable(s.source))
    Fatal(Fmt(L"The source \"%ls\" is not a folder or a drive that can be read.\n", s.source.c_str()));
  else
    return true;
  return false;
}

// The full image's prologue and image header: a whole full image of format
// 4000 or above.
bool ReadFullImage(const UpdateKind& kind, UpdatePlan& plan) {
  const std::wstring& path = plan.fullPath;
  FileStream full;
  if (!full.Open(path, L"rb")) {
    const DWORD err = GetLastError();
    Fatal(Fmt(L"Cannot open the full backup image file %ls. (%ls)\n", path.c_str(), ErrorPair(err).c_str()));
    return false;
  }
  TavImagePrologue prologue;
  if (!ReadPrologue(full, prologue)) {
    Fatal(Fmt(L"The image %ls is damaged.\n", path.c_str()));
    return false;
  }
  if (prologue.version < 4000) {
    Fatal(kind.oldFormat);
    return false;
  }
  if (!plan.full.ReadAt(full, kPrologueSize + prologue.headerOffset + prologue.headerLength)) {
    Fatal(Fmt(L"The image %ls is damaged or was never completed.\n", path.c_str()));
    return false;
  }
  if (plan.full.imageType != 0) {
    Fatal(Fmt(L"The image %ls is not a full backup image.\n", path.c_str()));
    return false;
  }
  return true;
}

// The chain's members and the new image's names, from the names the full
// image stores: bare file names, or the run could write outside its folder.
bool NameImages(const UpdateKind& kind, UpdatePlan& plan) {
  const std::wstring folder = FolderOf(plan.fullPath);
  const std::wstring& stored = plan.full.imagePath;
  if (!IsSafeName(stored)) {
    Fatal(Fmt(L"The image name stored in the image %ls is damaged.\n", plan.fullPath.c_str()));
    return false;
  }
  if (kind.extendsList) {
    for (const auto& name : plan.full.increments) {
      if (!IsSafeName(name)) {
        Fatal(Fmt(L"The increment list of the image %ls is damaged.\n", plan.fullPath.c_str()));
        return false;
      }
      plan.listed.push_back(folder + name);
    }
  }
  plan.members = {plan.fullPath};
  if (kind.readsIncrements) plan.members.insert(plan.members.end(), plan.listed.begin(), plan.listed.end());

  const size_t dot = stored.rfind(L'.');
  const std::wstring stem = folder + (dot == std::wstring::npos ? stored : stored.substr(0, dot));
  if (kind.replacesFull)
    plan.finalPath = plan.fullPath;
  else if (kind.extendsList)
    plan.finalPath = stem + Fmt(L"_%04d", static_cast<int32_t>(plan.full.increments.size()) + 1) + L".TAV";
  else
    plan.finalPath = stem + L"_0001.TAV";
  // The new image never takes the place of an image it depends on.
  bool taken = !kind.replacesFull && ToUpper(plan.finalPath) == ToUpper(plan.fullPath);
  for (const auto& name : plan.listed) taken = taken || ToUpper(name) == ToUpper(plan.finalPath);
  if (taken) {
    Fatal(Fmt(L"The image %ls cannot be written: the image %ls or its increment list already names it.\n",
              plan.finalPath.c_str(), plan.fullPath.c_str()));
    return false;
  }
  // The new image is written under a name of its own and takes its place
  // only when whole.
  plan.tempPath = plan.finalPath + L".new";
  plan.headerPath = RunFileName(plan.tempPath, L".tmp");
  return true;
}

// Opens the chain and indexes its last table. False after the message.
bool OpenChain(const UpdatePlan& plan, ImageChain& chain, UpdateChain& uc, TableIndex& index) {
  if (!OpenChainMembers(plan.members, chain)) return false;
  for (size_t k = 0; k < chain.size(); ++k) {
    const ChainImage& c = *chain[k];
    const bool typeOk = k == 0 ? c.header.imageType == 0 : c.header.imageType >= 1 && c.header.imageType <= 3;
    if (c.version < 4000 || !typeOk) {
      Fatal(Fmt(L"The image %ls of the increment chain is damaged.\n", c.path.c_str()));
      return false;
    }
  }
  // The full image may have been renamed since it was made: the new images
  // are named after its stored name, not its file name.
  std::vector<ChainLink> links = LinksOf(chain);
  links[0].nameChecked = false;
  WarnMisplacedImages(links);
  uc.members = StreamsOf(chain);
  for (auto& c : chain) {
    uc.bodyEnds.push_back(kPrologueSize + c->prologue.headerOffset);
    uc.tableEnds.push_back(c->prologue.headerLength);
  }
  std::wstring damage;
  if (!IndexChainTable(uc, index, damage)) {
    Fatal(Fmt(L"The image %ls of the increment chain is damaged: %ls.\n", chain.back()->path.c_str(), damage.c_str()));
    return false;
  }
  return true;
}

// The new header table and image, opened "w+b"; false after the message.
bool OpenNewImage(const UpdateKind& kind, const UpdatePlan& plan, UpdateFiles& files) {
  const bool header = files.OpenHeader();
  const bool image = header && files.OpenImage();
  if (image) return true;
  const DWORD err = GetLastError();
  ++Counters().fatalErrors;
  SayConsole(header ? Fmt(kind.bodyFailure, plan.tempPath.c_str(), ErrorPair(err).c_str())
                    : Fmt(kind.headerFailure, plan.headerPath.c_str(), ErrorPair(err).c_str()));
  return false;
}

// The comparison walk with its progress, writing the new table and body.
WalkOutcome WalkSource(const UpdateKind& kind, const UpdatePlan& plan, UpdateFiles& files, const UpdateChain& uc,
                       const TableIndex& index) {
  const RunSettings& s = Settings();
  RunFiles& run = Run();
  files.header.SetBuffer(kStreamBuffer);
  files.image.SetBuffer(kStreamBuffer);
  std::vector<std::wstring> own{plan.tempPath, plan.headerPath, plan.finalPath, run.logFile};
  for (auto& c : files.chain) {
    own.push_back(c->path);
    own.push_back(c->workPath);
  }
  SetOwnFiles(own);
  WritePrologue(files.image, TavImagePrologue{4000, 0, 0});

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
  Say(kind.started);
  WindowsSource source;
  const WalkOutcome outcome = WalkForUpdate(kind.mode, s.source, uc, index, source, files.header, files.image);
  CloseProgressMapping();
  return outcome;
}

// Writes the new image header and attaches the table to the body; the
// image is then whole and closed. False after the message.
bool CompleteImage(const UpdateKind& kind, const UpdatePlan& plan, UpdateFiles& files) {
  const RunSettings& s = Settings();
  FileStream& header = files.header;
  FileStream& image = files.image;
  const int64_t tableLength = header.GetPosition();
  TavImageHeader newHeader;
  newHeader.imagePath = plan.finalPath;
  SetStamp(Run().start, newHeader.startYear, newHeader.startMonth, newHeader.startDay, newHeader.startHour,
           newHeader.startMinute, newHeader.startSecond);
  SetStamp(NowLocal(), newHeader.finishYear, newHeader.finishMonth, newHeader.finishDay, newHeader.finishHour,
           newHeader.finishMinute, newHeader.finishSecond);
  newHeader.imageType = kind.imageType;
  newHeader.compressionLevel = static_cast<uint8_t>(s.compressionLevel);
  newHeader.diskNumber = static_cast<uint8_t>(s.diskNumber);
  newHeader.partitionNumber = static_cast<uint8_t>(s.partitionNumber);
  newHeader.driveLetter = static_cast<uint8_t>(s.driveLetter.empty() ? 0 : s.driveLetter[0] & 0xFF);
  newHeader.sourceTotal = s.byteTotal;
  newHeader.comment = s.comment;
  if (!CutAtPosition(image) || !CutAtPosition(header)) {
    Fatal(Fmt(L"  SYSTEM Error : Failed to write the image %ls (Error code : %ls).\n", plan.tempPath.c_str(),
              ErrorPair(GetLastError()).c_str()));
    return false;
  }
  newHeader.imageSize = image.GetLength() + tableLength + newHeader.GetSerializedSize();
  newHeader.Write(header);
  if (image.WriteFailed() || header.WriteFailed() || header.Flush() != 0 || image.Flush() != 0) {
    Fatal(Fmt(L"  SYSTEM Error : Failed to write the image %ls or its header file %ls (Error code : %ls).\n",
              plan.tempPath.c_str(), plan.headerPath.c_str(),
              ErrorPair(image.WriteFailed() ? image.WriteError() : header.WriteError()).c_str()));
    return false;
  }
  if (!AttachHeaderToBody(image, header, tableLength)) {
    ++Counters().fatalErrors;  // the attach said why
    return false;
  }
  header.Close();
  if (image.Close() != 0 || image.WriteFailed()) {
    Fatal(Fmt(L"  SYSTEM Error : Failed to close the image %ls (Error code : %ls).\n", plan.tempPath.c_str(),
              ErrorPair(image.WriteError()).c_str()));
    return false;
  }
  return true;
}

// Moves the whole new image into place and rewrites the full image's
// increment list, which names only whole images, with their full paths.
bool PlaceImage(const UpdateKind& kind, const UpdatePlan& plan, UpdateFiles& files) {
  std::vector<std::wstring> names = plan.listed;
  names.push_back(plan.finalPath);
  if (kind.listFirst && !RewriteList(plan.fullPath, names)) {
    // Until the move, the old update image the list named is whole; the new one goes.
    Fatal(Fmt(L"Failed to rewrite the increment list of the image %ls.\n", plan.fullPath.c_str()));
    return false;
  }
  files.Keep();
  if (!ReplaceFile(plan.tempPath, plan.finalPath)) {
    const DWORD err = GetLastError();
    Fatal(Fmt(kind.placeFailure, plan.finalPath.c_str(), plan.tempPath.c_str(), ErrorPair(err).c_str()));
    return false;
  }
  if (!kind.listFirst && !kind.replacesFull && !RewriteList(plan.fullPath, names)) {
    Fatal(Fmt(L"Failed to rewrite the increment list of the image %ls.\n", plan.fullPath.c_str()));
    return false;
  }
  return true;
}

// Every step of the run between enabling and disabling the privileges. A
// step that stops the run has reported and counted why.
void UpdateImage(const UpdateKind& kind) {
  UpdatePlan plan;
  plan.fullPath = AbsolutePath(Settings().imagePath);
  // Everything that can refuse the run is checked before a file is made.
  if (!CheckSettings() || !ReadFullImage(kind, plan) || !NameImages(kind, plan)) return;

  UpdateFiles files(plan);
  UpdateChain uc;
  TableIndex index;
  if (!OpenChain(plan, files.chain, uc, index) || !OpenNewImage(kind, plan, files)) return;
  const WalkOutcome outcome = WalkSource(kind, plan, files, uc, index);
  // The chain is read: closed before the list is rewritten or the full image replaced.
  CloseChain(files.chain, true);
  if (outcome.damaged) {
    Fatal(Fmt(L"The image %ls of the increment chain is damaged: %ls.\n", files.chain.back()->path.c_str(),
              outcome.damage.c_str()));
    return;
  }
  if (!CompleteImage(kind, plan, files)) return;
  if (PlaceImage(kind, plan, files)) Say(Fmt(L"\nThe image %ls is written.\n", plan.finalPath.c_str()));
  SayConsole(kind.finished);
}

}  // namespace

bool RunUpdate() {
  const UpdateKind kind = KindOf(Settings().command);
  if (!OpenUpdateLog(kind)) return false;
  PrintLogHeader(ParameterLines());
  Run().start = NowLocal();
  Say(L"\nAcquiring privileges.\n");
  EnablePrivileges();
  UpdateImage(kind);
  Say(L"Disabling privileges.\n");
  DisablePrivileges();
  Say(L"\n");
  return true;
}

}  // namespace orva
