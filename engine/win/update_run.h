#pragma once

namespace orva {
// Commands u, i, d and w: a new image of the source compared with the full
// image (and, for i, its increments). False when the run ended before its
// report.
bool RunUpdate();
}  // namespace orva
