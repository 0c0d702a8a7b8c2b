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
  ImageHeaderStatus status = ReadImageHeader(file, header);
  file.Close();
  return status == ImageHeaderStatus::kRead ? header.imageSize : 0;
}

}  // namespace

ImageHeaderStatus ReadImageHeader(FileStream& file, TavImageHeader& header) {
  header = TavImageHeader();
  orva::TavImagePrologue p;
  // Also refuses negative offsets and a table that would end beyond the file.
  if (!orva::ReadPrologue(file, p)) return ImageHeaderStatus::kDamaged;
  if (p.headerOffset == 0) return ImageHeaderStatus::kUnfinished;
  if (p.version == kFormatWithoutImageHeader) return ImageHeaderStatus::kNoImageHeader;
  if (p.version < kFirstFormatWithImageHeader) return ImageHeaderStatus::kDamaged;
  // ReadAt leaves the record as it was when the header is damaged.
  if (!header.ReadAt(file, orva::kPrologueSize + p.headerOffset + p.headerLength, true))
    return ImageHeaderStatus::kDamaged;
  return ImageHeaderStatus::kRead;
}

bool ReadAnsiString(FileStream& file, std::string& target) {
  std::wstring text;
  if (!orva::ReadTavString(file, text, orva::kMaxHeaderStringUnits)) return false;
  target = ToAnsiText(text);
  return true;
}

std::vector<std::string> AnsiIncrements(const TavImageHeader& header) {
  std::vector<std::string> names;
  names.reserve(header.increments.size());
  for (const auto& name : header.increments) names.push_back(ToAnsiText(name));
  return names;
}

int64_t ImageTotalSize(const char* imagePath) {
  TavImageHeader header;
  int64_t total = AddSaturated(0, RecordedSize(imagePath, header));
  for (const auto& path : AnsiIncrements(header)) {
    TavImageHeader member;
    total = AddSaturated(total, RecordedSize(path.c_str(), member));
  }
  return total;
}
