// One WMI query over "ROOT\CIMV2" for the caption texts of its rows.
#pragma once
#include <string>
#include <vector>

namespace orva::service {

// Runs the WQL query and collects the string property of every row (ANSI).
// COM is initialised by the caller. The result is empty on success, else
// "WMI ERROR\n" and what failed.
std::string WmiStrings(const wchar_t* query, const wchar_t* property, std::vector<std::string>& values);

// "WMI ERROR\n", what failed and the code, as the callers report it.
std::string WmiError(const char* what, long hr);

// A wide text in the system's ANSI code page.
std::string WideToAnsi(const wchar_t* text);

}  // namespace orva::service
