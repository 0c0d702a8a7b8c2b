// The images of an increment chain opened for reading: each member's image
// and a work copy of its header table.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/file_stream.h"
#include "core/image_header.h"
#include "core/tav_entry.h"

namespace orva {

struct ChainImage {
  std::wstring path, workPath;
  FileStream image, work;
  int32_t version = 0;
  TavImagePrologue prologue;
  TavImageHeader header;  // images of format 4000 and above
};
using ImageChain = std::vector<std::unique_ptr<ChainImage>>;

// Opens each image "rb" with its work file "w+b", reads its prologue and
// image header and copies its table; images left at byte 20, work files at
// their start. False after the fatal message: every file of the chain is
// then closed and its work file removed.
bool OpenChainMembers(const std::vector<std::wstring>& paths, ImageChain& chain);
void CloseChain(ImageChain& chain, bool removeWork);

// One image of a chain as its order is checked: the file read, the image
// header it holds, and whether its stored name must be its file name.
struct ChainLink {
  std::wstring path;
  const TavImageHeader* header = nullptr;
  bool nameChecked = true;
};
// The images of a chain in order, the full image first: each stored image
// name (its file-name part, letter case aside) must be the file's name, and
// no image may have started later than the image after it. Each image that
// does not fit is named in a warning and counted; the run goes on.
void WarnMisplacedImages(const std::vector<ChainLink>& links);
std::vector<ChainLink> LinksOf(const ImageChain& chain);
ChainStreams StreamsOf(const ImageChain& chain);

}  // namespace orva
