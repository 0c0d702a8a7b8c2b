// What the image workers decide before a run: the shadow-copy tool of the
// script form, and what a full backup may do with the files it finds at its
// image path and at the ".old" name beside it.
#pragma once
#include <string>
#include <string_view>

namespace orva {
class FileStream;
}

namespace orva::service {

// The shadow-copy tool that runs a backup script, and the folder of the
// settings file it writes, by the OS caption (first match wins): "XP"
// vshadow_xp.exe; "64bit" vshadow_amd64.exe, whose settings file goes to
// the 32-bit system folder "<windows>\syswow64"; else vshadow.exe. The
// settings file of the first and last goes to `defaultFolder`.
struct ScriptShadowTool {
  std::string program;
  std::string settingsFolder;
};
ScriptShadowTool ChooseScriptShadowTool(std::string_view caption, std::string_view windowsFolder,
                                        std::string_view defaultFolder);

enum class ImageFileState {
  kMissing,
  kComplete,    // a whole TAV image
  kUnfinished,  // an image the engine has not finished: empty, or its prologue still at its placeholders
  kDamaged,     // a TAV prologue whose header table or image header does not fit the file
  kForeign,     // anything else: never replaced or deleted
};
const char* ImageFileStateText(ImageFileState state);

// The state of an open image file, from its prologue and, in format 4000,
// its image header, which must end the file.
ImageFileState ReadImageFileState(FileStream& file);
// The state of the file at an ANSI path; a folder or a file that does not
// open for reading is foreign.
ImageFileState ReadImageFileState(const std::string& path);

// A TAV file (whole or not) that a full backup may replace or delete.
inline bool MayReplaceImage(ImageFileState s) {
  return s == ImageFileState::kComplete || s == ImageFileState::kUnfinished || s == ImageFileState::kDamaged;
}

// A full backup moved the previous image to "<image>.old" and did not finish
// (the service or the engine ended): the previous image goes back.
inline bool ShouldPutBackPreviousImage(ImageFileState image, ImageFileState previous) {
  return previous == ImageFileState::kComplete &&
         (image == ImageFileState::kMissing || image == ImageFileState::kUnfinished);
}

inline std::string PreviousImagePath(std::string_view imagePath) { return std::string(imagePath) + ".old"; }

}  // namespace orva::service
