// Links and junctions found by the restore walk, made after every file and
// directory exists.
#pragma once
#include <vector>

#include "core/tav_entry.h"

namespace orva {

struct RestoreQueues {
  std::vector<CTavJunction> junctions;
  std::vector<CTavSymbolicLinkDirectory> directoryLinks;
  std::vector<CTavSymbolicLinkFile> fileLinks;
  void Clear() { *this = RestoreQueues(); }
};

RestoreQueues& Queues();

}  // namespace orva
