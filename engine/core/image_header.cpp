#include "core/image_header.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "core/output.h"
#include "core/tav_entry.h"
#include "core/wide.h"

namespace orva {

namespace {

constexpr uint32_t kCopyBlock = 1000000;

int64_t UnitCount(const std::wstring& s) { return static_cast<int64_t>(ToUnits(s).size()); }

// Positions the stream at the image header; false when the prologue does
// not describe a table inside the file.
bool SeekToImageHeader(FileStream& image) {
  TavImagePrologue p;
  if (!ReadPrologue(image, p)) return false;
  return image.SeekAbsolute(kPrologueSize + p.headerOffset + p.headerLength) == 0;
}

bool CopyRange(FileStream& from, FileStream& to, int64_t count) {
  std::vector<char> buf(static_cast<size_t>(std::min<int64_t>(count, kCopyBlock)));
  while (count > 0) {
    uint32_t chunk = static_cast<uint32_t>(std::min<int64_t>(count, kCopyBlock));
    if (from.Read(buf.data(), chunk) != chunk) return false;
    if (!to.WriteAll(buf.data(), chunk)) return false;
    count -= chunk;
  }
  return true;
}

}  // namespace

bool WritePrologue(FileStream& image, const TavImagePrologue& p) {
  bool ok = WriteInt32(image, p.version);
  ok = WriteInt64(image, p.headerOffset) && ok;
  return WriteInt64(image, p.headerLength) && ok;
}

bool ReadPrologue(FileStream& image, TavImagePrologue& p, bool checkBounds) {
  if (!image.SeekToBegin()) return false;
  if (!ReadInt32(image, p.version) || !ReadInt64(image, p.headerOffset) || !ReadInt64(image, p.headerLength))
    return false;
  if (!checkBounds) return true;
  int64_t len = image.GetLength();
  if (p.headerOffset < 0 || p.headerLength < 0 || len < kPrologueSize) return false;
  int64_t room = len - kPrologueSize;
  return p.headerOffset <= room && p.headerLength <= room - p.headerOffset;
}

bool TavImageHeader::Write(FileStream& s) const {
  uint8_t fixed[36];
  uint8_t* q = fixed;
  auto put16 = [&](uint16_t v) {
    std::memcpy(q, &v, 2);
    q += 2;
  };
  auto put8 = [&](uint8_t v) { *q++ = v; };
  auto put64 = [&](int64_t v) {
    std::memcpy(q, &v, 8);
    q += 8;
  };
  put16(startYear);
  for (uint8_t v : {startMonth, startDay, startHour, startMinute, startSecond}) put8(v);
  put16(finishYear);
  for (uint8_t v : {finishMonth, finishDay, finishHour, finishMinute, finishSecond}) put8(v);
  for (uint8_t v : {imageType, compressionLevel, zero, diskNumber, partitionNumber, driveLetter}) put8(v);
  put64(sourceTotal);
  put64(imageSize);

  bool ok = WriteTavString(s, imagePath);
  ok = s.WriteAll(fixed, sizeof fixed) && ok;
  ok = WriteTavString(s, comment) && ok;
  ok = WriteInt32(s, static_cast<int32_t>(increments.size())) && ok;
  for (const auto& name : increments) ok = WriteTavString(s, name) && ok;
  return ok;
}

int64_t TavImageHeader::GetSerializedSize() const {
  int64_t size = 4 + 2 * UnitCount(imagePath) + 36 + 4 + 2 * UnitCount(comment) + 4;
  for (const auto& name : increments) size += 4 + 2 * UnitCount(name);
  return size;
}

bool TavImageHeader::ReadAt(FileStream& s, int64_t position, bool keepFullPaths) {
  if (s.SeekAbsolute(position) != 0) return false;
  std::wstring path;
  if (!ReadTavString(s, path, kMaxHeaderStringUnits)) return false;
  uint8_t fixed[36];
  if (s.Read(fixed, sizeof fixed) != sizeof fixed) return false;
  std::wstring text;
  if (!ReadTavString(s, text, kMaxHeaderStringUnits)) return false;
  int32_t count;
  if (!ReadInt32(s, count) || count < 0 || count > kMaxIncrementNames) return false;
  std::vector<std::wstring> names;
  for (int32_t i = 0; i < count; ++i) {
    std::wstring name;
    if (!ReadTavString(s, name, kMaxHeaderStringUnits)) return false;
    names.push_back(keepFullPaths ? std::move(name) : FileNamePart(name));
  }

  const uint8_t* q = fixed;
  auto get16 = [&] {
    uint16_t v;
    std::memcpy(&v, q, 2);
    q += 2;
    return v;
  };
  auto get8 = [&] { return *q++; };
  auto get64 = [&] {
    int64_t v;
    std::memcpy(&v, q, 8);
    q += 8;
    return v;
  };
  imagePath = keepFullPaths ? path : FileNamePart(path);
  startYear = get16();
  startMonth = get8();
  startDay = get8();
  startHour = get8();
  startMinute = get8();
  startSecond = get8();
  finishYear = get16();
  finishMonth = get8();
  finishDay = get8();
  finishHour = get8();
  finishMinute = get8();
  finishSecond = get8();
  imageType = get8();
  compressionLevel = get8();
  zero = get8();
  diskNumber = get8();
  partitionNumber = get8();
  driveLetter = get8();
  sourceTotal = get64();
  imageSize = get64();
  comment = text;
  increments = std::move(names);
  return true;
}

bool AttachHeaderToBody(FileStream& image, FileStream& work, int64_t headerTableLength) {
  int64_t imageLength = image.GetLength();
  int64_t expected = work.GetLength();
  if (imageLength < kPrologueSize || expected < 0 || !work.SeekToBegin() || image.SeekToEnd() != 0) {
    SayConsole(L"There was an error attaching header file to body file.\n");
    return false;
  }
  std::vector<char> buf(kCopyBlock);
  int64_t total = 0;
  for (;;) {
    size_t n = work.Read(buf.data(), kCopyBlock);
    if (n == 0) break;
    if (image.Write(buf.data(), static_cast<uint32_t>(n)) != n) break;  // disk full: the totals differ
    total += static_cast<int64_t>(n);
  }
  if (total != expected || image.Flush() != 0) {
    // The prologue keeps its zeros, so the image reads as never completed.
    SayConsole(L"There was an error attaching header file to body file.\n");
    return false;
  }
  TavImagePrologue p;
  p.headerOffset = imageLength - kPrologueSize;
  p.headerLength = headerTableLength;
  if (image.SeekAbsolute(4) != 0 || !WriteInt64(image, p.headerOffset) || !WriteInt64(image, p.headerLength) ||
      image.Flush() != 0) {
    SayConsole(L"There was an error attaching header file to body file.\n");
    return false;
  }
  return true;
}

bool CopyHeaderTable(FileStream& image, FileStream& work) {
  TavImagePrologue p;
  if (!ReadPrologue(image, p)) return false;
  if (image.SeekAbsolute(kPrologueSize + p.headerOffset) != 0) return false;
  return CopyRange(image, work, p.headerLength);
}

bool CopyHeaderTail(FileStream& image, FileStream& work) {
  TavImagePrologue p;
  if (!ReadPrologue(image, p)) return false;
  int64_t len = image.GetLength();
  if (image.SeekAbsolute(kPrologueSize + p.headerOffset) != 0) return false;
  return CopyRange(image, work, len - p.headerOffset - kPrologueSize);
}

bool UpdateImageSize(FileStream& image, int64_t size) {
  if (!SeekToImageHeader(image)) return false;
  if (!SkipTavString(image, kMaxHeaderStringUnits)) return false;
  int64_t at = image.GetPosition() + 28;
  if (at + 8 > image.GetLength()) return false;
  return image.SeekAbsolute(at) == 0 && WriteInt64(image, size) && image.Flush() == 0;
}

namespace {

// Leaves the stream where the increment count lies.
bool SeekToIncrementList(FileStream& image) {
  if (!SeekToImageHeader(image)) return false;
  if (!SkipTavString(image, kMaxHeaderStringUnits)) return false;
  uint8_t fixed[36];
  if (image.Read(fixed, sizeof fixed) != sizeof fixed) return false;
  if (!SkipTavString(image, kMaxHeaderStringUnits)) return false;
  return image.Seek(0, 1) == 0;  // a read must be followed by a seek before a write
}

}  // namespace

bool UpdateIncrementList(FileStream& image, int32_t count, const std::vector<std::wstring>& names,
                         const std::wstring& newName) {
  if (count < 0 || (count > 0 && static_cast<size_t>(count) > names.size())) return false;
  if (!SeekToIncrementList(image)) return false;
  bool ok = WriteInt32(image, count);
  for (int32_t i = 1; i < count; ++i) ok = WriteTavString(image, names[static_cast<size_t>(i)]) && ok;
  if (count > 0) ok = WriteTavString(image, newName) && ok;
  return image.Flush() == 0 && ok;
}

bool UpdateIncrementListFromHeader(FileStream& image, const TavImageHeader& header) {
  if (!SeekToIncrementList(image)) return false;
  bool ok = WriteInt32(image, static_cast<int32_t>(header.increments.size()));
  for (const auto& name : header.increments) ok = WriteTavString(image, name) && ok;
  return image.Flush() == 0 && ok;
}

}  // namespace orva
