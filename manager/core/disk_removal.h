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

// True when `name` (as listed in the image header: a base name or a full
// path) is an increment of the chain of `imagePath`; `resolved` then holds
// its full path.
bool IsChainIncrement(std::string_view imagePath, std::string_view name, std::string& resolved);

}  // namespace orva::manager
