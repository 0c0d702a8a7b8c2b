#pragma once
#include <memory>

#include "core/restore_walk.h"

namespace orva {
std::unique_ptr<RestoreFileSystem> MakeWindowsRestoreFileSystem();
}
