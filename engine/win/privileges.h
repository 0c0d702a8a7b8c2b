#pragma once

namespace orva {
void EnablePrivileges();
void DisablePrivileges();
}  // namespace orva
