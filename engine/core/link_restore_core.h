// The portable side of the link and junction restore: the mount-point reparse
// buffer, the mklink batch line and the security flags of an SDDL text.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace orva {

// Largest reparse buffer the file system takes (header included).
constexpr size_t kMountPointBufferLimit = 16384;

// The mount-point reparse buffer for a junction target in its "\??\" form:
// tag, data length, substitute name = the target with its NUL, empty print
// name. The result holds data length + 8 bytes, the count to pass to
// FSCTL_SET_REPARSE_POINT. Empty when the target would not fit the limit.
std::vector<uint8_t> BuildMountPointBuffer(const std::wstring& target);

// SECURITY_INFORMATION flags for the parts an SDDL text names.
uint32_t SecurityFlagsFromSddl(const std::wstring& sddl);

// What mklink gets as the target: the first (substitute name offset / 2)
// units of the stored text, the whole text when that reaches its end.
std::wstring MklinkTarget(const std::wstring& storedTarget, const uint8_t head[24]);

// The batch line that makes the link ("mklink [/D] "link" "target"").
// '%' is doubled so cmd does not expand it. A path or target holding '"',
// CR or LF cannot be quoted safely: empty result and error set.
std::wstring MklinkCommand(bool directory, const std::wstring& linkPath, const std::wstring& target,
                           std::wstring& error);

}  // namespace orva
