// POSIX side of the service's portable code, for the native sanitizer build.
#include <sys/stat.h>

#include <cerrno>

#include "core/service_system.h"

namespace orva::service {

PathKind KindOfPath(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return errno == ENOENT || errno == ENOTDIR ? PathKind::kMissing : PathKind::kOther;
  return S_ISREG(st.st_mode) ? PathKind::kFile : PathKind::kOther;
}

}  // namespace orva::service
