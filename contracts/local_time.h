// The local time of a moment, the same call on every system.
#pragma once
#include <ctime>

namespace orva {

std::tm LocalTimeOf(std::time_t t);

}  // namespace orva
