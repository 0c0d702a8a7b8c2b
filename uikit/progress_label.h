// The label of a progress cell, which needs no window: C++ runtime only.
#pragma once
#include <string>

namespace orva::ui {

// `format` with its integer conversions (%d, %i, with up to 8 flags and a
// width up to 64, at most 64 characters from "%" to the letter) given
// `percent`, "%%" as a percent sign; any other conversion is shown as
// written. An empty or missing format gives "50%".
std::string ProgressLabelText(const char* format, int percent);

}  // namespace orva::ui
