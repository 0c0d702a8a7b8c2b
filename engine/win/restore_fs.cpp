// The restore's file system on Windows.
#include "win/restore_fs.h"

#include <windows.h>

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

// A file's handle stays open after its data is written, so that its times,
// security and attributes go through the handle that made it. Any call on
// another object closes it first.
class WindowsRestoreFileSystem : public RestoreFileSystem {
 public:
  ~WindowsRestoreFileSystem() override {
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
    Release();
  }

  int32_t MakeDirectory(const std::wstring& path) override {
    Release();
    return CreateDirectoryW(SystemPath(path).c_str(), nullptr) ? 0 : LastError();
  }

  // The file is made with the rights to set its security too; where they
  // are refused, the rest of the run makes files without them and sets
  // security by name.
  int32_t MakeFile(const std::wstring& path) override {
    Release();
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
    Release();
    DeleteFileW(SystemPath(path).c_str());
  }

  int32_t MakeHardLink(const std::wstring& link, const std::wstring& existing) override {
    Release();
    return CreateHardLinkW(SystemPath(link).c_str(), SystemPath(existing).c_str(), nullptr) ? 0 : LastError();
  }

  int32_t SetTimes(const std::wstring& path, bool directory, const FindData& fd, bool& handleError) override {
    HANDLE h = Kept(path);
    if (h == INVALID_HANDLE_VALUE) {
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
      h = CreateFileW(SystemPath(path).c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
      if (h == INVALID_HANDLE_VALUE) return LastError();
    }
    FILE_BASIC_INFO info{};  // zero times stay unchanged
    info.FileAttributes = attributes & kSettable;
    if (info.FileAttributes == 0) info.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    int32_t err = SetFileInformationByHandle(h, FileBasicInfo, &info, sizeof info) ? 0 : LastError();
    if (own)
      CloseHandle(h);
    else
      Release();
    return err;
  }

  int32_t SetDirectoryMetadata(const std::wstring& path, const FindData& fd, MetadataStep& failedStep) override {
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
      FILE_BASIC_INFO info{};  // zero times stay as just set
      info.FileAttributes = fd.attributes & kSettable;
      if (info.FileAttributes == 0) info.FileAttributes = FILE_ATTRIBUTE_NORMAL;
      err = SetFileInformationByHandle(h, FileBasicInfo, &info, sizeof info) ? 0 : LastError();
    }
    CloseHandle(h);
    return err;
  }

  void ApplyEntrySecurity(const std::wstring& path, const SecurityBlock& sec) override {
    if (path != keptPath_) Release();
    orva::ApplyEntrySecurity(path, sec, keptSecurable_ ? kept_ : nullptr);
  }

  bool ApplySecurityDescriptor(const std::wstring& path, const SecurityBlock& sec) override {
    Release();
    return orva::ApplySecurityDescriptor(path, sec);
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
  bool fileSecurable_ = false;  // file_ may set its own security
  HANDLE kept_ = INVALID_HANDLE_VALUE;  // the last object's, for its metadata
  std::wstring keptPath_;
  bool keptSecurable_ = false;
  bool securityRefused_ = false;  // the system refused files made with those rights
};

}  // namespace

std::unique_ptr<RestoreFileSystem> MakeWindowsRestoreFileSystem() {
  return std::make_unique<WindowsRestoreFileSystem>();
}

}  // namespace orva
