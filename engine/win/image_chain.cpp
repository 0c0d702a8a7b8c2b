#include "win/image_chain.h"

#include <windows.h>

#include "core/output.h"
#include "core/run_guard.h"
#include "core/run_log.h"
#include "core/wide.h"
#include "win/capture.h"
#include "win/engine_main.h"

namespace orva {

namespace {

std::wstring ErrorPair(DWORD err) {
  return Fmt(L"%d, %ls", static_cast<int>(err), SystemErrorText(static_cast<long>(err)).c_str());
}

}  // namespace

void CloseChain(ImageChain& chain, bool removeWork) {
  for (auto& c : chain) {
    c->image.Close();
    c->work.Close();
    if (removeWork) DeleteFileW(SystemPath(c->workPath).c_str());
  }
}

ChainStreams StreamsOf(const ImageChain& chain) {
  ChainStreams streams;
  for (auto& c : chain) {
    streams.versions.push_back(c->version);
    streams.headers.push_back(&c->work);
    streams.bodies.push_back(&c->image);
  }
  return streams;
}

bool OpenChainMembers(const std::vector<std::wstring>& paths, ImageChain& chain) {
  for (const auto& path : paths) {
    auto c = std::make_unique<ChainImage>();
    c->path = path;
    c->workPath = RunFileName(path, L".tmp");
    bool wOk = c->work.Open(c->workPath, L"w+b");
    DWORD wErr = GetLastError();
    if (wOk) AddWorkFile(c->workPath);
    bool iOk = wOk && c->image.Open(path, L"rb");
    DWORD iErr = GetLastError();
    if (!wOk || !iOk) {
      ++Counters().fatalErrors;
      Say(Fmt(L"Cannot open the header incremental file %ls. (%ls)\n", c->workPath.c_str(), ErrorPair(wErr).c_str()));
      Say(Fmt(L"Cannot open the body incremental file %ls. (%ls)\n", path.c_str(), ErrorPair(iErr).c_str()));
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
