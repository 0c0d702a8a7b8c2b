// An in-memory file system for the restore walk: tests and fuzzing.
#pragma once
#include <map>
#include <set>
#include <string>
#include <vector>

#include "core/restore_walk.h"

namespace orva::test {

class MemoryFileSystem : public RestoreFileSystem {
 public:
  std::map<std::wstring, std::string> files;
  std::set<std::wstring> directories;
  std::map<std::wstring, std::wstring> hardLinks;  // link -> existing
  std::map<std::wstring, uint64_t> writeTimes;
  std::set<std::wstring> failDirectories;             // MakeDirectory refuses these
  size_t diskLeft = static_cast<size_t>(-1);          // bytes before the disk is full
  std::vector<std::wstring> timeOrder;                // paths in the order their times were set
  std::vector<std::wstring> shortNames;               // paths given a short name
  std::vector<std::wstring> secured;                  // paths given their entry's security
  std::map<std::wstring, MetadataStep> failMetadata;  // SetDirectoryMetadata fails there
  std::vector<std::wstring> oneHandleMetadata;        // directories done through one handle

  int32_t MakeDirectory(const std::wstring& path) override {
    if (failDirectories.count(path)) return 5;
    if (directories.count(path) || files.count(path)) return 183;
    if (!ParentExists(path)) return 3;
    directories.insert(path);
    return 0;
  }
  int32_t MakeFile(const std::wstring& path) override {
    if (!ParentExists(path) || directories.count(path)) return 3;
    files[path].clear();
    open_ = path;
    return 0;
  }
  int32_t Write(const void* data, uint32_t size) override {
    if (size > diskLeft) return 112;
    diskLeft -= size;
    files[open_].append(static_cast<const char*>(data), size);
    return 0;
  }
  int32_t CloseFile() override {
    open_.clear();
    return 0;
  }
  void RemoveFile(const std::wstring& path) override { files.erase(path); }
  int32_t MakeHardLink(const std::wstring& link, const std::wstring& existing) override {
    if (!files.count(existing)) return 2;
    if (!ParentExists(link)) return 3;
    hardLinks[link] = existing;
    files[link] = files[existing];
    return 0;
  }
  int32_t SetTimes(const std::wstring& path, bool, const FindData& fd, bool& handleError) override {
    handleError = false;
    writeTimes[path] = (static_cast<uint64_t>(fd.lastWriteTime.high) << 32) | fd.lastWriteTime.low;
    timeOrder.push_back(path);
    return 0;
  }
  int32_t SetShortName(const std::wstring& path, bool, const FindData& fd) override {
    if (!fd.AlternateName().empty()) shortNames.push_back(path);
    return 0;
  }
  int32_t SetAttributes(const std::wstring&, uint32_t) override { return 0; }
  int32_t SetDirectoryMetadata(const std::wstring& path, const FindData& fd, MetadataStep& failedStep) override {
    oneHandleMetadata.push_back(path);
    auto it = failMetadata.find(path);
    if (it != failMetadata.end()) {
      failedStep = it->second;
      return 5;
    }
    return RestoreFileSystem::SetDirectoryMetadata(path, fd, failedStep);
  }
  void ApplyEntrySecurity(const std::wstring& path, const SecurityBlock&) override { secured.push_back(path); }
  bool ApplySecurityDescriptor(const std::wstring&, const SecurityBlock&) override { return true; }

 private:
  bool ParentExists(const std::wstring& path) const {
    size_t slash = path.rfind(L'\\');
    if (slash == std::wstring::npos) return true;
    std::wstring parent = path.substr(0, slash);
    return parent.size() <= 2 || directories.count(parent) != 0;
  }
  std::wstring open_;
};

}  // namespace orva::test
