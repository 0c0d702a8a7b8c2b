#include "win/image_chain.h"

#include <windows.h>

#include "core/output.h"
#include "core/platform.h"
#include "core/run_guard.h"
#include "core/run_log.h"
#include "core/wide.h"
#include "win/capture.h"
#include "win/engine_main.h"

namespace orva {

void CloseChain(ImageChain& chain, bool removeWork) {
  for (auto& c : chain) {
    c->image.Close();
    c->work.Close();
    if (removeWork) RemoveFileByName(c->workPath);
  }
}

ChainStreams StreamsOf(const ImageChain& chain) {
  ChainStreams streams;
  for (auto& c : chain) {
    streams.versions.push_back(c->version);
    streams.headers.push_back(&c->work);
    streams.bodies.push_back(&c->image);
    streams.paths.push_back(c->path);
  }
  return streams;
}

namespace {

int64_t StartKey(const TavImageHeader& h) {
  return ((((static_cast<int64_t>(h.startYear) * 100 + h.startMonth) * 100 + h.startDay) * 100 + h.startHour) * 100 +
          h.startMinute) *
             100 +
         h.startSecond;
}

// The file-name part of a path in either slash, or after a drive letter.
std::wstring NamePart(const std::wstring& path) {
  const size_t cut = path.find_last_of(L"\\/:");
  return ToUpper(cut == std::wstring::npos ? path : path.substr(cut + 1));
}

}  // namespace

std::vector<ChainLink> LinksOf(const ImageChain& chain) {
  std::vector<ChainLink> links;
  for (const auto& c : chain) links.push_back({c->path, &c->header, true});
  return links;
}

void WarnMisplacedImages(const std::vector<ChainLink>& links) {
  for (size_t k = 0; k < links.size(); ++k) {
    const ChainLink& link = links[k];
    const std::wstring& stored = link.header->imagePath;
    if (link.nameChecked && NamePart(stored) != NamePart(link.path)) {
      ++Counters().chainWarnings;
      Say(
          Fmt(L"  Warning : The image %ls holds the image %ls: it does not belong in this place of the increment "
              L"chain.\n",
              link.path.c_str(), stored.c_str()));
    }
    if (k + 1 < links.size() && StartKey(*link.header) > StartKey(*links[k + 1].header)) {
      ++Counters().chainWarnings;
      Say(
          Fmt(L"  Warning : The image %ls was started later than the image %ls that follows it in the increment "
              L"chain.\n",
              link.path.c_str(), links[k + 1].path.c_str()));
    }
  }
}

bool OpenChainMembers(const std::vector<std::wstring>& paths, ImageChain& chain) {
  for (const auto& path : paths) {
    auto c = std::make_unique<ChainImage>();
    c->path = path;
    c->workPath = RunFileName(path, L".tmp");
    // Both are tried, each line with the error of its own open.
    const bool wOk = c->work.Open(c->workPath, L"w+b");
    const DWORD wErr = wOk ? 0 : GetLastError();
    if (wOk) AddWorkFile(c->workPath);
    const bool iOk = c->image.Open(path, L"rb");
    const DWORD iErr = iOk ? 0 : GetLastError();
    if (!wOk || !iOk) {
      ++Counters().fatalErrors;
      Say(Fmt(L"Cannot open the header incremental file %ls. (%ls)\n", c->workPath.c_str(),
              ErrorPair(wErr, L",").c_str()));
      Say(Fmt(L"Cannot open the body incremental file %ls. (%ls)\n", path.c_str(), ErrorPair(iErr, L",").c_str()));
      chain.push_back(std::move(c));
      CloseChain(chain, true);
      return false;
    }
    TavImagePrologue& p = c->prologue;
    // A member never completed keeps a zero prologue and has no image header.
    bool readable = ReadPrologue(c->image, p) && CopyHeaderTable(c->image, c->work);
    if (readable && p.version >= 4000)
      readable = c->header.ReadAt(c->image, kPrologueSize + p.headerOffset + p.headerLength);
    if (!readable) {
      ++Counters().fatalErrors;
      Say(Fmt(L"The image %ls of the increment chain is damaged.\n", path.c_str()));
      chain.push_back(std::move(c));
      CloseChain(chain, true);
      return false;
    }
    c->version = p.version;
    c->image.SeekAbsolute(kPrologueSize);
    c->work.SeekToBegin();
    chain.push_back(std::move(c));
  }
  return true;
}

}  // namespace orva
