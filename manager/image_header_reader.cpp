#include "image_header_reader.h"

#include <limits>

#include "core/image_header.h"
#include "core/tav_entry.h"

namespace {

constexpr int32_t kFormatWithoutImageHeader = 3000;
constexpr int32_t kFirstFormatWithImageHeader = 4000;

int64_t AddSaturated(int64_t total, int64_t size) {
  if (size <= 0) return total;
  if (total > std::numeric_limits<int64_t>::max() - size) return std::numeric_limits<int64_t>::max();
  return total + size;
}

// Final size recorded by the image at path; 0 when it does not open or read.
int64_t RecordedSize(const char* path, TavImageHeader& header) {
  FileStream file;
  if (!file.Open(path, "rb")) return 0;
  ImageHeaderStatus status = header.ReadFromFile(file);
  file.Close();
  return status == ImageHeaderStatus::kRead ? header.imageSize : 0;
}

}  // namespace

ImageHeaderStatus TavImageHeader::ReadFromFile(FileStream& file) {
  *this = TavImageHeader();
  orva::TavImagePrologue p;
  // Also refuses negative offsets and a table that would end beyond the file.
  if (!orva::ReadPrologue(file, p)) return ImageHeaderStatus::kDamaged;
  if (p.headerOffset == 0) return ImageHeaderStatus::kUnfinished;
  if (p.version == kFormatWithoutImageHeader) return ImageHeaderStatus::kNoImageHeader;
  if (p.version < kFirstFormatWithImageHeader) return ImageHeaderStatus::kDamaged;

  orva::TavImageHeader h;
  if (!h.ReadAt(file, orva::kPrologueSize + p.headerOffset + p.headerLength, true))
    return ImageHeaderStatus::kDamaged;

  imagePath = ToAnsiText(h.imagePath);
  startYear = h.startYear;
  startMonth = h.startMonth;
  startDay = h.startDay;
  startHour = h.startHour;
  startMinute = h.startMinute;
  startSecond = h.startSecond;
  finishYear = h.finishYear;
  finishMonth = h.finishMonth;
  finishDay = h.finishDay;
  finishHour = h.finishHour;
  finishMinute = h.finishMinute;
  finishSecond = h.finishSecond;
  imageKind = h.imageType;
  compressionLevel = h.compressionLevel;
  reserved = h.zero;
  diskNumber = h.diskNumber;
  partitionNumber = h.partitionNumber;
  driveLetter = h.driveLetter;
  sourceTotal = h.sourceTotal;
  imageSize = h.imageSize;
  comment = ToAnsiText(h.comment);
  incrementCount = static_cast<int32_t>(h.increments.size());
  increments.reserve(h.increments.size());
  for (const auto& name : h.increments) increments.push_back(ToAnsiText(name));
  return ImageHeaderStatus::kRead;
}

bool TavImageHeader::ReadString(FileStream& file, std::string& target) {
  std::wstring text;
  if (!orva::ReadTavString(file, text, orva::kMaxHeaderStringUnits)) return false;
  target = ToAnsiText(text);
  return true;
}

int64_t ImageTotalSize(const char* imagePath) {
  TavImageHeader header;
  int64_t total = AddSaturated(0, RecordedSize(imagePath, header));
  for (const auto& path : header.increments) {
    TavImageHeader member;
    total = AddSaturated(total, RecordedSize(path.c_str(), member));
  }
  return total;
}
