// Fuzz target: an image file of either format as the restore sees it. Prologue,
// image header (also as the GUI programs read it), the header table with its
// entries, trailers and security blocks, and the restore's decisions, over an
// in-memory file system. Then the same image as
// the one member of an update run's chain: its index and the comparison walk
// against a small source in memory, in both modes.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "../memory_fs.h"
#include "core/compare_walk.h"
#include "core/image_header.h"
#include "core/output.h"
#include "core/progress.h"
#include "core/restore_queues.h"
#include "core/restore_walk.h"
#include "core/run_log.h"
#include "image_header_reader.h"

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

// Every folder holds a file "a", a folder "d" and a file "f" that is a
// folder below the root; three levels deep.
class FixedSource : public CompareSource {
 public:
  int32_t List(const std::wstring& dir, std::vector<FindData>& objects) override {
    size_t depth = 0;
    for (wchar_t c : dir) depth += c == L'\\';
    if (depth > 3) return 0;
    for (const wchar_t* name : {L"a", L"d", L"f"}) {
      FindData fd{};
      fd.SetName(name);
      fd.attributes = name[0] == L'd' || (name[0] == L'f' && depth > 1) ? kAttrDirectory : 0x20;
      fd.lastWriteTime = {2, 0};
      objects.push_back(fd);
    }
    return 0;
  }
  bool Excluded(const std::wstring&, const std::wstring&) override { return false; }
  uint8_t ArchiveSingleEntry(int32_t depth, const std::wstring& path, const std::wstring&, FileStream& header,
                             FileStream&) override {
    // Every file "a" of the deepest level cannot be read.
    size_t level = 0;
    for (wchar_t c : path) level += c == L'\\';
    const std::wstring name = path.substr(path.rfind(L'\\') + 1);
    if (level >= 4 && name == L"a") return kArchiveReadFailed;
    FindData fd{};
    fd.SetName(name);
    fd.attributes = name == L"d" || (name == L"f" && level > 2) ? kAttrDirectory : 0x20;
    fd.lastWriteTime = {2, 0};
    TavEntryRecord r{};
    r.depth = depth;
    r.findData = fd;
    r.kind = TavEntryKind(fd);
    r.securityState = kSecurityNotRetrieved;
    WriteEntryRecord(header, r);
    if (r.kind == kKindFile) WriteInt64(header, 0);
    return kArchived;
  }
  void CaptureTree(int32_t, const std::wstring&, const std::wstring&, FileStream&, FileStream&) override {}
  bool Identify(const std::wstring&, FileIdentity& id, FileTime& lastWrite) override {
    id = {1, 2, 3};
    lastWrite = {2, 0};
    return true;
  }
  void RegisterFirstName(const FileIdentity&, const std::wstring&) override {}
};

void CompareWith(FileStream& work, FileStream& image, const TavImagePrologue& p) {
  UpdateChain chain;
  chain.members = ChainStreams{{p.version}, {&work}, {&image}};
  chain.bodyEnds = {kPrologueSize + p.headerOffset};
  chain.tableEnds = {p.headerLength};
  TableIndex index;
  std::wstring damage;
  if (!IndexChainTable(chain, index, damage)) return;
  static const std::wstring headerPath = Scratch(".new.tmp"), bodyPath = Scratch(".new");
  for (UpdateMode mode : {UpdateMode::kReference, UpdateMode::kCopy}) {
    FileStream header, body;
    if (!header.Open(headerPath, L"w+b") || !body.Open(bodyPath, L"w+b")) return;
    FixedSource source;
    WalkForUpdate(mode, L"S:", chain, index, source, header, body);
    header.Close();
    body.Close();
  }
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

  // The GUI programs' reader of the same header.
  {
    FileStream again;
    if (again.Open(std::string(imagePath.begin(), imagePath.end()).c_str(), "rb")) {
      orva::TavImageHeader facts;
      ReadImageHeader(again, facts);
      again.Close();
    }
  }

  TavImagePrologue p;
  orva::TavImageHeader header;
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
    ChainStreams chain{{p.version}, {&work}, {&image}, {}};
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
    // The copy of the table holds the image header too: the chain reads the table alone.
    FileStream table;
    if (table.Open(workPath, L"w+b") && CopyHeaderTable(image, table)) CompareWith(table, image, p);
    table.Close();
  }
  image.Close();
  work.Close();
  return 0;
}
