// The restore's file system on Windows.
#include "win/restore_fs.h"

#include <windows.h>

#include <deque>
#include <functional>
#include <memory>
#include <thread>

#include "core/output.h"
#include "core/platform.h"
#include "core/sync.h"
#include "orva_platform.h"
#include "win/capture.h"
#include "win/link_restore.h"

namespace orva {

namespace {

int32_t LastError() { return static_cast<int32_t>(GetLastError()); }

constexpr DWORD kSettable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                            FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED | FILE_ATTRIBUTE_OFFLINE |
                            FILE_ATTRIBUTE_TEMPORARY;

FILETIME Ft(const orva::FileTime& t) { return FILETIME{t.low, t.high}; }

// Attributes as set through a handle; zero times stay unchanged.
FILE_BASIC_INFO BasicInfo(uint32_t attributes) {
  FILE_BASIC_INFO info{};
  info.FileAttributes = attributes & kSettable;
  if (info.FileAttributes == 0) info.FileAttributes = FILE_ATTRIBUTE_NORMAL;
  return info;
}

// The last steps of restored files (security through the file's own handle,
// attributes, closing it) on a thread of their own while the walk makes the
// next files: under Wine they are most of a file's requests to the server,
// and the walk need not wait for them. What they report is handed back in
// order on the walk's thread, when a message is said or Settle is called;
// what the thread throws, when the walk next hands it a file or calls Check.
class FileFinisher {
 public:
  struct Job {
    HANDLE handle = INVALID_HANDLE_VALUE;
    bool secure = false;
    PreparedSecurity security;
    FILE_BASIC_INFO info{};
    std::wstring path;
    std::function<void(int32_t)> done;
    uint32_t securityError = 0;
    int32_t attributesError = 0;
    bool finished = false;
  };

  FileFinisher() : thread_([this] { Run(); }) {}
  ~FileFinisher() {
    Settle();
    {
      std::lock_guard<Mutex> lock(m_);
      stop_ = true;
    }
    cv_.notify_all();
    thread_.join();
  }

  void Add(std::unique_ptr<Job> job) {
    if (Count() >= kMaxJobs) ReportOldest();
    {
      std::lock_guard<Mutex> lock(m_);
      jobs_.push_back(std::move(job));
    }
    cv_.notify_all();
    Check();
  }

  // Waits for every job and reports each in turn.
  void Settle() {
    if (reporting_) return;  // a report's own message
    while (Count()) ReportOldest();
  }

  void Check() { failure_.Rethrow(); }

  bool Pending(const std::wstring& path) {
    std::lock_guard<Mutex> lock(m_);
    for (const auto& job : jobs_)
      if (CompareStringOrdinal(job->path.c_str(), -1, path.c_str(), -1, TRUE) == CSTR_EQUAL) return true;
    return false;
  }

 private:
  static constexpr size_t kMaxJobs = 32;

  size_t Count() {
    std::lock_guard<Mutex> lock(m_);
    return jobs_.size();
  }

  // Its messages may not let later jobs report first.
  void ReportOldest() {
    std::unique_ptr<Job> job;
    {
      std::unique_lock<Mutex> lock(m_);
      cv_.wait(lock, [&] { return jobs_.front()->finished; });
      job = std::move(jobs_.front());
      jobs_.pop_front();
      --next_;
    }
    struct Reporting {
      explicit Reporting(bool& flag) : flag_(flag) { flag_ = true; }
      ~Reporting() { flag_ = false; }
      bool& flag_;
    } reporting(reporting_);
    if (job->secure && job->securityError) ReportEntrySecurityFailure(job->path, job->securityError);
    job->done(job->attributesError);
  }

  void Run() {
    std::unique_lock<Mutex> lock(m_);
    for (;;) {
      cv_.wait(lock, [&] { return stop_ || next_ < jobs_.size(); });
      if (next_ == jobs_.size()) return;
      Job& job = *jobs_[next_];
      lock.unlock();
      failure_.Run([&] {
        if (job.secure) job.securityError = SetPreparedSecurity(job.handle, job.security);
        job.attributesError =
            SetFileInformationByHandle(job.handle, FileBasicInfo, &job.info, sizeof job.info) ? 0 : LastError();
      });
      CloseHandle(job.handle);
      lock.lock();
      job.finished = true;
      ++next_;
      cv_.notify_all();
    }
  }

  Mutex m_;
  CondVar cv_;
  std::deque<std::unique_ptr<Job>> jobs_;  // not yet reported, oldest first
  size_t next_ = 0;                        // the first not yet done
  bool stop_ = false;
  bool reporting_ = false;
  WorkerFailure failure_;
  std::thread thread_;
};

// A file's handle stays open after its data is written, so that its times,
// security and attributes go through the handle that made it; the last two
// are finished behind the walk. Any call on another object closes it first,
// and any but the making of another file lets the finishing catch up.
class WindowsRestoreFileSystem : public RestoreFileSystem {
 public:
  WindowsRestoreFileSystem() {
    SetOutputCatchUp([this] { finisher_.Settle(); });
  }
  ~WindowsRestoreFileSystem() override {
    SetOutputCatchUp(nullptr);
    finisher_.Settle();
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
    Release();
  }

  int32_t MakeDirectory(const std::wstring& path) override {
    Settle();
    Release();
    return CreateDirectoryW(SystemPath(path).c_str(), nullptr) ? 0 : LastError();
  }

  // The file is made with the rights to set its security too; where they
  // are refused, the rest of the run makes files without them and sets
  // security by name.
  int32_t MakeFile(const std::wstring& path) override {
    Release();
    if (finisher_.Pending(path)) Settle();  // the same name again: the first one finished as before
    const std::wstring systemPath = SystemPath(path);
    fileSecurable_ = !securityRefused_;
    file_ = Create(systemPath, fileSecurable_);
    if (file_ == INVALID_HANDLE_VALUE && fileSecurable_) {
      const DWORD refusal = GetLastError();
      if (refusal == ERROR_ACCESS_DENIED || refusal == ERROR_PRIVILEGE_NOT_HELD) {
        fileSecurable_ = false;
        file_ = Create(systemPath, false);
        securityRefused_ = file_ != INVALID_HANDLE_VALUE;
      }
    }
    if (file_ == INVALID_HANDLE_VALUE) return LastError();
    filePath_ = path;
    return 0;
  }

  int32_t Write(const void* data, uint32_t size) override {
    DWORD written = 0;
    if (!WriteFile(file_, data, size, &written, nullptr)) return LastError();
    return written == size ? 0 : ERROR_DISK_FULL;
  }

  int32_t CloseFile() override {
    if (file_ == INVALID_HANDLE_VALUE) return 0;
    kept_ = file_;
    keptPath_ = filePath_;
    keptSecurable_ = fileSecurable_;
    file_ = INVALID_HANDLE_VALUE;
    return 0;
  }

  void RemoveFile(const std::wstring& path) override {
    Settle();
    Release();
    RemoveFileByName(path);
  }

  int32_t MakeHardLink(const std::wstring& link, const std::wstring& existing) override {
    Settle();
    Release();
    return CreateHardLinkW(SystemPath(link).c_str(), SystemPath(existing).c_str(), nullptr) ? 0 : LastError();
  }

  int32_t SetTimes(const std::wstring& path, bool directory, const FindData& fd, bool& handleError) override {
    HANDLE h = Kept(path);
    if (h == INVALID_HANDLE_VALUE) {
      Settle();
      h = CreateFileW(SystemPath(path).c_str(), FILE_WRITE_ATTRIBUTES,
                      directory ? 0 : FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                      directory ? FILE_FLAG_BACKUP_SEMANTICS : FILE_ATTRIBUTE_NORMAL, nullptr);
      if (h == INVALID_HANDLE_VALUE) {
        handleError = true;
        return LastError();
      }
      kept_ = h;  // the attributes follow through it
      keptPath_ = path;
      keptSecurable_ = false;
    }
    handleError = false;
    FILETIME c = Ft(fd.creationTime), a = Ft(fd.lastAccessTime), w = Ft(fd.lastWriteTime);
    return SetFileTime(h, &c, &a, &w) ? 0 : LastError();
  }

  int32_t SetShortName(const std::wstring& path, bool, const FindData& fd) override {
    const std::wstring alt = fd.AlternateName();
    const std::wstring name = fd.Name();
    if (alt.empty() || alt == name || LooksUnicode(alt) || LooksUnicode(name)) return 0;
    Settle();
    Release();  // the short name wants the object to itself
    HANDLE h = CreateFileW(SystemPath(path).c_str(), GENERIC_WRITE | DELETE, 0, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return LastError();
    DWORD ignored = 0;
    platform::SetShortName(h, alt, ignored);  // a refusal leaves the system's own short name
    CloseHandle(h);
    return 0;
  }

  // Through a handle opened before the security was applied (the kept one or
  // a backup-semantics one), so that the security does not stand in the way.
  int32_t SetAttributes(const std::wstring& path, uint32_t attributes) override {
    HANDLE h = Kept(path);
    const bool own = h == INVALID_HANDLE_VALUE;
    if (own) {
      Settle();
      h = CreateFileW(SystemPath(path).c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
      if (h == INVALID_HANDLE_VALUE) return LastError();
    }
    FILE_BASIC_INFO info = BasicInfo(attributes);
    int32_t err = SetFileInformationByHandle(h, FileBasicInfo, &info, sizeof info) ? 0 : LastError();
    if (own)
      CloseHandle(h);
    else
      Release();
    return err;
  }

  int32_t SetDirectoryMetadata(const std::wstring& path, const FindData& fd, MetadataStep& failedStep) override {
    Settle();
    Release();
    failedStep = kOpenStep;
    HANDLE h = CreateFileW(SystemPath(path).c_str(), GENERIC_READ | FILE_WRITE_ATTRIBUTES,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return LastError();
    failedStep = kTimesStep;
    FILETIME c = Ft(fd.creationTime), a = Ft(fd.lastAccessTime), w = Ft(fd.lastWriteTime);
    int32_t err = SetFileTime(h, &c, &a, &w) ? 0 : LastError();
    if (err == 0) {
      failedStep = kAttributesStep;
      FILE_BASIC_INFO info = BasicInfo(fd.attributes);
      err = SetFileInformationByHandle(h, FileBasicInfo, &info, sizeof info) ? 0 : LastError();
    }
    CloseHandle(h);
    return err;
  }

  void ApplyEntrySecurity(const std::wstring& path, const SecurityBlock& sec) override {
    Settle();
    if (path != keptPath_) Release();
    orva::ApplyEntrySecurity(path, sec);
  }

  bool ApplySecurityDescriptor(const std::wstring& path, const SecurityBlock& sec) override {
    Settle();
    Release();
    return orva::ApplySecurityDescriptor(path, sec);
  }

  // Through the kept handle, behind the walk, when it is this file's and
  // can take the security; otherwise here and now.
  void FinishFile(const std::wstring& path, const SecurityBlock* sec, uint32_t attributes,
                  std::function<void(int32_t error)> done) override {
    auto job = std::make_unique<FileFinisher::Job>();
    const bool kept = kept_ != INVALID_HANDLE_VALUE && path == keptPath_;
    if (!kept || (sec && (!keptSecurable_ || !PrepareEntrySecurity(*sec, job->security)))) {
      RestoreFileSystem::FinishFile(path, sec, attributes, std::move(done));
      return;
    }
    job->handle = kept_;
    job->secure = sec != nullptr;
    job->info = BasicInfo(attributes);
    job->path = path;
    job->done = std::move(done);
    kept_ = INVALID_HANDLE_VALUE;  // the job closes it
    Release();
    finisher_.Add(std::move(job));
  }

  void Settle() override {
    finisher_.Settle();
    finisher_.Check();
  }

 private:
  static bool LooksUnicode(const std::wstring& s) {
    INT tests = 0xFF;
    return IsTextUnicode(s.c_str(), lstrlenW(s.c_str()), &tests) != FALSE;
  }

  // The kept handle when it belongs to path.
  HANDLE Kept(const std::wstring& path) {
    if (kept_ != INVALID_HANDLE_VALUE && path == keptPath_) return kept_;
    Release();
    return INVALID_HANDLE_VALUE;
  }

  static HANDLE Create(const std::wstring& systemPath, bool securable) {
    DWORD access = GENERIC_WRITE | FILE_WRITE_ATTRIBUTES;
    if (securable) access |= READ_CONTROL | WRITE_DAC | WRITE_OWNER;
    return CreateFileW(systemPath.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  }

  void Release() {
    if (kept_ != INVALID_HANDLE_VALUE) CloseHandle(kept_);
    kept_ = INVALID_HANDLE_VALUE;
    keptPath_.clear();
    keptSecurable_ = false;
  }

  HANDLE file_ = INVALID_HANDLE_VALUE;  // the file being written
  std::wstring filePath_;
  bool fileSecurable_ = false;          // file_ may set its own security
  HANDLE kept_ = INVALID_HANDLE_VALUE;  // the last object's, for its metadata
  std::wstring keptPath_;
  bool keptSecurable_ = false;
  bool securityRefused_ = false;  // the system refused files made with those rights
  FileFinisher finisher_;
};

}  // namespace

std::unique_ptr<RestoreFileSystem> MakeWindowsRestoreFileSystem() {
  return std::make_unique<WindowsRestoreFileSystem>();
}

}  // namespace orva
