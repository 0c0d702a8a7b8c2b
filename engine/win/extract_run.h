#pragma once

namespace orva {
// Command x: restores an image, with its increment chain, into -o.
bool RunExtraction();
}  // namespace orva
