#pragma once

namespace orva {
// Console (stdout, binary, code page 949 with CR LF) and the run log.
void InstallEngineOutput();
}  // namespace orva
