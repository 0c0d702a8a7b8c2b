// Fuzz target: an image file of either format as the restore sees it. Prologue, image header,
// the header table with its entries, trailers and security blocks, and the
// restore's decisions, over an in-memory file system.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "../memory_fs.h"
#include "core/image_header.h"
#include "core/output.h"
#include "core/progress.h"
#include "core/restore_queues.h"
#include "core/restore_walk.h"
#include "core/run_log.h"

using namespace orva;

namespace {

class Silent : public OutputSink {
 public:
  void Console(const std::wstring&) override {}
  void Log(const std::wstring&) override {}
};

std::wstring Scratch(const char* what) {
  std::string path = "/dev/shm/orva_fuzz_" + std::to_string(getpid()) + what;
  return std::wstring(path.begin(), path.end());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Silent silent;
  SetOutputSink(&silent);
  static const std::wstring imagePath = Scratch(".tav"), workPath = Scratch(".tmp");
  FileStream image, work;
  if (!image.Open(imagePath, L"w+b") || !work.Open(workPath, L"w+b")) return 0;
  if (size) image.Write(data, static_cast<uint32_t>(size));
  image.Flush();

  TavImagePrologue p;
  TavImageHeader header;
  if (ReadPrologue(image, p) && p.version < 4000 && CopyHeaderTable(image, work)) {
    // Format 3000: the table alone, entries without a prefix.
    work.Flush();
    work.SeekToBegin();
    image.SeekAbsolute(kPrologueSize);
    Counters() = RunCounters();
    Lists().Clear();
    Queues().Clear();
    ResetProgress(p.headerOffset);
    BuildProgressThresholds();
    test::MemoryFileSystem fs;
    fs.diskLeft = 64 << 20;
    RestoreImageV3(work, image, p.headerLength, L"T:\\out", fs);
  } else if (ReadPrologue(image, p) && p.version >= 4000 && CopyHeaderTail(image, work) &&
             header.ReadAt(work, p.headerLength)) {
    // The entry reader on its own, as the update runs use it.
    work.SeekToBegin();
    image.SeekAbsolute(kPrologueSize);
    ChainStreams chain{{p.version}, {&work}, {&image}};
    for (int i = 0; i < 10000 && work.GetPosition() < p.headerLength; ++i) {
      TavEntryRecord rec;
      int32_t err = 0;
      if (ReadEntryHeaderWithRecord(chain, p.version, work, image, rec, err).depth == -1) break;
    }
    // The restore, with the image itself as the chain its references name
    // (streams of their own, as the extraction opens them).
    work.Flush();
    FileStream chainWork, chainImage;
    if (chainWork.Open(workPath, L"rb") && chainImage.Open(imagePath, L"rb")) {
      chain = ChainStreams{{p.version}, {&chainWork}, {&chainImage}};
      work.SeekToBegin();
      image.SeekAbsolute(kPrologueSize);
      Counters() = RunCounters();
      Lists().Clear();
      Queues().Clear();
      ResetProgress(p.headerOffset);
      BuildProgressThresholds();
      test::MemoryFileSystem fs;
      fs.diskLeft = 64 << 20;
      RestoreImageV4(chain, work, image, p.headerLength, L"T:\\out", fs);
    }
    chainWork.Close();
    chainImage.Close();
  }
  image.Close();
  work.Close();
  return 0;
}
