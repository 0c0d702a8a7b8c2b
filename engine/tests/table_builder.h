// Builds a header table and an image body the way the capture writes them,
// for the restore tests and the fuzz seeds.
#pragma once
#include <zlib.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/file_stream.h"
#include "core/tav_entry.h"

namespace orva::test {

inline std::string Deflate(const std::string& data, int level = 6) {
  uLongf size = compressBound(static_cast<uLong>(data.size()));
  std::string out(size, '\0');
  compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(data.data()),
            static_cast<uLong>(data.size()), level);
  out.resize(size);
  return out;
}

class TableBuilder {
 public:
  // version 3000 writes the entries without their prefix byte.
  TableBuilder(FileStream& header, FileStream& body, int32_t version = 4000)
      : h_(header), b_(body), version_(version) {}

  // Security of the entries that follow (none: state 2).
  void WithSecurity(bool on) { security_ = on; }
  // Alternate name of the entries that follow.
  void WithShortName(const std::wstring& alt) { alt_ = alt; }

  void Directory(int32_t depth, const std::wstring& name, uint64_t writeTime = 1) {
    Prefix();
    WriteEntryRecord(h_, Record(depth, name, kKindDirectory, kAttrDirectory, writeTime));
    Security();
  }
  void File(int32_t depth, const std::wstring& name, const std::string& content, uint64_t writeTime = 2) {
    FileStored(depth, name, Deflate(content), content.size(), writeTime);
  }
  // A file entry with whatever bytes as its stored stream.
  void FileStored(int32_t depth, const std::wstring& name, const std::string& stored, uint64_t size,
                  uint64_t writeTime = 2) {
    Prefix();
    TavEntryRecord r = Record(depth, name, kKindFile, 0x20, writeTime);
    r.findData.sizeLow = static_cast<uint32_t>(size);
    WriteEntryRecord(h_, r);
    Security();
    WriteInt64(h_, static_cast<int64_t>(stored.size()));
    if (!stored.empty()) b_.Write(stored.data(), static_cast<uint32_t>(stored.size()));
  }
  void HardLink(int32_t depth, const std::wstring& name, const std::wstring& first) {
    Prefix();
    WriteEntryRecord(h_, Record(depth, name, kKindHardLink, 0x20, 3));
    WriteTavString(h_, first);
    Security();
  }

 private:
  void Prefix() {
    uint8_t zero = 0;
    if (version_ >= 4000) h_.Write(&zero, 1);
  }
  void Security() {
    if (!security_) return;
    SecurityBlock b;
    b.ownerSid = L"S-1-5-32-544";
    b.groupSid = L"S-1-5-18";
    b.dacl = {2, 0, 8, 0, 0, 0, 0, 0};
    b.sddl = L"O:BAG:SYD:";
    WriteSecurityBlock(h_, b);
  }
  TavEntryRecord Record(int32_t depth, const std::wstring& name, uint8_t kind, uint32_t attributes,
                        uint64_t writeTime) {
    TavEntryRecord r;
    std::memset(&r, 0, sizeof r);
    r.depth = depth;
    r.findData.attributes = attributes;
    r.findData.lastWriteTime = {static_cast<uint32_t>(writeTime), static_cast<uint32_t>(writeTime >> 32)};
    r.findData.SetName(name);
    r.findData.SetAlternateName(alt_);
    r.kind = kind;
    r.securityState = security_ ? kSecurityPresent : kSecurityNotRetrieved;
    return r;
  }
  FileStream& h_;
  FileStream& b_;
  int32_t version_;
  bool security_ = false;
  std::wstring alt_;
};

}  // namespace orva::test
