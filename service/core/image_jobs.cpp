#include "core/image_jobs.h"

#include "core/file_stream.h"
#include "core/image_header.h"
#include "core/service_system.h"

namespace orva::service {

ScriptShadowTool ChooseScriptShadowTool(std::string_view caption, std::string_view windowsFolder,
                                        std::string_view defaultFolder) {
  if (caption.find("XP") != std::string_view::npos) return {"vshadow_xp.exe", std::string(defaultFolder)};
  if (caption.find("64bit") != std::string_view::npos) {
    std::string folder(windowsFolder);
    while (!folder.empty() && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
    // Without a Windows folder the settings file stays where the others go.
    return {"vshadow_amd64.exe", folder.empty() ? std::string(defaultFolder) : folder + "\\syswow64"};
  }
  return {"vshadow.exe", std::string(defaultFolder)};
}

const char* ImageFileStateText(ImageFileState state) {
  switch (state) {
    case ImageFileState::kMissing:
      return "missing";
    case ImageFileState::kComplete:
      return "a complete image";
    case ImageFileState::kUnfinished:
      return "an unfinished image";
    case ImageFileState::kDamaged:
      return "a damaged image";
    case ImageFileState::kForeign:
      return "not a TAV image";
  }
  return "";
}

ImageFileState ReadImageFileState(FileStream& file) {
  const int64_t length = file.GetLength();
  if (length < 0) return ImageFileState::kForeign;
  // The engine's first bytes may still be in its buffer when it ends.
  if (length == 0) return ImageFileState::kUnfinished;
  TavImagePrologue p;
  if (!ReadPrologue(file, p, false) || (p.version != 3000 && p.version != 4000)) return ImageFileState::kForeign;
  const bool placeholders = p.headerOffset == 0 && p.headerLength == 0;
  const int64_t room = length - kPrologueSize;
  if (p.headerOffset < 0 || p.headerLength < 0 || p.headerOffset > room || p.headerLength > room - p.headerOffset)
    return ImageFileState::kDamaged;
  const int64_t tableEnd = kPrologueSize + p.headerOffset + p.headerLength;
  if (p.version == 3000) {
    // The header table ends the image; an empty source leaves the prologue alone.
    if (tableEnd == length) return ImageFileState::kComplete;
    return placeholders ? ImageFileState::kUnfinished : ImageFileState::kDamaged;
  }
  TavImageHeader header;
  if (header.ReadAt(file, tableEnd, true) && tableEnd + header.GetSerializedSize() == length)
    return ImageFileState::kComplete;
  return placeholders ? ImageFileState::kUnfinished : ImageFileState::kDamaged;
}

ImageFileState ReadImageFileState(const std::string& path) {
  switch (KindOfPath(path)) {
    case PathKind::kMissing:
      return ImageFileState::kMissing;
    case PathKind::kOther:
      return ImageFileState::kForeign;
    case PathKind::kFile:
      break;
  }
  FileStream file;
  if (!file.Open(path.c_str(), "rb")) return ImageFileState::kForeign;
  const ImageFileState state = ReadImageFileState(file);
  file.Close();
  return state;
}

}  // namespace orva::service
