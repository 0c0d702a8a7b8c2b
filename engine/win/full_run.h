#pragma once

namespace orva {
// Command a: a new full image of a folder tree or volume. False when the run
// ended before its report.
bool RunFullImage();
// Command r: empties the increment list of a full image.
bool RunReset();
}  // namespace orva
