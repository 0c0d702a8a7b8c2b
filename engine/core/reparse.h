// What the image keeps of a reparse point, formed from the reparse data
// buffer that the platform's query returned.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace orva {

constexpr size_t kReparseBufferSize = 16384;
constexpr size_t kReparseHeadSize = 24;

// Symbolic link target as stored: the print name twice for a relative link,
// print name + "\??\" + print name for an absolute one. The print name is
// the first (substitute name offset / 2) units at offset 20, cut to what
// the buffer holds.
std::wstring SymlinkStoredTarget(const uint8_t* buffer, size_t returned);

// Junction and other directory reparse points: the returned byte count as
// the unit count, the NUL-terminated text at offset 16, then zero units.
std::u16string MountPointUnits(const uint8_t* buffer, size_t returned);

}  // namespace orva
