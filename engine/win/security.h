// An object's security as the image stores it, read by name.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "core/file_stream.h"
#include "core/tav_entry.h"

namespace orva {

// An object's descriptor as read (self-relative), before any conversion;
// reading it is safe on any thread.
struct RawSecurity {
  unsigned long error = 0;          // the system error of a failed read
  std::vector<uint8_t> descriptor;  // empty when the read failed
};
RawSecurity ReadSecurity(const std::wstring& systemPath);
// From a handle opened with READ_CONTROL and ACCESS_SYSTEM_SECURITY.
RawSecurity ReadSecurity(void* object);

struct SecurityCapture {
  std::wstring path;
  SecurityBlock block;
  int32_t state = kSecurityNotRetrieved;
  int32_t retrieveError = 0;
  int32_t ownerError = 0, groupError = 0, sddlError = 0;

  // withLabel: the walker's SDDL text also covers the mandatory label.
  int32_t Capture(const std::wstring& displayPath, const std::wstring& systemPath, bool withLabel);
  // The same from a handle opened with READ_CONTROL and ACCESS_SYSTEM_SECURITY.
  int32_t CaptureFromHandle(const std::wstring& displayPath, void* object, bool withLabel);
  // The same from a descriptor read before (on this thread only).
  int32_t Take(const std::wstring& displayPath, const RawSecurity& raw, bool withLabel);
  // Messages, counts and lists a state 2 or 3. walkerText picks the
  // walker's wording of the state 2 message; shownName, when given, names
  // the object in that message in place of its path.
  void Report(bool walkerText, const std::wstring& shownName = std::wstring()) const;
  bool Write(FileStream& header) const;

 private:
  int32_t Take(const std::wstring& displayPath, unsigned long err, void* descriptor, void* owner, void* group,
               void* dacl, void* sacl, bool withLabel);
};

}  // namespace orva
