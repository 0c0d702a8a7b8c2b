#include "core/restore_walk.h"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <vector>

#include "core/inflate_pool.h"
#include "core/output.h"
#include "core/progress.h"
#include "core/restore_queues.h"
#include "core/run_log.h"
#include "core/wide.h"

namespace orva {

namespace {

constexpr uint32_t kBlock = kInflateBlock;
constexpr int32_t kErrorFileNotFound = 2;
constexpr int32_t kErrorPathNotFound = 3;
constexpr int32_t kErrorFileExists = 80;
constexpr int32_t kErrorAlreadyExists = 183;

std::wstring Text(int32_t code) { return SystemErrorText(code); }

void CountFileAttributeFailure(const std::wstring& path, const wchar_t* reason, const std::wstring& text) {
  ++Counters().fileAttrSkipped;
  Lists().fileAttributes.push_back({path, text, reason});
}

// Output held ahead of the writer, and how far the table is read ahead.
constexpr size_t kInflateBudget = 16u << 20;
constexpr size_t kMaxAhead = 512;

// Says nothing: the table is read ahead quietly, and an entry that fails
// there is read again in its turn, where its messages belong.
class QuietSink : public OutputSink {
 public:
  QuietSink() : loud_(Output()) { SetOutputSink(this); }
  ~QuietSink() override { SetOutputSink(&loud_); }
  void Console(const std::wstring&) override {}
  void Log(const std::wstring&) override {}

 private:
  OutputSink& loud_;
};

bool RunPaused() {
  const ProgressState& p = Progress();
  return p.sharing && p.control && *p.control == kControlPause;
}

// A folder being restored. Its path is the walk's path cut to pathLength:
// the paths of the open folders are each other's beginnings.
struct Level {
  int32_t contentDepth;  // depth of the entries it holds
  size_t pathLength;
  FindData fd;
  bool dead;  // not created: its entries are read and dropped
  bool setTimes;
};

class Walk {
 public:
  Walk(const ChainStreams& chain, FileStream& header, FileStream& body, int64_t tableEnd, RestoreFileSystem& fs,
       unsigned inflateWorkers, int32_t version = 4000)
      : chain_(chain),
        header_(header),
        body_(body),
        tableEnd_(tableEnd),
        fs_(fs),
        v3_(version < 4000),
        in_(new uint8_t[kBlock]),
        out_(new uint8_t[kBlock]) {
    if (inflateWorkers == 0) return;
    // Workers read the data through readers of their own; without one for
    // every image the walk inflates as it writes.
    std::vector<FileStream*> streams{&body_};
    for (FileStream* s : chain_.bodies)
      if (s) streams.push_back(s);
    for (FileStream* s : streams) {
      if (readers_.count(s)) continue;
      auto reader = OpenPositionalReader(*s);
      if (!reader) {
        readers_.clear();
        return;
      }
      readers_[s] = std::move(reader);
    }
    workers_ = inflateWorkers;
  }

  RestoreResult Run(const std::wstring& target) {
    OpenRoot(target);
    TavEntry e;
    for (;;) {
      if (!v3_) WaitWhilePaused();
      if (workers_ && !aheadEnded_ && queued_.size() <= kMaxAhead / 2) ReadAhead();
      if (!queued_.empty()) {
        Queued next = std::move(queued_.front());
        queued_.pop_front();
        ticket_ = std::move(next.ticket);
        Handle(next.entry);
        if (ticket_) ahead_->Drop(ticket_);  // the file was not restored
        continue;
      }
      const int64_t at = header_.GetPosition();
      if (at == tableEnd_) break;
      // Every entry moves the table forward, and stays inside it.
      if (!ReadEntry(at, e)) {
        result_.damaged = true;
        result_.damage =
            Fmt(L"the entry at offset %lld of the header table cannot be read", static_cast<long long>(at));
        break;
      }
      if (e.dataLength > INT64_MAX - e.dataOffset) {
        result_.damaged = true;
        result_.damage =
            Fmt(L"the entry at offset %lld of the header table has data beyond any image", static_cast<long long>(at));
        break;
      }
      Handle(e);
      // Inline data is read strictly in table order.
      if (e.data == &body_) body_.SeekAbsolute(e.dataOffset + e.dataLength);
    }
    while (!levels_.empty()) {
      if (!result_.damaged) SayConsole(L"End of header has been reached (1).\n");
      CloseLevel();
    }
    fs_.Settle();
    return result_;
  }

 private:
  struct Queued {
    TavEntry entry;
    InflateAhead::Ticket ticket;  // its data in work, for a file with data
  };

  // Reads entries ahead of the walk and starts inflating their data, as
  // long as they read cleanly; the first that does not is left in place
  // (with the streams where they were) for the walk to read in its turn.
  void ReadAhead() {
    // Refilled in batches, so that idle workers are woken once for many files.
    const size_t window = 16 * workers_;
    if (ahead_ && ahead_->Pending() > 4 * workers_) return;
    const bool pauses = !v3_;
    QuietSink quiet;
    while (queued_.size() < kMaxAhead && (!ahead_ || ahead_->Pending() < window)) {
      const int64_t at = header_.GetPosition();
      const int64_t bodyAt = body_.GetPosition();
      if (at == tableEnd_) {
        aheadEnded_ = true;
        break;
      }
      Queued q;
      TavEntry& e = q.entry;
      if (!ReadEntry(at, e) || e.dataLength > INT64_MAX - e.dataOffset) {
        header_.SeekAbsolute(at);
        body_.SeekAbsolute(bodyAt);
        aheadEnded_ = true;
        break;
      }
      if (e.data == &body_) body_.SeekAbsolute(e.dataOffset + e.dataLength);
      if (e.record.kind == kKindFile && e.dataLength > 0) {
        // The workers start with the first file that has data.
        if (!ahead_) ahead_ = std::make_unique<InflateAhead>(workers_, kInflateBudget);
        q.ticket = ahead_->Start(*readers_.at(e.data), e.dataOffset, e.dataLength,
                                 pauses ? std::function<bool()>(RunPaused) : nullptr);
      }
      queued_.push_back(std::move(q));
    }
    if (ahead_) ahead_->Go();
  }

  // The next entry, read whole (or, through a reference, as far as it
  // reads back), within the table and past where it began.
  bool ReadEntry(int64_t at, TavEntry& e) {
    if (at > tableEnd_) return false;
    int32_t error = 0;
    const bool read = ReadTavEntry(chain_, v3_ ? 3000 : 4000, header_, body_, true, e, error);
    return (read || e.damagedReference) && header_.GetPosition() > at && header_.GetPosition() <= tableEnd_;
  }

  // The image an entry was read from through a reference.
  std::wstring ImageOf(const TavEntry& e) const {
    const int32_t index = e.where.refImageIndex;
    if (index >= 0 && static_cast<size_t>(index) < chain_.paths.size()) return chain_.paths[index];
    return Fmt(L"%d of the increment chain", index);
  }

  void OpenRoot(const std::wstring& target) {
    FindData none{};
    root_ = path_ = target;
    if (target.size() == 2 && target[1] == L':') {
      levels_.push_back({0, target.size(), none, false, false});
      return;
    }
    int32_t err = fs_.MakeDirectory(target);
    if (err == 0) {
      ++Counters().dirsProcessed;
      levels_.push_back({0, target.size(), none, false, false});
      return;
    }
    ReportDirectoryFailure(target, err);
    levels_.push_back({0, target.size(), none, true, false});
  }

  void ReportDirectoryFailure(const std::wstring& path, int32_t err) {
    std::wstring reason;
    if (err == kErrorPathNotFound || err == kErrorFileNotFound) {
      SayConsole(L" Failed to find the path.\n");
      reason = L"Failed to find the path.";
    } else if (err == kErrorAlreadyExists || err == kErrorFileExists) {
      SayConsole(L" Target folder already exists.\n");
      reason = L"Target folder already exists.";
    } else {
      reason = Text(err);
      Say(Fmt(L" Failed to create the directory (%ls). (Error code : %d, %ls)\n", path.c_str(), err, reason.c_str()));
    }
    ++Counters().dirsSkipped;
    Lists().directories.push_back({path, path, reason});
  }

  void DirectoryAttributeFailure(const std::wstring& path, const wchar_t* format, int32_t err) {
    std::wstring text = Text(err);
    Say(Fmt(format, path.c_str(), err, text.c_str()));
    ++Counters().dirAttrSkipped;
    Lists().directoryAttributes.push_back({path, path, text});
  }

  // Times and attributes are set last, once the directory's contents are in
  // place: a read-only folder still takes its files.
  void CloseLevel() {
    const Level level = levels_.back();
    levels_.pop_back();
    if (!level.dead && level.setTimes) DirectoryMetadata(level);
    if (!levels_.empty()) path_.resize(levels_.back().pathLength);
  }

  // path_ is the level's path.
  void DirectoryMetadata(const Level& level) {
    if (v3_) return DirectoryMetadataOneHandle(level);
    bool handleError = false;
    int32_t err = fs_.SetTimes(path_, true, level.fd, handleError);
    if (err)
      DirectoryAttributeFailure(
          path_,
          handleError ? L"  Failed to retrieve the directory's handle (%ls). Cannot change the "
                        L"directory's time attribute. (Error code : %d, %ls)\n"
                      : L"  Failed to change the directory's time attribute (%ls). (Error code : %d, %ls)\n",
          err);
    err = fs_.SetAttributes(path_, level.fd.attributes);
    if (err)
      DirectoryAttributeFailure(path_, L"  Failed to change the directory attribute (%ls). (Warning code : %d, %ls)\n",
                                err);
  }

  void DirectoryMetadataOneHandle(const Level& level) {
    RestoreFileSystem::MetadataStep step = RestoreFileSystem::kOpenStep;
    const int32_t err = fs_.SetDirectoryMetadata(path_, level.fd, step);
    if (err == 0) return;
    DirectoryAttributeFailure(
        path_,
        step == RestoreFileSystem::kOpenStep
            ? L"  Failed to retrieve the directory's handle (%ls). Cannot change the directory's attribute. "
              L"(Error code : %d, %ls)\n"
        : step == RestoreFileSystem::kTimesStep
            ? L"  Failed to change the directory's time attribute (%ls). (Error code : %d, %ls)\n"
            : L"  Failed to change the directory attribute (%ls). (Warning code : %d, %ls)\n",
        err);
  }

  void Handle(TavEntry& e) {
    const int32_t depth = e.record.depth;
    while (levels_.size() > 1 && depth < levels_.back().contentDepth) CloseLevel();
    Level& level = levels_.back();
    const bool isDirectory = e.record.kind == kKindDirectory;
    const std::wstring name = e.record.findData.Name();
    const std::wstring path = path_ + L"\\" + name;
    if (level.dead && depth >= level.contentDepth) {
      if (isDirectory) PushLevel(depth, path, e.record.findData, true, false);
      return;
    }
    if (depth != level.contentDepth) {
      Say(Fmt(L"  Header file may be collapsed. (current level = %d, header level = %d)\n", level.contentDepth, depth));
      SkipEntry(e, path, L"Entry out of its folder.", depth > level.contentDepth);
      return;
    }
    if (e.damagedReference) {
      Say(Fmt(L"  The entry of %ls in the image %ls is not the one its reference records: skipped.\n", path.c_str(),
              ImageOf(e).c_str()));
      SkipEntry(e, path, L"Damaged entry.", true);
      return;
    }
    if (!IsSafeName(name)) {
      Say(Fmt(L"  Invalid name in the image: skipped (%ls).\n", path.c_str()));
      SkipEntry(e, path, L"Invalid name.", true);
      return;
    }
    switch (e.record.kind) {
      case kKindHardLink:
        return HardLink(e, path);
      case kKindFileSymlink:
      case kKindDirSymlink:
        return SymbolicLink(e, path);
      case kKindJunction:
        return Junction(e, path);
      case kKindUnknownLink:
        return UnknownLink(e, path);
      case kKindDirectory:
        return Directory(e, path, depth);
      default:
        return File(e, path, name);
    }
  }

  // The level of a folder whose entry lies at depth. Its entries lie one
  // deeper; at the greatest depth it can hold none, and later entries are
  // handled where they stand instead of disappearing into it. The folder
  // lies in the folder on top.
  void PushLevel(int32_t depth, const std::wstring& path, const FindData& fd, bool dead, bool setTimes) {
    path_ = path;
    if (depth == INT32_MAX) {
      levels_.push_back({depth, path.size(), fd, dead, setTimes});
      CloseLevel();
      return;
    }
    levels_.push_back({depth + 1, path.size(), fd, dead, setTimes});
  }

  // An entry that is not restored; a directory takes its subtree with it.
  void SkipEntry(const TavEntry& e, const std::wstring& path, const std::wstring& reason, bool withSubtree) {
    if (e.record.kind == kKindDirectory) {
      ++Counters().dirsSkipped;
      Lists().directories.push_back({path, path, reason});
      if (withSubtree) PushLevel(e.record.depth, path, e.record.findData, true, false);
    } else {
      ++Counters().filesSkipped;
      Lists().files.push_back({path, L"", reason});
    }
  }

  void HardLink(const TavEntry& e, const std::wstring& path) {
    const std::wstring existing = root_ + e.text;
    if (!IsSafeRelativePath(e.text)) {
      Say(
          Fmt(L"  Failed to create a hard link for the file (%ls) to the target file (%ls). (The target lies "
              L"outside the restore folder.)\n",
              e.record.findData.Name().c_str(), existing.c_str()));
      ++Counters().hardLinksSkipped;
      Lists().hardLinks.push_back({path, existing, L"The target lies outside the restore folder."});
      return;
    }
    int32_t err = fs_.MakeHardLink(path, existing);
    if (err == 0) {
      ++Counters().hardLinksProcessed;
      if (e.hasSecurity && !fs_.ApplySecurityDescriptor(path, e.security)) ++Counters().securitySkipped;
      return;
    }
    std::wstring text = Text(err);
    Say(Fmt(L"  Failed to create a hard link for the file (%ls) to the target file (%ls). (Error code : %d, %ls)\n",
            e.record.findData.Name().c_str(), existing.c_str(), err, text.c_str()));
    ++Counters().hardLinksSkipped;
    Lists().hardLinks.push_back({path, existing, text});
    ++Counters().securitySkipped;
  }

  void SymbolicLink(const TavEntry& e, const std::wstring& path) {
    const bool fileLink = e.record.kind == kKindFileSymlink;
    if (e.text.empty()) {
      if (fileLink) {
        Say(Fmt(L"  Target file size is zero for the symbolic link file %ls.\n", path.c_str()));
        ++Counters().fileLinksSkipped;
        Lists().fileLinks.push_back({path, L"Not given.", L"Target path is not given."});
      } else {
        int32_t err = static_cast<int32_t>(LastSystemError());
        Say(Fmt(L"  Target directory does not exist for the symbolic link directory %ls. (Error code : %d, %ls)\n",
                path.c_str(), err, Text(err).c_str()));
        ++Counters().dirLinksSkipped;
        Lists().directoryLinks.push_back({path, L"Not given.", L"Target path is not given."});
      }
      ++Counters().securitySkipped;
      return;
    }
    CTavSymbolicLink link;
    link.path = path;
    link.target = e.text;
    std::copy(e.head, e.head + 24, link.reparseHead);
    link.sec.noSecurity = e.hasSecurity ? 0 : 1;
    link.sec.security = e.security;
    (fileLink ? Queues().fileLinks : Queues().directoryLinks).push_back(std::move(link));
  }

  void Junction(const TavEntry& e, const std::wstring& path) {
    const std::wstring target = MountText(e.units);
    if (e.units.empty()) {
      int32_t err = static_cast<int32_t>(LastSystemError());
      Say(Fmt(L"  The junction's target does not specified in the header file (%ls). (Error code : %d, %ls)\n",
              path.c_str(), err, Text(err).c_str()));
      ++Counters().junctionsSkipped;
      Lists().junctions.push_back({path, L"Not given.", L"Target path is not given."});
      ++Counters().securitySkipped;
      return;
    }
    int32_t err = fs_.MakeDirectory(path);
    if (err != 0) {
      std::wstring message = Fmt(L"  Failed to create the junction directory (%ls). (Error code : %d, %ls)\n",
                                 path.c_str(), err, Text(err).c_str());
      Say(message);
      ++Counters().junctionsSkipped;
      Lists().junctions.push_back({path, target, message});
      ++Counters().securitySkipped;
      return;
    }
    err = fs_.SetAttributes(path, e.record.findData.attributes);
    if (err)
      Say(Fmt(L"  Failed to change the junction directory's attribute (%ls). (Error code : %d, %ls)\n", path.c_str(),
              err, Text(err).c_str()));
    CTavJunction j;
    j.path = path;
    j.target = target;
    j.findData = e.record.findData;
    j.sec.noSecurity = e.hasSecurity ? 0 : 1;
    j.sec.security = e.security;
    Queues().junctions.push_back(std::move(j));
  }

  void UnknownLink(const TavEntry& e, const std::wstring& path) {
    ++Counters().unknownSkipped;
    if (e.units.empty()) Say(Fmt(L"  The unknown link's target directory does not exist (%ls).\n", path.c_str()));
    Say(Fmt(L"  Skipped the unknown link's processing (%ls).\n", path.c_str()));
  }

  void Directory(const TavEntry& e, const std::wstring& path, int32_t depth) {
    int32_t err = fs_.MakeDirectory(path);
    if (err != 0) {
      ReportDirectoryFailure(path, err);
      PushLevel(depth, path, e.record.findData, true, false);
      return;
    }
    ++Counters().dirsProcessed;
    err = v3_ ? 0 : fs_.SetShortName(path, true, e.record.findData);
    if (err)
      DirectoryAttributeFailure(path,
                                L"  Failed to retrieve the directory's handle (%ls). Cannot change the "
                                L"directory's short name attribute. (Error code : %d, %ls)\n",
                                err);
    // Format 3000 applies a directory's security even when none was stored.
    if (e.hasSecurity || v3_) fs_.ApplyEntrySecurity(path, e.security);
    PushLevel(depth, path, e.record.findData, false, true);
  }

  void FileSkipped(const std::wstring& path, const std::wstring& reason, const std::wstring& detail) {
    ++Counters().filesSkipped;
    Lists().files.push_back({path, detail, reason});
  }

  // Inflates the stored stream into the open output file. True when the
  // stream reached its end within the stored length.
  bool Inflate(const TavEntry& e, const std::wstring& path) {
    InflateOutcome r;
    int32_t err = 0;
    auto write = [&](const uint8_t* data, uint32_t size) {
      err = fs_.Write(data, size);
      return err == 0;
    };
    if (ticket_) {
      r = ahead_->Take(
          ticket_,
          [&](const uint8_t* data, uint32_t size) {
            if (!v3_) WaitWhilePaused();
            return write(data, size);
          },
          v3_ ? std::function<void()>() : std::function<void()>(WaitWhilePaused));
    } else {
      r = InflateData(
          e.dataLength, in_.get(), out_.get(),
          [&](uint8_t* buffer, uint32_t size) { return e.data->Read(buffer, size); },
          [&](const uint8_t* data, uint32_t size, bool) { return write(data, size); },
          v3_ ? InflatePollFn() : InflatePollFn([] {
            WaitWhilePaused();
            return true;
          }));
    }
    switch (r.failure) {
      case InflateFailure::kNone:
        return true;
      case InflateFailure::kWrite:
        // One report per file: the rest of its data is not written.
        WriteFailed(path, err, r.wholeBlock);
        return false;
      case InflateFailure::kInit:
        Say(Fmt(L"  Zip error : Cannot initialize deflateInit(). Skipped %ls file extraction.\n", path.c_str()));
        FileSkipped(path, L"Error in inflateInit().", L"Not Z_OK error");
        return false;
      case InflateFailure::kStream:
        Say(Fmt(L"  Zip error : There was Z_STREAM_ERROR. Skipped %ls file extraction.\n", path.c_str()));
        FileSkipped(path, L"Error in inflate().", L"Z_STREAM_ERROR");
        return false;
      case InflateFailure::kData:
        Say(r.wholeBlock ? std::wstring(L"  Zip error : Error in inflate().\n")
                         : Fmt(L"  Zip error : Error in inflate() for the file %ls. (Z_MEM_ERROR)\n", path.c_str()));
        FileSkipped(path, L"Error in inflate().", L"Z_MEM_ERROR");
        return false;
      case InflateFailure::kLeftOver:
        Say(Fmt(L"  Zip error : The stream of %ls ends before its stored data. Skipped the file extraction.\n",
                path.c_str()));
        FileSkipped(path, L"Error in inflate().", L"Z_STREAM_END");
        return false;
      default:
        Say(Fmt(L"  Zip error : The stored data of %ls ends before its stream. Skipped the file extraction.\n",
                path.c_str()));
        FileSkipped(path, L"Error in inflate().", L"Z_BUF_ERROR");
        return false;
    }
  }

  void WriteFailed(const std::wstring& path, int32_t err, bool wholeBlock) {
    if (v3_) {
      const std::wstring text = Text(err);
      Say(Fmt(L"  Failed to write data to the file %ls. (Error code : %d, %ls)\n", path.c_str(), err, text.c_str()));
      FileSkipped(path, L"Faild to write file content.", text);
      return;
    }
    Say(Fmt(L"  File writing error for %ls (%ls).\n", path.c_str(),
            FileExceptionTextWithCode(FileExceptionCause(err), err).c_str()));
    FileSkipped(path, wholeBlock ? L"Error in inflate()." : L"Error in writing.", L"File exception");
  }

  void File(const TavEntry& e, const std::wstring& path, const std::wstring& name) {
    int32_t err = fs_.MakeFile(path);
    if (err) {
      std::wstring text = Text(err);
      SayLog(Fmt(L"  Failed to create the new file (%ls). (Error code : %d, %ls)\n", path.c_str(), err, text.c_str()));
      ++Counters().filesSkipped;
      Lists().files.push_back({path, text, L"File open error."});
      return;
    }
    bool ok = e.dataLength == 0 || Inflate(e, path);
    err = fs_.CloseFile();
    if (ok && err) {
      WriteFailed(path, err, false);
      ok = false;
    }
    ProgressStep(e.dataLength, name);
    if (!ok) {
      fs_.RemoveFile(path);  // a half-restored file is not left as if it were whole
      return;
    }
    ++Counters().filesProcessed;
    const FindData& fd = e.record.findData;
    bool handleError = false;
    err = fs_.SetTimes(path, false, fd, handleError);
    if (err) {
      std::wstring text = Text(err);
      if (handleError) {
        Say(Fmt(L"  Failed to retrieve the file handle for the file %ls. (Error code : %d, %ls)\n", path.c_str(), err,
                text.c_str()));
        CountFileAttributeFailure(path, L"Faild to retrieve the file handle.", text);
      } else {
        SayConsole(
            Fmt(L"  Failed to change the file time %ls. (Error code : %d, %ls)\n", path.c_str(), err, text.c_str()));
        CountFileAttributeFailure(path, L"Time attribute writing error.", text);
      }
    }
    err = v3_ ? 0 : fs_.SetShortName(path, false, fd);
    if (err) {
      std::wstring text = Text(err);
      Say(
          Fmt(L"  Failed to retrieve the file handle for the file %ls. Cannot change short name attribute. (Error "
              L"code : %d, %ls)\n",
              path.c_str(), err, text.c_str()));
      CountFileAttributeFailure(path, L"Faild to retrieve the file handle to change short name.", text);
    }
    // Security before the attributes: where permissions stand for the
    // read-only attribute, applying them must not undo it.
    fs_.FinishFile(path, e.hasSecurity ? &e.security : nullptr, fd.attributes, [path](int32_t error) {
      if (!error) return;
      std::wstring text = Text(error);
      Say(Fmt(L"  Failed to change the file attribute (%ls). (Error code : %d, %ls)\n", path.c_str(), error,
              text.c_str()));
      CountFileAttributeFailure(path, L"Attribute writing error.", text);
    });
  }

  const ChainStreams& chain_;
  FileStream& header_;
  FileStream& body_;
  const int64_t tableEnd_;
  RestoreFileSystem& fs_;
  const bool v3_;  // format 3000
  std::unique_ptr<uint8_t[]> in_, out_;
  std::vector<Level> levels_;
  std::wstring path_;  // of the folder on top
  std::wstring root_;  // the target folder
  RestoreResult result_;
  std::map<FileStream*, std::unique_ptr<PositionalReader>> readers_;
  unsigned workers_ = 0;  // 0: inflate as the data is written
  std::unique_ptr<InflateAhead> ahead_;
  std::deque<Queued> queued_;
  bool aheadEnded_ = false;      // the table is read ahead to its end or to an entry that fails
  InflateAhead::Ticket ticket_;  // the data of the entry in hand
};

}  // namespace

void RestoreFileSystem::FinishFile(const std::wstring& path, const SecurityBlock* sec, uint32_t attributes,
                                   std::function<void(int32_t error)> done) {
  if (sec) ApplyEntrySecurity(path, *sec);
  done(SetAttributes(path, attributes));
}

int32_t RestoreFileSystem::SetDirectoryMetadata(const std::wstring& path, const FindData& fd,
                                                MetadataStep& failedStep) {
  bool handleError = false;
  int32_t err = SetTimes(path, true, fd, handleError);
  if (err) {
    failedStep = handleError ? kOpenStep : kTimesStep;
    return err;
  }
  failedStep = kAttributesStep;
  return SetAttributes(path, fd.attributes);
}

// None: under Wine the writer's system calls dominate a restore, and the
// thread hand-offs of inflating ahead cost it more than the inflating they
// take off it (measured on a busy 8-core machine). Callers may still ask.
unsigned DefaultInflateWorkers() { return 0; }

bool IsSafeName(const std::wstring& name) {
  if (name.empty() || name == L"." || name == L"..") return false;
  for (wchar_t c : name)
    if (c == L'\\' || c == L'/' || c == L':' || c < 0x20) return false;
  return true;
}

bool IsSafeRelativePath(const std::wstring& path) {
  if (path.size() < 2 || path[0] != L'\\') return false;
  size_t start = 1;
  for (;;) {
    size_t end = path.find(L'\\', start);
    if (!IsSafeName(path.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start))) return false;
    if (end == std::wstring::npos) return true;
    start = end + 1;
  }
}

RestoreQueues& Queues() {
  static RestoreQueues queues;
  return queues;
}

RestoreResult RestoreImageV4(const ChainStreams& chain, FileStream& header, FileStream& body, int64_t tableEnd,
                             const std::wstring& target, RestoreFileSystem& fs, unsigned inflateWorkers) {
  Walk walk(chain, header, body, tableEnd, fs, inflateWorkers);
  return walk.Run(target);
}

RestoreResult RestoreImageV3(FileStream& header, FileStream& body, int64_t tableEnd, const std::wstring& target,
                             RestoreFileSystem& fs, unsigned inflateWorkers) {
  const ChainStreams none;
  Walk walk(none, header, body, tableEnd, fs, inflateWorkers, 3000);
  return walk.Run(target);
}

}  // namespace orva
