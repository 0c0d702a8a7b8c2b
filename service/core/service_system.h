// The few system calls of the service's portable code, one implementation
// for Windows (service_system_win.cpp) and one for POSIX
// (service_system_posix.cpp).
#pragma once
#include <string>

namespace orva::service {

enum class PathKind { kMissing, kFile, kOther };
// What is at the path: nothing (or no such folder), a plain file, or
// anything else (a folder, a link, or a path that cannot be read).
PathKind KindOfPath(const std::string& path);

}  // namespace orva::service
