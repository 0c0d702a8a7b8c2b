#pragma once

namespace orva {
// Makes or opens the mapping named by -i and its "_Status" companion.
void CreateProgressMapping();
void CloseProgressMapping();
}  // namespace orva
