// A run that meets what it cannot handle still ends with its report: an
// exception that escapes the run (a failed allocation among them) counts a
// fatal error and removes the run's work files; the images are left to the
// run's own clean-up as it unwinds, so the previous image stays.
#pragma once
#include <functional>
#include <string>

namespace orva {

// A file the run makes for itself (a header table, a copy of one): removed
// when the run fails that way. The runs remove them themselves otherwise.
void AddWorkFile(const std::wstring& path);
void ClearWorkFiles();

// Runs the command and gives its result (true: the report follows). A
// cancel passes through; any other exception is reported, counted fatal and
// the work files removed, and the report follows.
bool GuardRun(const std::function<bool()>& run);

}  // namespace orva
