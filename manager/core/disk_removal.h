// What "Delete from Disk" may delete of an image job: the image, its run
// logs and header work file, and the increments of its chain. The increment
// list comes from the image's header and may name any path, so only names
// that lie in the image's own folder and carry the chain's names
// ("<stem>_NNNN.TAV") are deleted; every other name is kept and reported.
#pragma once
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace orva::manager {

struct DiskRemovalPlan {
  std::vector<std::string> remove;  // in the order to delete
  std::vector<std::string> kept;    // listed increments that are not the job's own
};

// `exists` tells whether a companion file is there (the image itself is
// deleted without a test). Types 300-303; others delete nothing.
DiskRemovalPlan PlanImageRemoval(std::string_view imagePath, int jobType, const std::vector<std::string>& increments,
                                 const std::function<bool(const std::string&)>& exists);

// What was found at an image job's image path.
enum class ImageFileFound {
  kMissing,     // nothing there
  kImage,       // a file with a TAV prologue and a header that read
  kNotAnImage,  // a folder, a file that does not read as a TAV image, or one that does not open
};

// Whether Delete from Disk may delete the files of an image job (300-303).
struct ImageRemovalDecision {
  bool deleteFiles = false;  // the image, its companions and its own increments
  bool deleteJob = true;     // false: the job stays, `why` says why
  std::string why;
};
ImageRemovalDecision DecideImageRemoval(std::string_view imagePath, ImageFileFound found);

// True when `name` (as listed in the image header: a base name or a full
// path) is an increment of the chain of `imagePath`; `resolved` then holds
// its full path.
bool IsChainIncrement(std::string_view imagePath, std::string_view name, std::string& resolved);

}  // namespace orva::manager
