// The facts of a TAV image's header as the GUI programs see them: texts in
// the system's ANSI code page, increment files by their full stored paths.
// Reads through the engine's file stream and header reader.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "core/file_stream.h"

using FileStream = orva::FileStream;

enum class ImageHeaderStatus {
  kRead,            // every field filled
  kUnfinished,      // the engine never finished writing the image
  kNoImageHeader,   // format 3000: a header table only
  kDamaged,         // short file, offsets or counts that cannot be right
};

struct TavImageHeader {
  std::string imagePath;
  uint16_t startYear = 0;
  uint8_t startMonth = 0, startDay = 0, startHour = 0, startMinute = 0, startSecond = 0;
  uint16_t finishYear = 0;
  uint8_t finishMonth = 0, finishDay = 0, finishHour = 0, finishMinute = 0, finishSecond = 0;
  uint8_t imageKind = 0;  // 0 full, 1 update, 2 incremental, 3 differential
  uint8_t compressionLevel = 0;
  uint8_t reserved = 0;
  uint8_t diskNumber = 0;
  uint8_t partitionNumber = 0;
  uint8_t driveLetter = 0;  // '*' when the image was not made from a drive
  int64_t sourceTotal = 0;  // -1 when the engine was not given one
  int64_t imageSize = 0;    // final size that the image records of itself
  std::string comment;      // shown as the image's operating system
  int32_t incrementCount = 0;
  std::vector<std::string> increments;  // increment image files, as stored

  // Fills the record from an image opened with mode "rb"; the caller closes
  // it. Unless the result is kRead the record keeps its constructor values.
  ImageHeaderStatus ReadFromFile(FileStream& file);

  // Reads one length-prefixed UTF-16 string at the current position into
  // target. False, with target unchanged, for a negative or oversized count
  // or a string cut short by the end of the file.
  static bool ReadString(FileStream& file, std::string& target);
};

// Byte total of the chain that starts at imagePath: the final sizes that the
// image and each of its listed increment files record. Members that do not
// open or read add nothing; the total saturates instead of overflowing.
int64_t ImageTotalSize(const char* imagePath);

// UTF-16 text to the ANSI code page; characters the code page lacks come out
// as its replacement character. Ends at the first NUL.
std::string ToAnsiText(const std::wstring& text);
