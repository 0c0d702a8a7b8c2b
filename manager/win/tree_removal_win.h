// Removal of a folder tree on Windows through the file API (see
// core/tree_removal.h).
#pragma once
#include <string>
#include <vector>

namespace orva::manager {

// Removes the folder at the ANSI path and everything below it, links as
// links. Returns the ANSI paths of what could not be removed.
std::vector<std::string> RemoveFolderTree(const std::string& folder);

}  // namespace orva::manager
