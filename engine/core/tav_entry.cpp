#include "core/tav_entry.h"

#include <algorithm>
#include <cstring>

#include "core/output.h"
#include "core/wide.h"

namespace orva {

namespace {

std::wstring UnitsUpToNul(const char16_t* units, size_t max) {
  size_t n = 0;
  while (n < max && units[n] != 0) ++n;
  return FromUnits(units, n);
}

void CopyName(char16_t* dst, size_t capacity, const std::wstring& name) {
  std::u16string u = ToUnits(name);
  size_t n = std::min(u.size(), capacity - 1);
  std::memset(dst, 0, capacity * sizeof(char16_t));
  std::memcpy(dst, u.data(), n * sizeof(char16_t));
}

// Reads and discards count bytes; false on a short read.
bool Discard(FileStream& s, int64_t count) {
  char scratch[4096];
  while (count > 0) {
    uint32_t chunk = static_cast<uint32_t>(std::min<int64_t>(count, sizeof scratch));
    if (s.Read(scratch, chunk) != chunk) return false;
    count -= chunk;
  }
  return true;
}

}  // namespace

std::wstring FindData::Name() const { return UnitsUpToNul(fileName, 260); }
std::wstring FindData::AlternateName() const { return UnitsUpToNul(alternateFileName, 14); }
void FindData::SetName(const std::wstring& name) { CopyName(fileName, 260, name); }
void FindData::SetAlternateName(const std::wstring& name) { CopyName(alternateFileName, 14, name); }

uint8_t TavEntryKind(const FindData& fd) {
  if (fd.attributes & kAttrDirectory) {
    if (!(fd.attributes & kAttrReparsePoint)) return kKindDirectory;
    if (fd.reserved0 == kTagSymlink) return kKindDirSymlink;
    if (fd.reserved0 == kTagMountPoint) return kKindJunction;
    return kKindUnknownLink;
  }
  if (!(fd.attributes & kAttrReparsePoint)) return kKindFile;
  if (fd.reserved0 == kTagSymlink) return kKindFileSymlink;
  return kKindUnknownLink;
}

void InitArchiveObject(CTavArchiveObject& o) {
  std::memset(&o, 0, sizeof o);
  o.depth = -1;
  o.refImageIndex = -1;
  o.ownImageIndex = -1;
  o.refEntryOffset = o.refEntryLength = o.refDataOffset = o.refDataLength = -1;
  o.ownEntryOffset = o.ownEntryLength = o.ownDataOffset = o.ownDataLength = -1;
}

bool ReadInt32(FileStream& s, int32_t& v) { return s.Read(&v, 4) == 4; }
bool ReadInt64(FileStream& s, int64_t& v) { return s.Read(&v, 8) == 8; }
bool WriteInt32(FileStream& s, int32_t v) { return s.WriteAll(&v, 4); }
bool WriteInt64(FileStream& s, int64_t v) { return s.WriteAll(&v, 8); }

bool WriteTavString(FileStream& s, const std::wstring& text) {
  std::u16string u = ToUnits(text);
  bool ok = WriteInt32(s, static_cast<int32_t>(u.size()));
  if (!u.empty()) ok = s.WriteAll(u.data(), static_cast<uint32_t>(u.size() * 2)) && ok;
  return ok;
}

bool WriteTavBlob(FileStream& s, uint32_t count, const void* bytes) {
  bool ok = WriteInt32(s, static_cast<int32_t>(count));
  if (count) ok = s.WriteAll(bytes, count) && ok;
  return ok;
}

bool ReadTavString(FileStream& s, std::wstring& out, int32_t maxUnits) {
  int32_t n;
  if (!ReadInt32(s, n) || n < 0 || n > maxUnits) return false;
  out.clear();
  if (n == 0) return true;
  std::u16string u(static_cast<size_t>(n), u'\0');
  if (s.Read(u.data(), static_cast<uint32_t>(n) * 2) != static_cast<size_t>(n) * 2) return false;
  out = FromUnits(u);
  return true;
}

bool ReadTavBlob(FileStream& s, std::vector<uint8_t>& out, int32_t maxBytes) {
  int32_t n;
  out.clear();
  if (!ReadInt32(s, n) || n < 0 || n > maxBytes) return false;
  if (n == 0) return true;
  out.assign(static_cast<size_t>(n), 0);
  if (s.Read(out.data(), static_cast<uint32_t>(n)) != static_cast<size_t>(n)) {
    out.clear();
    return false;
  }
  return true;
}

bool SkipTavString(FileStream& s, int32_t maxUnits) {
  int32_t n;
  if (!ReadInt32(s, n) || n < 0 || n > maxUnits) return false;
  return Discard(s, static_cast<int64_t>(n) * 2);
}

bool SkipTavBlob(FileStream& s, int32_t maxBytes) {
  int32_t n;
  if (!ReadInt32(s, n) || n < 0 || n > maxBytes) return false;
  return Discard(s, n);
}

bool WriteSecurityBlock(FileStream& s, const SecurityBlock& b) {
  bool ok = WriteTavString(s, b.ownerSid);
  ok = WriteTavString(s, b.groupSid) && ok;
  ok = WriteTavBlob(s, static_cast<uint32_t>(b.dacl.size()), b.dacl.data()) && ok;
  ok = WriteTavBlob(s, static_cast<uint32_t>(b.sacl.size()), b.sacl.data()) && ok;
  ok = WriteTavString(s, b.sddl) && ok;
  return ok;
}

bool ReadSecurityBlock(FileStream& s, SecurityBlock& b) {
  return ReadTavString(s, b.ownerSid) && ReadTavString(s, b.groupSid) && ReadTavBlob(s, b.dacl) &&
         ReadTavBlob(s, b.sacl) && ReadTavString(s, b.sddl);
}

bool SkipSecurityBlock(FileStream& s) {
  return SkipTavString(s) && SkipTavString(s) && SkipTavBlob(s) && SkipTavBlob(s) && SkipTavString(s);
}

bool WriteLinkTrailer(FileStream& s, const std::wstring& target, const uint8_t head[24]) {
  bool ok = WriteTavString(s, target);
  return s.WriteAll(head, 24) && ok;
}

bool ReadLinkTrailer(FileStream& s, std::wstring& target, uint8_t head[24]) {
  return ReadTavString(s, target) && s.Read(head, 24) == 24;
}

bool WriteMountTrailer(FileStream& s, const std::u16string& units) {
  bool ok = WriteInt32(s, static_cast<int32_t>(units.size()));
  if (!units.empty()) ok = s.WriteAll(units.data(), static_cast<uint32_t>(units.size() * 2)) && ok;
  return ok;
}

bool ReadMountTrailer(FileStream& s, std::u16string& units) {
  int32_t n;
  units.clear();
  if (!ReadInt32(s, n) || n < 0 || n > kMaxMountUnits) return false;
  units.assign(static_cast<size_t>(n), u'\0');
  if (n && s.Read(units.data(), static_cast<uint32_t>(n) * 2) != static_cast<size_t>(n) * 2) {
    units.clear();
    return false;
  }
  return true;
}

std::wstring MountText(const std::u16string& units) { return UnitsUpToNul(units.data(), units.size()); }

bool WriteEntryRecord(FileStream& s, const TavEntryRecord& rec) { return s.WriteAll(&rec, sizeof rec); }

void WriteEntryPrefix(const CTavArchiveObject& o, FileStream& h) {
  uint8_t one = 1, zero = 0;
  if (o.refFlag == 1 || o.ownFlag == 1) {
    bool ref = o.refFlag == 1;
    h.Write(&one, 1);
    WriteInt32(h, ref ? o.refImageIndex : o.ownImageIndex);
    WriteInt64(h, ref ? o.refEntryOffset : o.ownEntryOffset);
    WriteInt64(h, ref ? o.refEntryLength : o.ownEntryLength);
    WriteInt64(h, ref ? o.refDataOffset : o.ownDataOffset);
    WriteInt64(h, ref ? o.refDataLength : o.ownDataLength);
  } else {
    h.Write(&zero, 1);
  }
}

bool ReadEntryPrefix(CTavArchiveObject& o, FileStream& h) {
  uint8_t flag;
  if (h.Read(&flag, 1) != 1) return false;
  o.refFlag = flag == 1 ? 1 : 0;
  if (!o.refFlag) return true;
  return ReadInt32(h, o.refImageIndex) && ReadInt64(h, o.refEntryOffset) && ReadInt64(h, o.refEntryLength) &&
         ReadInt64(h, o.refDataOffset) && ReadInt64(h, o.refDataLength);
}

void StepBackOverPrefix(const CTavArchiveObject& o, FileStream& h) {
  h.Seek(o.refFlag == 1 || o.ownFlag == 1 ? -37 : -1, 1);
}

bool ReadTavEntry(const ChainStreams& chain, int32_t version, FileStream& H, FileStream& B, bool keepTexts, TavEntry& e,
                  int32_t& error) {
  CTavArchiveObject& o = e.where;
  InitArchiveObject(o);
  e.text.clear();
  e.units.clear();
  e.security = SecurityBlock();
  e.hasSecurity = false;
  e.dataLength = 0;
  e.damagedReference = false;
  error = 0;
  auto fail = [&](int32_t code) {
    o.depth = -1;
    error = code;
    return false;
  };
  o.ownEntryOffset = H.GetPosition();
  o.ownDataOffset = B.GetPosition();
  e.header = &H;
  e.data = &B;
  bool ref = false;

  if (version >= 4000) {
    uint8_t flag;
    if (H.Read(&flag, 1) != 1) return fail(kErrorHandleEof);
    if (flag == 1) {
      if (!ReadInt32(H, o.refImageIndex) || !ReadInt64(H, o.refEntryOffset) || !ReadInt64(H, o.refEntryLength) ||
          !ReadInt64(H, o.refDataOffset) || !ReadInt64(H, o.refDataLength))
        return fail(kErrorDamagedImage);
      o.refFlag = 1;
      o.ownEntryLength = H.GetPosition() - o.ownEntryOffset;
      o.ownDataLength = 0;
      ref = true;
    } else {
      o.refFlag = 0;
      o.refImageIndex = -1;
      o.refEntryOffset = o.refEntryLength = o.refDataOffset = o.refDataLength = 0;
    }
  } else {
    o.refFlag = 0;
    o.refImageIndex = -1;
  }

  if (ref) {
    int32_t idx = o.refImageIndex;
    if (idx < 0 || static_cast<size_t>(idx) >= chain.headers.size() ||
        static_cast<size_t>(idx) >= chain.bodies.size() || static_cast<size_t>(idx) >= chain.versions.size() ||
        !chain.headers[idx] || !chain.bodies[idx] || o.refEntryOffset < 0 || o.refDataOffset < 0)
      return fail(kErrorDamagedImage);
    e.header = chain.headers[idx];
    e.data = chain.bodies[idx];
    if (e.header->SeekAbsolute(o.refEntryOffset) != 0) return fail(kErrorDamagedImage);
    if (chain.versions[idx] >= 4000) {
      // A reference always names an inline entry: its own prefix byte is 0.
      uint8_t inner;
      if (e.header->Read(&inner, 1) != 1 || inner != 0) return fail(kErrorDamagedImage);
    }
    if (e.data->SeekAbsolute(o.refDataOffset) != 0) return fail(kErrorDamagedImage);
  }
  FileStream& h = *e.header;
  e.dataOffset = e.data->GetPosition();

  TavEntryRecord& record = e.record;
  std::memset(&record, 0, sizeof record);
  size_t got = h.Read(&record, sizeof record);
  if (got != sizeof record) {
    if (ref) o.refEntryOffset = o.refEntryLength = o.refDataOffset = o.refDataLength = 0;
    bool cleanEnd = got == 0 && version < 4000 && !ref;
    return fail(cleanEnd ? kErrorHandleEof : kErrorDamagedImage);
  }
  o.depth = record.depth;
  o.findData = record.findData;
  // Past the record, a failure through a reference is that entry's alone.
  const int64_t recordedEntryLength = o.refEntryLength, recordedDataLength = o.refDataLength;
  auto entryFails = [&] {
    e.damagedReference = ref;
    e.dataLength = 0;
    return fail(kErrorDamagedImage);
  };

  e.hasSecurity = record.securityState == kSecurityPresent;
  auto security = [&] {
    if (!e.hasSecurity) return true;
    return keepTexts ? ReadSecurityBlock(h, e.security) : SkipSecurityBlock(h);
  };
  auto text = [&] { return keepTexts ? ReadTavString(h, e.text) : SkipTavString(h); };
  bool ok = true;
  switch (record.kind) {
    case kKindHardLink:
      ok = text() && security();
      break;
    case kKindDirSymlink:
    case kKindFileSymlink:
      ok = text() && h.Read(e.head, 24) == 24 && security();
      break;
    case kKindJunction:
    case kKindUnknownLink:
      if (keepTexts) {
        ok = ReadMountTrailer(h, e.units) && security();
      } else {
        int32_t n;
        ok = ReadInt32(h, n) && n >= 0 && n <= kMaxMountUnits && Discard(h, static_cast<int64_t>(n) * 2) && security();
      }
      break;
    case kKindDirectory:
      ok = security();
      break;
    case kKindFile: {
      if (!security()) return entryFails();
      int64_t len;
      if (!ReadInt64(h, len)) {
        SayConsole(L"End of header has been reached (4).\n");
        return entryFails();
      }
      if (len < 0) return entryFails();
      e.dataLength = len;
      break;
    }
    default:
      // Without a known kind the entry's length is unknown: nothing after it can be trusted.
      return entryFails();
  }
  if (!ok) return entryFails();
  if (ref) {
    o.refDataLength = e.dataLength;
    o.refEntryLength = h.GetPosition() - o.refEntryOffset;
    // Another entry than the one referred to, or the same one misread.
    if (o.refEntryLength != recordedEntryLength || o.refDataLength != recordedDataLength) return entryFails();
  } else {
    o.ownEntryLength = H.GetPosition() - o.ownEntryOffset;
    o.ownDataLength = e.dataLength;
  }
  return true;
}

CTavArchiveObject ReadEntryHeaderWithRecord(const ChainStreams& chain, int32_t version, FileStream& H, FileStream& B,
                                            TavEntryRecord& record, int32_t& error) {
  TavEntry e;
  bool ok = ReadTavEntry(chain, version, H, B, false, e, error);
  record = e.record;
  if (ok && e.dataLength > 0) e.data->Seek(e.dataLength, 1);
  return e.where;
}

CTavArchiveObject ReadEntryHeader(const ChainStreams& chain, int32_t position, int32_t& error) {
  if (position < 1 || static_cast<size_t>(position) > chain.headers.size() ||
      static_cast<size_t>(position) > chain.bodies.size() || static_cast<size_t>(position) > chain.versions.size()) {
    CTavArchiveObject o;
    InitArchiveObject(o);
    error = kErrorDamagedImage;
    return o;
  }
  TavEntryRecord rec;
  size_t i = static_cast<size_t>(position - 1);
  return ReadEntryHeaderWithRecord(chain, chain.versions[i], *chain.headers[i], *chain.bodies[i], rec, error);
}

}  // namespace orva
