// One WMI query over "ROOT\CIMV2" for the caption texts of its rows.
#pragma once
#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace orva::platform {

// A WMI query that does not answer within this is given up.
inline constexpr std::chrono::seconds kWmiQueryLimit{60};

// Runs the WQL query and collects the string property of every row (ANSI).
// The query runs on a thread of its own, with COM initialised there, and is
// given up after `limit` (its thread is then left to end by itself). The
// result is empty on success, else "WMI ERROR\n" and what failed.
std::string WmiStrings(const wchar_t* query, const wchar_t* property, std::vector<std::string>& values,
                       std::chrono::milliseconds limit = kWmiQueryLimit);

// Runs `work` on a thread of its own and waits at most `limit` for it.
// False when it did not end in time, or no thread could be made (`work`
// then never runs): whatever `work` touches must then stay valid by itself.
bool RunWithin(std::function<void()> work, std::chrono::milliseconds limit);

// "WMI ERROR\n", what failed and the code, as the callers report it.
std::string WmiError(const char* what, long hr);

}  // namespace orva::platform
