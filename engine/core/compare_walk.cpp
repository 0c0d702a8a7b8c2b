#include "core/compare_walk.h"

#include <algorithm>
#include <cstdint>
#include <memory>

#include "core/exclusion.h"
#include "core/image_header.h"
#include "core/output.h"
#include "core/progress.h"
#include "core/run_log.h"
#include "core/wide.h"

namespace orva {

namespace {

constexpr int32_t kErrorFileNotFound = 2;
constexpr uint32_t kCopyBlock = 1000000;

std::wstring Join(const std::wstring& dir, const std::wstring& name) {
  if (!dir.empty() && dir.back() == L'\\') return dir + name;
  return dir + L"\\" + name;
}

// The members a reference of the last member may name: those before it.
ChainStreams Earlier(const UpdateChain& chain) {
  ChainStreams c = chain.members;
  c.versions.pop_back();
  c.headers.pop_back();
  c.bodies.pop_back();
  return c;
}

// The kind the capture walker gives a found object: a reparse file that is
// not a symbolic link is read through and stored as a file.
uint8_t CapturedKind(const FindData& fd) {
  if (fd.attributes & kAttrDirectory) return TavEntryKind(fd);
  if ((fd.attributes & kAttrReparsePoint) && fd.reserved0 == kTagSymlink) return kKindFileSymlink;
  return kKindFile;
}

class Walk {
 public:
  Walk(UpdateMode mode, const UpdateChain& chain, const TableIndex& index, CompareSource& fs, FileStream& header,
       FileStream& body)
      : mode_(mode),
        readers_(Earlier(chain)),
        index_(index),
        fs_(fs),
        header_(header),
        body_(body),
        last_(static_cast<int32_t>(chain.members.headers.size()) - 1),
        oldHeader_(*chain.members.headers.back()),
        oldBody_(*chain.members.bodies.back()),
        tableEnd_(chain.tableEnds.back()) {}

  WalkOutcome Run(const std::wstring& source) {
    const TableIndex::Span start{0, kPrologueSize};
    dir_ = source;
    rel_.clear();
    Enter(0, &start);
    // One folder after the other, depth first: the folder on top is the one
    // being walked, those below it wait at the object they descended into.
    while (!stack_.empty() && !outcome_.damaged) {
      Folder& f = stack_.back();
      if (f.next == f.found.size()) {
        stack_.pop_back();
        BackToTop();
        continue;
      }
      Visit(f.found[f.next++]);
    }
    return outcome_;
  }

 private:
  // An old entry of the folder being walked, where it lies in the last member.
  struct Old {
    uint8_t kind;
    bool reference;
    int32_t refIndex;
    int64_t entryOffset, entryLength, dataOffset, dataLength;    // the entry itself (a reference's target)
    int64_t ownOffset, ownLength, ownDataOffset, ownDataLength;  // its bytes in the last member
    FileTime lastWrite;
    std::wstring firstName;  // hard links
    TableIndex::Span contents{-1, -1};
  };

  // A folder being walked: its old entries, its objects and the next one.
  // Its path and relative path are dir_ and rel_ cut to their lengths.
  struct Folder {
    int32_t depth;
    size_t dirLength, relLength;
    std::vector<Old> olds;
    std::unordered_map<std::wstring, size_t> byName;
    std::vector<FindData> found;
    size_t next = 0;
  };

  void Damaged(int64_t at) {
    if (outcome_.damaged) return;
    outcome_.damaged = true;
    outcome_.damage = Fmt(L"the entry at offset %lld of the header table cannot be read", static_cast<long long>(at));
  }

  // The old entries of one folder, read from start up to the end of its
  // contents; the contents of its subfolders are passed over, not read.
  void ReadLevel(int32_t depth, const TableIndex::Span& start, std::vector<Old>& olds,
                 std::unordered_map<std::wstring, size_t>& byName) {
    if (start.headerEnd < 0 || oldHeader_.SeekAbsolute(start.headerEnd) != 0 ||
        oldBody_.SeekAbsolute(start.bodyEnd) != 0)
      return;
    TavEntry e;
    for (;;) {
      const int64_t at = oldHeader_.GetPosition();
      if (at >= tableEnd_) break;
      int32_t error = 0;
      if (!ReadTavEntry(readers_, 4000, oldHeader_, oldBody_, true, e, error) || oldHeader_.GetPosition() <= at) {
        Damaged(at);
        break;
      }
      ++outcome_.entriesRead;
      const int32_t d = e.record.depth;
      if (d < depth) break;
      if (!e.where.refFlag) oldBody_.SeekAbsolute(e.dataOffset + e.dataLength);
      Old o;
      o.kind = e.record.kind;
      o.reference = e.where.refFlag == 1;
      o.refIndex = e.where.refImageIndex;
      o.ownOffset = e.where.ownEntryOffset;
      o.ownLength = e.where.ownEntryLength;
      o.ownDataOffset = o.reference ? 0 : e.dataOffset;
      o.ownDataLength = o.reference ? 0 : e.dataLength;
      o.entryOffset = o.reference ? e.where.refEntryOffset : o.ownOffset;
      o.entryLength = o.reference ? e.where.refEntryLength : o.ownLength;
      o.dataOffset = e.dataOffset;
      o.dataLength = e.dataLength;
      o.lastWrite = e.record.findData.lastWriteTime;
      if (o.kind == kKindHardLink) o.firstName = e.text;
      if (o.kind == kKindDirectory) {
        o.contents = {oldHeader_.GetPosition(), oldBody_.GetPosition()};
        auto end = index_.subtreeEnds.find(at);
        if (end != index_.subtreeEnds.end()) {
          oldHeader_.SeekAbsolute(end->second.headerEnd);
          oldBody_.SeekAbsolute(end->second.bodyEnd);
        }
      }
      if (d == depth) {
        byName.emplace(e.record.findData.Name(), olds.size());
        olds.push_back(std::move(o));
      }
    }
  }

  // Starts walking the folder dir_ (relative path rel_): its old entries
  // from start (none for a folder the compared image lacks) and its objects.
  // A folder that cannot be listed is reported and not walked.
  void Enter(int32_t depth, const TableIndex::Span* start) {
    Folder f;
    f.depth = depth;
    f.dirLength = dir_.size();
    f.relLength = rel_.size();
    if (start) ReadLevel(depth, *start, f.olds, f.byName);
    if (outcome_.damaged) return;
    const int32_t err = fs_.List(dir_, f.found);
    if (err) {
      if (err != kErrorFileNotFound) {
        const std::wstring pattern = Join(dir_, L"*");
        std::wstring text = SystemErrorText(err);
        while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r')) text.pop_back();
        const std::wstring message = Fmt(L"  Cannot access the directory %ls. (Error No : %d, Error message : %ls)\n",
                                         pattern.c_str(), err, text.c_str());
        Say(message);
        ++Counters().dirsSkipped;
        Lists().directories.push_back({dir_, L"", message});
      }
      BackToTop();
      return;
    }
    stack_.push_back(std::move(f));
  }

  // The paths back at the folder on top, after one of its subfolders.
  void BackToTop() {
    if (stack_.empty()) return;
    dir_.resize(stack_.back().dirLength);
    rel_.resize(stack_.back().relLength);
  }

  // Into the subfolder name of the folder on top.
  void Descend(const std::wstring& name, const TableIndex::Span* start) {
    const int32_t depth = stack_.back().depth + 1;
    if (dir_.empty() || dir_.back() != L'\\') dir_ += L'\\';
    dir_ += name;
    rel_ += L"\\";
    rel_ += name;
    Enter(depth, start);
  }

  // One object of the folder on top; a folder to walk is entered.
  void Visit(const FindData& fd) {
    Folder& f = stack_.back();
    const int32_t depth = f.depth;
    const std::wstring name = fd.Name();
    const std::wstring path = Join(dir_, name);
    const std::wstring childRel = rel_ + L"\\" + name;
    const bool isDir = (fd.attributes & kAttrDirectory) != 0;
    if (fs_.Excluded(rel_.empty() ? name : childRel, path)) {
      IntendedSkip(path, isDir);
      return;
    }
    WaitWhilePaused();
    const uint8_t kind = CapturedKind(fd);
    auto it = f.byName.find(name);
    const Old* old = it == f.byName.end() ? nullptr : &f.olds[it->second];
    const bool unchanged =
        old &&
        ((kind == kKindFile && (old->kind == kKindFile || old->kind == kKindHardLink) &&
          EqualFileTimes(fd.lastWriteTime.low, fd.lastWriteTime.high, old->lastWrite.low, old->lastWrite.high)) ||
         (kind == kKindDirectory && old->kind == kKindDirectory));
    if (unchanged && Carry(*old, fd, path, childRel)) {
      // A folder carried over keeps comparing below.
      if (kind == kKindDirectory) {
        const TableIndex::Span contents = old->contents;
        Descend(name, &contents);
      }
      return;
    }
    SayConsole(Fmt(old ? L"Upd. file : %ls\n" : L"New  Obj. : %ls\n", name.c_str()));
    CTavArchiveObject own;
    InitArchiveObject(own);
    WriteEntryPrefix(own, header_);
    const uint8_t result = fs_.ArchiveSingleEntry(depth, path, childRel, header_, body_);
    if (result != kArchived) {
      StepBackOverPrefix(own, header_);
      SayConsole(Fmt(L"Cncl Obj. : (%02d/%02d) %ls\n", static_cast<int>(result), static_cast<int>(kind), name.c_str()));
      return;
    }
    if (kind != kKindDirectory) return;
    if (unchanged) {
      const TableIndex::Span contents = old->contents;
      Descend(name, &contents);
    } else {
      // A new folder is captured whole.
      fs_.CaptureTree(depth + 1, path, childRel, header_, body_);
    }
  }

  // Writes an unchanged object from the old table; false when it must be
  // captured from the source instead (nothing has been written then).
  // A folder's entry is written here; the caller walks its contents.
  bool Carry(const Old& old, const FindData& fd, const std::wstring& path, const std::wstring& rel) {
    FileIdentity id;
    FileTime written{};
    auto sameFile = [&] {
      return fs_.Identify(path, id, written) &&
             EqualFileTimes(written.low, written.high, old.lastWrite.low, old.lastWrite.high);
    };
    if (old.kind == kKindHardLink) {
      // Only a link whose first name this table holds, as the same file.
      auto first = presentTargets_.find(old.firstName);
      if (first == presentTargets_.end() || !sameFile() || !(id == first->second)) return false;
      if (!WriteOld(old)) return false;
      ++Counters().hardLinksProcessed;
      Lists().processedHardLinks.push_back({path, old.firstName, L"No error."});
      return true;
    }
    // A first name of several: its links are carried only with it, and only
    // while the file itself is as old as the entry.
    bool identified = false;
    if (old.kind == kKindFile && index_.linkTargets.count(rel) && fs_.Identify(path, id, written)) {
      if (!EqualFileTimes(written.low, written.high, old.lastWrite.low, old.lastWrite.high)) return false;
      identified = true;
    }
    if (!WriteOld(old)) return false;
    ProgressStep(static_cast<int64_t>(fd.Size()), fd.Name());
    if (old.kind == kKindDirectory) {
      ++Counters().dirsProcessed;
      return true;
    }
    ++Counters().filesProcessed;
    if (identified) {
      presentTargets_[rel] = id;
      fs_.RegisterFirstName(id, rel);
    }
    return true;
  }

  bool WriteOld(const Old& old) {
    if (mode_ == UpdateMode::kReference) {
      CTavArchiveObject o;
      InitArchiveObject(o);
      o.refFlag = 1;
      o.refImageIndex = old.reference ? old.refIndex : last_;
      o.refEntryOffset = old.entryOffset;
      o.refEntryLength = old.entryLength;
      o.refDataOffset = old.dataOffset;
      o.refDataLength = old.reference ? old.dataLength : old.ownDataLength;
      WriteEntryPrefix(o, header_);
      return true;
    }
    if (old.reference || old.ownLength <= 0 || old.ownLength > kMaxCopiedEntry) return false;
    std::vector<uint8_t> bytes(static_cast<size_t>(old.ownLength));
    if (oldHeader_.SeekAbsolute(old.ownOffset) != 0 ||
        oldHeader_.Read(bytes.data(), static_cast<uint32_t>(bytes.size())) != bytes.size())
      return false;
    const int64_t at = body_.GetPosition();
    if (!CopyByteRange(oldBody_, body_, old.ownDataOffset, old.ownDataLength)) {
      body_.SeekAbsolute(at);  // the object is captured from the source instead
      return false;
    }
    header_.WriteAll(bytes.data(), static_cast<uint32_t>(bytes.size()));
    return true;
  }

  static constexpr int64_t kMaxCopiedEntry = 64LL << 20;

  const UpdateMode mode_;
  const ChainStreams readers_;
  const TableIndex& index_;
  CompareSource& fs_;
  FileStream& header_;
  FileStream& body_;
  const int32_t last_;
  FileStream& oldHeader_;
  FileStream& oldBody_;
  const int64_t tableEnd_;
  std::unordered_map<std::wstring, FileIdentity> presentTargets_;  // first names carried, with their file
  std::vector<Folder> stack_;                                      // the folders being walked, the source root first
  std::wstring dir_, rel_;  // the path and relative path of the object being walked
  WalkOutcome outcome_;
};

}  // namespace

bool EqualFileTimes(uint32_t low1, uint32_t high1, uint32_t low2, uint32_t high2) {
  return low1 == low2 && high1 == high2;
}

bool CopyByteRange(FileStream& from, FileStream& to, int64_t offset, int64_t length) {
  if (length <= 0) return length == 0;
  if (from.SeekAbsolute(offset) != 0) return false;
  static std::unique_ptr<char[]> buffer(new char[kCopyBlock]);
  int64_t remaining = length, written = 0;
  while (remaining > 0) {
    const uint32_t want = static_cast<uint32_t>(std::min<int64_t>(remaining, kCopyBlock));
    const size_t got = from.Read(buffer.get(), want);
    if (got == 0) {
      SayConsole(Fmt(L"  File reading error (read : %lld).\n", 0LL));
      break;
    }
    const size_t put = to.Write(buffer.get(), static_cast<uint32_t>(got));
    written += static_cast<int64_t>(put);
    remaining -= static_cast<int64_t>(put);
    if (put != got) break;
  }
  if (written == length) return true;
  SayConsole(
      Fmt(L"  File replication error :: Fle pointer : %lld, File size : %lld, Written : %lld, Remained : %lld.\n",
          static_cast<long long>(offset), static_cast<long long>(length), static_cast<long long>(written),
          static_cast<long long>(remaining)));
  return false;
}

bool IndexChainTable(const UpdateChain& chain, TableIndex& index, std::wstring& damage) {
  const size_t n = chain.members.headers.size();
  if (n == 0 || chain.members.bodies.size() != n || chain.members.versions.size() != n || chain.bodyEnds.size() != n ||
      chain.tableEnds.size() != n) {
    damage = L"the increment chain is incomplete";
    return false;
  }
  const ChainStreams readers = Earlier(chain);
  FileStream& header = *chain.members.headers.back();
  FileStream& body = *chain.members.bodies.back();
  const int64_t end = chain.tableEnds.back();
  if (header.SeekAbsolute(0) != 0 || body.SeekAbsolute(kPrologueSize) != 0) {
    damage = L"the header table cannot be read";
    return false;
  }
  std::vector<int64_t> open;  // offsets of the folders whose contents are being read
  TavEntry e;
  for (;;) {
    const int64_t at = header.GetPosition();
    const int64_t bodyAt = body.GetPosition();
    if (at == end) break;
    auto bad = [&](const wchar_t* what) {
      damage = Fmt(L"the entry at offset %lld of the header table %ls", static_cast<long long>(at), what);
      return false;
    };
    int32_t error = 0;
    if (at < 0 || at > end) return bad(L"cannot be read");
    if (!ReadTavEntry(readers, 4000, header, body, true, e, error))
      return bad(e.damagedReference ? L"refers to an entry that is not the one it records" : L"cannot be read");
    if (header.GetPosition() <= at || header.GetPosition() > end) return bad(L"cannot be read");
    const int32_t depth = e.record.depth;
    if (depth < 0 || static_cast<size_t>(depth) > open.size()) return bad(L"lies outside its folder");
    while (open.size() > static_cast<size_t>(depth)) {
      index.subtreeEnds[open.back()] = {at, bodyAt};
      open.pop_back();
    }
    const size_t holder = e.where.refFlag ? static_cast<size_t>(e.where.refImageIndex) : n - 1;
    if (e.dataOffset < kPrologueSize || e.dataOffset > chain.bodyEnds[holder] ||
        e.dataLength > chain.bodyEnds[holder] - e.dataOffset)
      return bad(L"has data outside its image");
    if (!e.where.refFlag) body.SeekAbsolute(e.dataOffset + e.dataLength);
    if (e.record.kind == kKindDirectory) open.push_back(at);
    if (e.record.kind == kKindHardLink) index.linkTargets.insert(e.text);
    if (e.record.kind == kKindFile) {
      const uint64_t size = e.record.findData.Size();
      index.fileBytes = size > static_cast<uint64_t>(INT64_MAX - index.fileBytes)
                            ? INT64_MAX
                            : index.fileBytes + static_cast<int64_t>(size);
    }
    ++index.entries;
  }
  while (!open.empty()) {
    index.subtreeEnds[open.back()] = {end, body.GetPosition()};
    open.pop_back();
  }
  return true;
}

WalkOutcome WalkForUpdate(UpdateMode mode, const std::wstring& source, const UpdateChain& chain,
                          const TableIndex& index, CompareSource& fs, FileStream& header, FileStream& body) {
  Walk walk(mode, chain, index, fs, header, body);
  return walk.Run(source);
}

}  // namespace orva
