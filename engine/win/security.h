// An object's security as the image stores it, read by name.
#pragma once
#include <cstdint>
#include <string>

#include "core/file_stream.h"
#include "core/tav_entry.h"

namespace orva {

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
