// Native stand-ins for the few platform calls the portable code needs.
#include <cerrno>
#include <cwchar>
#include <string>

#include "core/output.h"
#include "core/run_log.h"
#include "core/wide.h"

namespace orva {

std::string EncodeConsoleText(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) {
    if (c == L'\n') out += "\r\n";
    else if (c >= 0 && c < 0x80) out.push_back(static_cast<char>(c));
    else out.push_back('?');
  }
  return out;
}

std::wstring SystemErrorText(long code) { return code ? Fmt(L"System error %ld.\r\n", code) : L""; }
long LastSystemError() { return errno; }

}  // namespace orva
