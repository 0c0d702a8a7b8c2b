// Writes header tables and images with the engine's own writers, together
// with a JSON manifest of what was meant to be written, for the independent
// reader of the end-to-end tests.
//   tav_fixture_writer <folder>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/file_stream.h"
#include "core/image_header.h"
#include "core/tav_entry.h"
#include "core/wide.h"

using namespace orva;

namespace {

std::string Json(const std::wstring& s) {
  std::string out = "\"";
  for (char16_t u : ToUnits(s)) {
    if (u == '"' || u == '\\') {
      out.push_back('\\');
      out.push_back(static_cast<char>(u));
    } else if (u >= 0x20 && u < 0x7f) {
      out.push_back(static_cast<char>(u));
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(u));
      out += buf;
    }
  }
  return out + "\"";
}

std::string Hex(const uint8_t* p, size_t n) {
  std::string out = "\"";
  char buf[4];
  for (size_t i = 0; i < n; ++i) {
    std::snprintf(buf, sizeof buf, "%02x", p[i]);
    out += buf;
  }
  return out + "\"";
}
std::string Hex(const std::vector<uint8_t>& v) { return Hex(v.data(), v.size()); }
std::string Num(long long v) { return std::to_string(v); }

struct Entry {
  uint8_t kind;
  uint8_t security;
  int32_t depth;
  uint32_t attributes;
  uint32_t tag;
  std::wstring name, altName;
  uint64_t size;
  // trailers
  int64_t compressedLength = 0;
  std::wstring text{};  // first name or link target or mount text
  int32_t mountUnits = 0;
  bool reference = false;  // written as a flag-1 prefix
};

SecurityBlock MakeSecurity(int seed) {
  SecurityBlock b;
  b.ownerSid = L"S-1-5-21-1004336348-1177238915-682003330-" + std::to_wstring(1000 + seed);
  b.groupSid = L"S-1-5-32-544";
  for (int i = 0; i < 28 + seed * 4; ++i) b.dacl.push_back(static_cast<uint8_t>(i * 7 + seed));
  if (seed % 2) b.sacl = {2, 0, 28, 0, 1, 0, 0, 0};
  b.sddl = L"O:BAG:BAD:(A;;FA;;;SY)(A;;FA;;;BA)";
  return b;
}

TavEntryRecord MakeRecord(const Entry& e, int i) {
  TavEntryRecord r;
  std::memset(&r, 0, sizeof r);
  r.depth = e.depth;
  r.findData.attributes = e.attributes;
  r.findData.creationTime = {0x11110000u + i, 0x01d9u};
  r.findData.lastAccessTime = {0x22220000u + i, 0x01dau};
  r.findData.lastWriteTime = {0x33330000u + i, 0x01dbu};
  r.findData.sizeHigh = static_cast<uint32_t>(e.size >> 32);
  r.findData.sizeLow = static_cast<uint32_t>(e.size);
  r.findData.reserved0 = e.tag;
  r.findData.reserved1 = 0;
  r.findData.SetName(e.name);
  r.findData.SetAlternateName(e.altName);
  r.kind = e.kind;
  r.securityState = e.security;
  return r;
}

std::u16string MountUnits(const std::wstring& text, int32_t n) {
  std::u16string u = ToUnits(text);
  u.resize(static_cast<size_t>(n), u'\0');
  return u;
}

const uint8_t* Head(int i) {
  static uint8_t head[24];
  for (int k = 0; k < 24; ++k) head[k] = static_cast<uint8_t>(0xA0 + k + i);
  return head;
}

std::vector<Entry> SampleEntries() {
  std::vector<Entry> v;
  v.push_back({kKindDirectory, kSecurityPresent, 0, kAttrDirectory, 0, L"Data", L"", 0});
  v.push_back({kKindFile, kSecurityPresent, 1, 0x20, 0, L"report 100%.txt", L"REPORT~1.TXT", 65537, 4242});
  v.push_back({kKindFile, kSecurityNotRetrieved, 1, 0x21, 0, L"\uD55C\uAE00 \uBB38\uC11C.doc", L"", 5ull << 32, 77});
  v.push_back({kKindFile, kSecurityNotConverted, 1, 0x22, 0, L"empty", L"", 0, 8});
  {
    Entry e{kKindHardLink, kSecurityPresent, 1, 0x20, 0, L"second name", L"", 65537};
    e.text = L"\\Data\\report 100%.txt";
    v.push_back(e);
  }
  {
    Entry e{kKindHardLink, kSecurityNotRetrieved, 0, 0x20, 0, L"third", L"", 1};
    e.text = L"";
    v.push_back(e);
  }
  {
    Entry e{kKindDirSymlink, kSecurityPresent, 0, kAttrDirectory | kAttrReparsePoint, kTagSymlink, L"dirlink", L"", 0};
    e.text = L"..\\x..\\x";
    v.push_back(e);
  }
  {
    Entry e{kKindFileSymlink, kSecurityNotConverted, 0, kAttrReparsePoint | 0x20, kTagSymlink, L"filelink", L"", 0};
    e.text = L"C:\\x\\??\\C:\\x";
    v.push_back(e);
  }
  {
    Entry e{kKindJunction,  kSecurityPresent, 0,   kAttrDirectory | kAttrReparsePoint,
            kTagMountPoint, L"junction",      L"", 0};
    e.text = L"\\??\\C:\\Target";
    e.mountUnits = 40;
    v.push_back(e);
  }
  {
    Entry e{
        kKindUnknownLink, kSecurityNotRetrieved, 0, kAttrDirectory | kAttrReparsePoint, 0x80000017, L"dedup", L"", 0};
    e.text = L"\\??\\Volume{1}";
    e.mountUnits = 0;  // the query returned nothing
    v.push_back(e);
  }
  {
    Entry e{kKindUnknownLink, kSecurityPresent, 2, kAttrDirectory | kAttrReparsePoint, 0x9000001A, L"cloud", L"", 0};
    e.text = L"\\??\\X:";
    e.mountUnits = 16;
    v.push_back(e);
  }
  v.push_back({kKindDirectory, kSecurityNotRetrieved, 1, kAttrDirectory, 0, L"empty folder", L"", 0});
  return v;
}

// Writes the entries into a table; returns the manifest's "entries" array.
std::string WriteTable(FileStream& h, int32_t version, const std::vector<Entry>& entries, bool withReferences) {
  std::string json = "[";
  int i = 0;
  for (const Entry& e : entries) {
    if (i) json += ",\n";
    int64_t offset = h.GetPosition();
    json += "{\"offset\": " + Num(offset);
    if (version >= 4000) {
      CTavArchiveObject o;
      InitArchiveObject(o);
      o.refFlag = 0;
      o.ownFlag = 0;
      if (withReferences && i % 4 == 3) {
        // A reference into image 0 of a chain, written through the own slot.
        o.ownFlag = 1;
        o.ownImageIndex = 0;
        o.ownEntryOffset = 601LL * i;
        o.ownEntryLength = 700 + i;
        o.ownDataOffset = 20 + 1000LL * i;
        o.ownDataLength = i * 3;
        WriteEntryPrefix(o, h);
        json += ", \"prefix\": {\"flag\": 1, \"image_index\": 0, \"entry_offset\": " + Num(o.ownEntryOffset) +
                ", \"entry_length\": " + Num(o.ownEntryLength) + ", \"data_offset\": " + Num(o.ownDataOffset) +
                ", \"data_length\": " + Num(o.ownDataLength) + "}";
        json += ", \"length\": " + Num(h.GetPosition() - offset) + "}";
        ++i;
        continue;
      }
      WriteEntryPrefix(o, h);
      json += ", \"prefix\": {\"flag\": 0}";
    }
    TavEntryRecord r = MakeRecord(e, i);
    WriteEntryRecord(h, r);
    SecurityBlock sec = MakeSecurity(i);
    bool hasSec = e.security == kSecurityPresent;
    std::string trailer;
    switch (e.kind) {
      case kKindFile:
        if (hasSec) WriteSecurityBlock(h, sec);
        WriteInt64(h, e.compressedLength);
        trailer = "{\"compressed_length\": " + Num(e.compressedLength) + "}";
        break;
      case kKindHardLink:
        WriteTavString(h, e.text);
        trailer = "{\"first_name\": " + Json(e.text) + "}";
        break;
      case kKindDirSymlink:
      case kKindFileSymlink:
        WriteLinkTrailer(h, e.text, Head(i));
        trailer = "{\"target\": " + Json(e.text) + ", \"reparse_head\": " + Hex(Head(i), 24) + "}";
        break;
      case kKindJunction:
      case kKindUnknownLink:
        WriteMountTrailer(h, MountUnits(e.text, e.mountUnits));
        trailer = "{\"unit_count\": " + Num(e.mountUnits) +
                  ", \"text\": " + Json(e.mountUnits ? e.text : std::wstring()) + "}";
        break;
      default:
        trailer = "{}";
    }
    if (hasSec && e.kind != kKindFile) WriteSecurityBlock(h, sec);
    uint64_t ct = (static_cast<uint64_t>(r.findData.creationTime.high) << 32) | r.findData.creationTime.low;
    uint64_t at = (static_cast<uint64_t>(r.findData.lastAccessTime.high) << 32) | r.findData.lastAccessTime.low;
    uint64_t wt = (static_cast<uint64_t>(r.findData.lastWriteTime.high) << 32) | r.findData.lastWriteTime.low;
    json += ", \"depth\": " + Num(e.depth) + ", \"attributes\": " + Num(e.attributes) +
            ", \"creation\": " + Num(static_cast<long long>(ct)) +
            ", \"last_access\": " + Num(static_cast<long long>(at)) +
            ", \"last_write\": " + Num(static_cast<long long>(wt)) +
            ", \"size\": " + Num(static_cast<long long>(e.size)) + ", \"reserved0\": " + Num(e.tag) +
            ", \"reserved1\": 0" + ", \"name\": " + Json(e.name) + ", \"alt_name\": " + Json(e.altName) +
            ", \"kind\": " + Num(e.kind) + ", \"security_state\": " + Num(e.security) + ", \"trailer\": " + trailer;
    if (hasSec)
      json += ", \"security\": {\"owner\": " + Json(sec.ownerSid) + ", \"group\": " + Json(sec.groupSid) +
              ", \"dacl\": " + Hex(sec.dacl) + ", \"sacl\": " + Hex(sec.sacl) + ", \"sddl\": " + Json(sec.sddl) + "}";
    else
      json += ", \"security\": null";
    json += ", \"length\": " + Num(h.GetPosition() - offset) + "}";
    ++i;
  }
  return json + "]";
}

bool WriteText(const std::wstring& path, const std::string& text) {
  FileStream f;
  if (!f.Open(path, L"wb")) return false;
  f.WriteAll(text.data(), static_cast<uint32_t>(text.size()));
  f.Close();
  return true;
}

std::string HeaderJson(const TavImageHeader& h, const TavImagePrologue& p, int64_t fileLength) {
  std::string inc = "[";
  for (size_t i = 0; i < h.increments.size(); ++i) inc += (i ? ", " : "") + Json(h.increments[i]);
  inc += "]";
  return "{\"version\": " + Num(p.version) + ", \"header_offset\": " + Num(p.headerOffset) +
         ", \"header_length\": " + Num(p.headerLength) + ", \"file_length\": " + Num(fileLength) +
         ", \"image_path\": " + Json(h.imagePath) + ", \"start\": [" + Num(h.startYear) + ", " + Num(h.startMonth) +
         ", " + Num(h.startDay) + ", " + Num(h.startHour) + ", " + Num(h.startMinute) + ", " + Num(h.startSecond) +
         "], \"finish\": [" + Num(h.finishYear) + ", " + Num(h.finishMonth) + ", " + Num(h.finishDay) + ", " +
         Num(h.finishHour) + ", " + Num(h.finishMinute) + ", " + Num(h.finishSecond) +
         "], \"image_type\": " + Num(h.imageType) + ", \"compression_level\": " + Num(h.compressionLevel) +
         ", \"disk\": " + Num(h.diskNumber) + ", \"partition\": " + Num(h.partitionNumber) +
         ", \"drive_letter\": " + Num(h.driveLetter) + ", \"source_total\": " + Num(h.sourceTotal) +
         ", \"image_size\": " + Num(h.imageSize) + ", \"comment\": " + Json(h.comment) + ", \"increments\": " + inc +
         "}";
}

// A complete image: prologue, body, the v4000 table, image header.
bool WriteImage(const std::wstring& dir, const std::wstring& name, TavImageHeader& header, TavImagePrologue& p) {
  FileStream image, work;
  if (!image.Open(dir + L"\\" + name, L"w+b") || !work.Open(dir + L"\\" + name + L".tmp", L"w+b")) return false;
  p = TavImagePrologue{4000, 0, 0};
  WritePrologue(image, p);
  for (int i = 0; i < 5000; ++i) {
    uint8_t b = static_cast<uint8_t>(i * 31);
    image.Write(&b, 1);
  }
  WriteTable(work, 4000, SampleEntries(), false);
  int64_t tableLength = work.GetLength();
  header.imageSize = image.GetLength() + tableLength + header.GetSerializedSize();
  header.Write(work);
  bool ok = AttachHeaderToBody(image, work, tableLength);
  work.Close();
  _wremove((dir + L"\\" + name + L".tmp").c_str());
  ReadPrologue(image, p);
  image.Close();
  return ok;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: tav_fixture_writer <folder>\n");
    return 2;
  }
  const std::wstring dir = argv[1];
  const auto entries = SampleEntries();
  for (int32_t version : {4000, 3000}) {
    std::wstring base = dir + L"\\entries" + std::to_wstring(version);
    FileStream h;
    if (!h.Open(base + L".tbl", L"w+b")) return 1;
    std::string json = WriteTable(h, version, entries, version >= 4000);
    h.Close();
    WriteText(base + L".json", "{\"version\": " + Num(version) + ", \"entries\": " + json + "}\n");
  }

  TavImageHeader header;
  header.imagePath = L"D:\\Backup\\\uC774\uBBF8\uC9C0 50%.TAV";
  header.startYear = 2026;
  header.startMonth = 12;
  header.startDay = 10;
  header.startHour = 23;
  header.startMinute = 59;
  header.startSecond = 58;
  header.finishYear = 2026;
  header.finishMonth = 12;
  header.finishDay = 11;
  header.finishHour = 0;
  header.finishMinute = 1;
  header.finishSecond = 2;
  header.imageType = 0;
  header.compressionLevel = 9;
  header.diskNumber = 0xFF;
  header.partitionNumber = 0xFF;
  header.driveLetter = '*';
  header.sourceTotal = -1;
  header.comment = L"Microsoft Windows 7 Professional";
  TavImagePrologue p;
  if (!WriteImage(dir, L"image.tav", header, p)) return 1;
  WriteText(dir + L"\\image.json", HeaderJson(header, p, header.imageSize) + "\n");

  // In-place rewrites on copies of the same image.
  struct Rewrite {
    const wchar_t* name;
    int kind;
  } rewrites[] = {
      {L"image_size.tav", 0}, {L"image_list.tav", 1}, {L"image_reset.tav", 2}, {L"image_fromheader.tav", 3}};
  for (const auto& rw : rewrites) {
    TavImageHeader h2 = header;
    TavImagePrologue p2;
    if (!WriteImage(dir, rw.name, h2, p2)) return 1;
    FileStream image;
    if (!image.Open(dir + L"\\" + rw.name, L"r+b")) return 1;
    TavImageHeader expect = h2;
    int64_t length = image.GetLength();
    switch (rw.kind) {
      case 0:
        UpdateImageSize(image, 0x123456789ALL);
        expect.imageSize = 0x123456789ALL;
        break;
      case 1:
        // Three names and a fourth: the list becomes the last two and the new one.
        UpdateIncrementListFromHeader(image, [] {
          TavImageHeader t;
          t.increments = {L"a.TAV.1", L"b.TAV.2", L"c.TAV.3"};
          return t;
        }());
        UpdateIncrementList(image, 3, {L"a.TAV.1", L"b.TAV.2", L"c.TAV.3"}, L"new.TAV.4");
        expect.increments = {L"b.TAV.2", L"c.TAV.3", L"new.TAV.4"};
        break;
      case 2:
        UpdateIncrementListFromHeader(image, [] {
          TavImageHeader t;
          t.increments = {L"x.TAV.1", L"y.TAV.2"};
          return t;
        }());
        UpdateIncrementList(image, 0, {}, L"");
        expect.increments = {};
        break;
      case 3:
        expect.increments = {L"\uD55C.TAV.1", L"D:\\Backup\\sub\\two.TAV.2"};
        UpdateIncrementListFromHeader(image, expect);
        break;
    }
    length = image.GetLength();
    image.Close();
    std::wstring json = std::wstring(rw.name);
    json = json.substr(0, json.size() - 4) + L".json";
    WriteText(dir + L"\\" + json, HeaderJson(expect, p2, length) + "\n");
  }
  return 0;
}
