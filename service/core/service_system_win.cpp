// Windows side of the service's portable code.
#include <windows.h>

#include "core/service_system.h"

namespace orva::service {

PathKind KindOfPath(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? PathKind::kMissing : PathKind::kOther;
  }
  return attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT) ? PathKind::kOther : PathKind::kFile;
}

}  // namespace orva::service
