#include "win/extract_run.h"

#include <windows.h>

#include <memory>
#include <vector>

#include "core/image_header.h"
#include "core/output.h"
#include "core/platform.h"
#include "core/progress.h"
#include "core/restore_queues.h"
#include "core/restore_walk.h"
#include "core/run_guard.h"
#include "core/run_settings.h"
#include "core/wide.h"
#include "win/capture.h"
#include "win/engine_main.h"
#include "win/image_chain.h"
#include "win/link_restore.h"
#include "win/privileges.h"
#include "win/progress_mapping.h"
#include "win/restore_fs.h"

namespace orva {

namespace {

void Fatal(const std::wstring& text) {
  Say(text);
  ++Counters().fatalErrors;
}

std::wstring WorkFileFor(const std::wstring& imagePath) { return RunFileName(imagePath, L".tmp"); }

std::wstring FolderOf(const std::wstring& path) {
  size_t slash = path.rfind(L'\\');
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

// Opens the full image and the increments a dependent image needs. False
// (after the fatal message) when the chain cannot be had.
bool OpenChain(const std::wstring& selected, uint8_t type, ImageChain& chain) {
  std::wstring stem = selected;
  size_t dot = stem.rfind(L'.');
  if (dot != std::wstring::npos && (stem.rfind(L'\\') == std::wstring::npos || dot > stem.rfind(L'\\')))
    stem = stem.substr(0, dot);
  size_t underscore = stem.rfind(L'_');
  const int64_t n64 = underscore == std::wstring::npos ? 0 : ParseDecimal(stem.substr(underscore + 1));
  const int32_t n = n64 < 0 || n64 > kMaxIncrementNames ? 0 : static_cast<int32_t>(n64);
  const std::wstring fullPath = (underscore == std::wstring::npos ? stem : stem.substr(0, underscore)) + L".TAV";
  const std::wstring fullWork = WorkFileFor(fullPath);

  FileStream image, work;
  bool workOk = work.Open(fullWork, L"w+b");
  DWORD workErr = GetLastError();
  if (workOk) AddWorkFile(fullWork);
  bool imageOk = image.Open(fullPath, L"rb");
  DWORD imageErr = GetLastError();
  if (!workOk || !imageOk) {
    work.Close();
    if (workOk) RemoveFileByName(fullWork);
    ++Counters().fatalErrors;
    if (!imageOk)
      Say(Fmt(L"Cannot open the body full backup image file %ls. (%ls)\n", fullPath.c_str(),
              ErrorPair(imageErr).c_str()));
    if (!workOk)
      Say(Fmt(L"Cannot open the header full backup image file %ls. (%ls)\n", fullWork.c_str(),
              ErrorPair(workErr).c_str()));
    return false;
  }
  TavImagePrologue p;
  TavImageHeader fullHeader;
  bool readable = ReadPrologue(image, p) && p.version >= 4000 && CopyHeaderTail(image, work) &&
                  fullHeader.ReadAt(work, p.headerLength);
  image.Close();
  work.Close();
  RemoveFileByName(fullWork);
  if (!readable) {
    ++Counters().fatalErrors;
    SayConsole(p.version < 4000 && p.version != 0
                   ? std::wstring(L"Cannot apply extraction for the image.\nThe image version is lower than 4.000.\n")
                   : Fmt(L"The full backup image %ls is damaged.\n", fullPath.c_str()));
    return false;
  }
  if (n > static_cast<int32_t>(fullHeader.increments.size()) || (type == 2 && n < 1)) {
    ++Counters().fatalErrors;
    SayConsole(L"Cannot apply incremental backup for the image.\nThe incremental number is invalid.\n");
    return false;
  }
  // The chain's names are bare file names in the full image's folder.
  bool safe = IsSafeName(fullHeader.imagePath);
  for (int32_t i = 1; type == 2 && i < n; ++i)
    safe = safe && IsSafeName(fullHeader.increments[static_cast<size_t>(i - 1)]);
  if (!safe) {
    ++Counters().fatalErrors;
    Say(Fmt(L"The full backup image %ls is damaged: its image name or increment list is not a file name.\n",
            fullPath.c_str()));
    return false;
  }
  const std::wstring folder = FolderOf(fullPath);
  std::vector<std::wstring> paths{folder + fullHeader.imagePath};
  if (type == 2)
    for (int32_t i = 1; i < n; ++i) paths.push_back(folder + fullHeader.increments[static_cast<size_t>(i - 1)]);

  return OpenChainMembers(paths, chain);
}

// A prologue still holding its placeholders. A format-4000 image always has
// an image header after it; a format-3000 image of an empty source is the
// prologue alone, so there only data after it tells.
bool NeverCompleted(const TavImagePrologue& p, int64_t fileLength) {
  if (p.headerOffset != 0 || p.headerLength != 0 || p.version == 0) return false;
  return p.version >= 4000 ? fileLength == kPrologueSize : fileLength > kPrologueSize;
}

// Progress over `total` bytes, its mapping, and the start of the run.
void StartRestoreProgress(int64_t total) {
  ResetProgress(total);
  BuildProgressThresholds();
  CreateProgressMapping();
  Run().start = NowLocal();
  Progress().startEpoch = Run().start.epoch;
  Say(L"Started restoring process.\n");
}

// One image, no chain; the body's length is the progress base.
void RestoreFormat3000(const TavImagePrologue& p, FileStream& image, FileStream& work) {
  StartRestoreProgress(p.headerOffset);
  auto fs = MakeWindowsRestoreFileSystem();
  RestoreResult result = RestoreImageV3(work, image, p.headerLength, Settings().targetFolder, *fs);
  if (result.damaged)
    Fatal(Fmt(L"  The header table of the image %ls is damaged: %ls.\n", Settings().imagePath.c_str(),
              result.damage.c_str()));
  CloseProgressMapping();
}

}  // namespace

bool RunExtraction() {
  RunSettings& s = Settings();
  RunFiles& run = Run();
  if (!RunLog().Open(run.logFile)) {
    SayConsole(Fmt(L"Cannot create log file (%ls).\n", run.logFile.c_str()));
    SayConsole(L"\n\nThere were fatal SYSTEM errors in the imaging process.\n");
    return false;
  }
  PrintLogHeader(ParameterLines());
  Say(L"\nAcquiring privileges.\n");
  EnablePrivileges();
  run.start = NowLocal();

  // The image and the work file holding its table. Every way out closes them
  // before the work file goes; a cancelled run closes them as it unwinds.
  FileStream image, work;
  auto finish = [&](bool removeWork) {
    image.Close();
    work.Close();
    if (removeWork) RemoveFileByName(run.workFile);
    CreateJunctions();
    CreateDirectorySymlinks();
    CreateFileSymlinks();
    SayConsole(L"Finished extraction process.\n");
    Say(L"Disabling privileges.\n");
    DisablePrivileges();
    Say(L"\n");
    return true;
  };

  if (s.targetFolder.empty()) {
    Fatal(L"No target folder is given (-o).\n");
    return finish(false);
  }
  if (!work.Open(run.workFile, L"w+b")) {
    SayConsole(Fmt(L"Header file (%ls) open error!\n", run.workFile.c_str()));
    ++Counters().fatalErrors;
    return finish(false);
  }
  AddWorkFile(run.workFile);
  if (!image.Open(s.imagePath, L"rb")) {
    DWORD err = GetLastError();
    SayConsole(Fmt(L"Body file (%ls) open error! (%ls)\n", s.imagePath.c_str(), ErrorPair(err).c_str()));
    ++Counters().fatalErrors;
    return finish(true);
  }
  Queues().Clear();

  TavImagePrologue p;
  TavImageHeader header;
  bool readable = ReadPrologue(image, p);
  if (readable && p.version >= 4000)
    readable = CopyHeaderTail(image, work) && header.ReadAt(work, p.headerLength);
  else if (readable)
    readable = CopyHeaderTable(image, work);
  if (!readable || NeverCompleted(p, image.GetLength())) {
    Fatal(Fmt(L"The image %ls is damaged or was never completed.\n", s.imagePath.c_str()));
    return finish(true);
  }
  s.formatVersion = p.version;
  image.SeekAbsolute(kPrologueSize);
  work.SeekToBegin();

  if (p.version == 3000) {
    RestoreFormat3000(p, image, work);
    return finish(true);
  }
  if (p.version != 4000) {
    Fatal(
        L"The extraction of the specified TAV file is not supported by OrvaImage.exe version 3. Use OrvaImage.exe "
        L"version 2 instead.\n");
    return finish(true);
  }

  ImageChain chainImages;
  const uint8_t type = header.imageType >= 1 && header.imageType <= 3 ? header.imageType : 0;
  if (type != 0 && !OpenChain(s.imagePath, type, chainImages)) {
    image.Close();
    work.Close();
    RemoveFileByName(run.workFile);
    return true;  // straight to the report
  }
  if (type != 0) {
    std::vector<ChainLink> links = LinksOf(chainImages);
    links.push_back({s.imagePath, &header, true});
    WarnMisplacedImages(links);
  }
  const ChainStreams chain = StreamsOf(chainImages);

  // Progress base: the body length, or the data the selected table stores or refers to.
  int64_t total = p.headerOffset;
  if (type != 0) {
    total = 0;
    TavEntry e;
    int32_t error = 0;
    while (work.GetPosition() < p.headerLength &&
           (ReadTavEntry(chain, 4000, work, image, false, e, error) || e.damagedReference))
      total = e.dataLength > INT64_MAX - total ? INT64_MAX : total + e.dataLength;
    for (auto& c : chainImages) {
      c->image.SeekAbsolute(kPrologueSize);
      c->work.SeekToBegin();
    }
    image.SeekAbsolute(kPrologueSize);
    work.SeekToBegin();
  }
  StartRestoreProgress(total);
  auto fs = MakeWindowsRestoreFileSystem();
  RestoreResult result = RestoreImageV4(chain, work, image, p.headerLength, s.targetFolder, *fs);
  if (result.damaged)
    Fatal(Fmt(L"  The header table of the image %ls is damaged: %ls.\n", s.imagePath.c_str(), result.damage.c_str()));
  CloseProgressMapping();
  CloseChain(chainImages, true);
  return finish(true);
}

}  // namespace orva
