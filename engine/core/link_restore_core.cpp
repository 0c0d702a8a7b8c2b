#include "core/link_restore_core.h"

#include <cstring>

#include "core/tav_entry.h"
#include "core/wide.h"

namespace orva {

namespace {
void PutU16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void PutU32(uint8_t* p, uint32_t v) {
  PutU16(p, v & 0xFFFF);
  PutU16(p + 2, v >> 16);
}

std::wstring DoublePercent(const std::wstring& text) {
  std::wstring out;
  out.reserve(text.size() + 2);
  for (wchar_t c : text) {
    if (c == L'%') out += L'%';
    out += c;
  }
  return out;
}
}  // namespace

std::vector<uint8_t> BuildMountPointBuffer(const std::wstring& target) {
  std::u16string units = ToUnits(target);
  units = units.substr(0, units.find(u'\0'));  // lstrlenW
  const size_t length = units.size() * 2;
  const size_t total = length + 20;  // header 16, name + NUL, empty print name's NUL
  if (total > kMountPointBufferLimit) return {};
  std::vector<uint8_t> buffer(total, 0);
  PutU32(buffer.data(), kTagMountPoint);
  PutU16(buffer.data() + 4, static_cast<uint32_t>(length + 12));
  PutU16(buffer.data() + 10, static_cast<uint32_t>(length));
  PutU16(buffer.data() + 12, static_cast<uint32_t>(length + 2));
  for (size_t i = 0; i < units.size(); ++i) PutU16(buffer.data() + 16 + 2 * i, units[i]);
  return buffer;
}

uint32_t SecurityFlagsFromSddl(const std::wstring& sddl) {
  struct Part {
    const wchar_t* text;
    uint32_t flag;
  };
  static const Part kParts[] = {
      {L"O:", 0x1}, {L"G:", 0x2}, {L"D:", 0x4}, {L"S:", 0x8}, {L"D:P", 0x80000000}, {L"S:P", 0x40000000},
  };
  uint32_t flags = 0;
  for (const Part& p : kParts)
    if (sddl.find(p.text) != std::wstring::npos) flags |= p.flag;
  return flags;
}

std::wstring MklinkTarget(const std::wstring& storedTarget, const uint8_t head[24]) {
  const size_t n = static_cast<size_t>(head[8] | (head[9] << 8)) / 2;
  std::u16string units = ToUnits(storedTarget);
  if (n >= units.size()) return storedTarget;
  return FromUnits(units.data(), n);
}

std::wstring MklinkCommand(bool directory, const std::wstring& linkPath, const std::wstring& target,
                           std::wstring& error) {
  error.clear();
  for (const std::wstring* s : {&linkPath, &target}) {
    if (s->find_first_of(L"\"\r\n") != std::wstring::npos) {
      error = L"Invalid character in the link path or target.";
      return std::wstring();
    }
  }
  return std::wstring(directory ? L"mklink /D \"" : L"mklink \"") + DoublePercent(linkPath) + L"\" \"" +
         DoublePercent(target) + L"\"";
}

}  // namespace orva
