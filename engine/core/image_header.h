// The two ends of a TAV image: the 20-byte prologue that locates the header
// table, and the image header after the table with its increment list.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "core/file_stream.h"

namespace orva {

constexpr int64_t kPrologueSize = 20;
constexpr int32_t kMaxIncrementNames = 100000;
constexpr int32_t kMaxHeaderStringUnits = 32767;  // longest path the platform accepts

struct TavImagePrologue {
  int32_t version = 0;
  int64_t headerOffset = 0;  // body length, from the end of the prologue
  int64_t headerLength = 0;  // header table alone
};

bool WritePrologue(FileStream& image, const TavImagePrologue& p);
// Reads the prologue at offset 0. With checkBounds, also checks that the
// header table lies inside the file; false means a damaged image.
bool ReadPrologue(FileStream& image, TavImagePrologue& p, bool checkBounds = true);

struct TavImageHeader {
  std::wstring imagePath;
  uint16_t startYear = 0;
  uint8_t startMonth = 0, startDay = 0, startHour = 0, startMinute = 0, startSecond = 0;
  uint16_t finishYear = 0;
  uint8_t finishMonth = 0, finishDay = 0, finishHour = 0, finishMinute = 0, finishSecond = 0;
  uint8_t imageType = 0;  // 0 full, 1 update, 2 incremental, 3 differential
  uint8_t compressionLevel = 0;
  uint8_t zero = 0;
  uint8_t diskNumber = 0;
  uint8_t partitionNumber = 0;
  uint8_t driveLetter = 0;
  int64_t sourceTotal = 0;
  int64_t imageSize = 0;
  std::wstring comment;
  std::vector<std::wstring> increments;  // oldest first; its size is the stored count

  bool Write(FileStream& s) const;
  int64_t GetSerializedSize() const;
  // Reads the record at an absolute position; unless keepFullPaths, image
  // path and increment names keep only their part after the last backslash.
  // False on a damaged record, which is then left unchanged.
  bool ReadAt(FileStream& s, int64_t position, bool keepFullPaths = false);
};

// Appends the header work file to the image and patches the prologue.
bool AttachHeaderToBody(FileStream& image, FileStream& work, int64_t headerTableLength);
// Copies the header table (format 3000) or the table and image header
// (format 4000 and above) of an image into a work stream.
bool CopyHeaderTable(FileStream& image, FileStream& work);
bool CopyHeaderTail(FileStream& image, FileStream& work);

// In-place rewrites of an image's header. False when the image is damaged.
bool UpdateImageSize(FileStream& image, int64_t size);
// Writes count names: names[1..count-1], then newName (when count > 0).
bool UpdateIncrementList(FileStream& image, int32_t count, const std::vector<std::wstring>& names,
                         const std::wstring& newName);
bool UpdateIncrementListFromHeader(FileStream& image, const TavImageHeader& header);

}  // namespace orva
