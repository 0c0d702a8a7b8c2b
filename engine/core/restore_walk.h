// The restore walk over a header table: decides what to make of every
// entry. The file system is behind RestoreFileSystem, so the decoding also
// builds natively (tests and fuzzing use an in-memory one).
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "core/tav_entry.h"

namespace orva {

class RestoreFileSystem {
 public:
  virtual ~RestoreFileSystem() = default;
  // Each returns 0 or a system error code.
  virtual int32_t MakeDirectory(const std::wstring& path) = 0;
  virtual int32_t MakeFile(const std::wstring& path) = 0;  // the one open output file
  virtual int32_t Write(const void* data, uint32_t size) = 0;
  virtual int32_t CloseFile() = 0;
  virtual void RemoveFile(const std::wstring& path) = 0;
  virtual int32_t MakeHardLink(const std::wstring& link, const std::wstring& existing) = 0;
  // Times: handleError when the object could not be opened, else the set error.
  virtual int32_t SetTimes(const std::wstring& path, bool directory, const FindData& fd, bool& handleError) = 0;
  // Applies the short name where the rule allows; returns only a failure to open the object.
  virtual int32_t SetShortName(const std::wstring& path, bool directory, const FindData& fd) = 0;
  virtual int32_t SetAttributes(const std::wstring& path, uint32_t attributes) = 0;
  // Counts Security itself on failure.
  virtual void ApplyEntrySecurity(const std::wstring& path, const SecurityBlock& sec) = 0;
  // False: the caller counts Security.
  virtual bool ApplySecurityDescriptor(const std::wstring& path, const SecurityBlock& sec) = 0;
  // The security (when sec is given), then the attributes of the file just
  // closed; done gets the attributes' error. The file system may do both
  // later, behind the walk: done then runs in the order of the calls, and
  // before any later message or Settle returns.
  virtual void FinishFile(const std::wstring& path, const SecurityBlock* sec, uint32_t attributes,
                          std::function<void(int32_t error)> done);
  // Completes what FinishFile left behind.
  virtual void Settle() {}
  enum MetadataStep { kOpenStep, kTimesStep, kAttributesStep };
  // A directory's times, then its attributes, through one handle; stops at
  // the first step that fails (failedStep) and returns its error, else 0.
  virtual int32_t SetDirectoryMetadata(const std::wstring& path, const FindData& fd, MetadataStep& failedStep);
};

struct RestoreResult {
  bool damaged = false;  // the table could not be read to its end
  std::wstring damage;   // what was wrong, for the fatal message
};

// The inflate workers a restore uses when the caller does not say.
unsigned DefaultInflateWorkers();

// Restores the entries of the table from its current position up to
// tableEnd into target (a drive root "X:" is not created). Files' data is
// inflated ahead on inflateWorkers threads while the walk writes; with none
// it is inflated as it is written. Either way the same tree and messages.
RestoreResult RestoreImageV4(const ChainStreams& chain, FileStream& header, FileStream& body, int64_t tableEnd,
                             const std::wstring& target, RestoreFileSystem& fs,
                             unsigned inflateWorkers = DefaultInflateWorkers());
// The same for a format-3000 image: one image, entries without a prefix,
// no pause or cancel, no short names.
RestoreResult RestoreImageV3(FileStream& header, FileStream& body, int64_t tableEnd, const std::wstring& target,
                             RestoreFileSystem& fs, unsigned inflateWorkers = DefaultInflateWorkers());

// A name from an image is one path component.
bool IsSafeName(const std::wstring& name);
// A hard link's first-name path ("\a\b") stays inside the target.
bool IsSafeRelativePath(const std::wstring& path);

}  // namespace orva
