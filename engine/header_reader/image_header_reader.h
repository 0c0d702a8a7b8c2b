// The image header of a TAV image as the GUI programs read it: the engine's
// own record, with the full stored paths of the image and its increments,
// and its texts in the system's ANSI code page on request.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "core/file_stream.h"
#include "core/image_header.h"

using FileStream = orva::FileStream;
using orva::TavImageHeader;

enum class ImageHeaderStatus {
  kRead,           // every field filled
  kUnfinished,     // the engine never finished writing the image
  kNoImageHeader,  // format 3000: a header table only
  kDamaged,        // short file, offsets or counts that cannot be right
};

// Fills the record from an image opened with mode "rb"; the caller closes
// it. Unless the result is kRead the record keeps its constructor values.
ImageHeaderStatus ReadImageHeader(FileStream& file, TavImageHeader& header);

// Reads one length-prefixed UTF-16 string at the current position into
// target, in ANSI. False, with target unchanged, for a negative or
// oversized count or a string cut short by the end of the file.
bool ReadAnsiString(FileStream& file, std::string& target);

// The increment files of the header as ANSI paths, oldest first.
std::vector<std::string> AnsiIncrements(const TavImageHeader& header);

// Byte total of the chain that starts at imagePath: the final sizes that the
// image and each of its listed increment files record. Members that do not
// open or read add nothing; the total saturates instead of overflowing.
int64_t ImageTotalSize(const char* imagePath);

// UTF-16 text to the ANSI code page; characters the code page lacks come out
// as its replacement character. Ends at the first NUL.
std::string ToAnsiText(const std::wstring& text);
