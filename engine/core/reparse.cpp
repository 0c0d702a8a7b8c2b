#include "core/reparse.h"

#include <cstring>

#include "core/wide.h"

namespace orva {

namespace {
uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t U32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }
}  // namespace

std::wstring SymlinkStoredTarget(const uint8_t* buffer, size_t returned) {
  if (returned > kReparseBufferSize) returned = kReparseBufferSize;
  if (returned < 20) return std::wstring();
  const bool relative = U32(buffer + 16) == 1;
  size_t units = U16(buffer + 8) / 2;
  const size_t room = (returned - 20) / 2;
  if (units > room) units = room;
  std::u16string u(units, u'\0');
  if (units) std::memcpy(u.data(), buffer + 20, units * 2);
  std::wstring text = FromUnits(u);
  return relative ? text + text : text + L"\\??\\" + text;
}

std::u16string MountPointUnits(const uint8_t* buffer, size_t returned) {
  if (returned > kReparseBufferSize) returned = kReparseBufferSize;
  std::u16string out(returned, u'\0');
  for (size_t i = 0; 16 + 2 * i + 1 < returned && i < out.size(); ++i) {
    char16_t c = U16(buffer + 16 + 2 * i);
    if (c == 0) break;
    out[i] = c;
  }
  // Keep the terminating NUL inside the N units even for a text that fills them.
  if (!out.empty()) out.back() = u'\0';
  return out;
}

}  // namespace orva
