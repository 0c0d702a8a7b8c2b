// Native stand-ins for the few platform calls the portable code needs.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <ctime>
#include <cwchar>
#include <string>

#include "core/output.h"
#include "core/platform.h"
#include "core/run_log.h"
#include "core/wide.h"

namespace orva {

namespace {

// A path in the locale's multibyte encoding; false when a character has none.
bool Narrow(const std::wstring& wide, std::string& out) {
  out.clear();
  std::mbstate_t state{};
  for (wchar_t c : wide) {
    char buf[MB_LEN_MAX];
    const size_t n = std::wcrtomb(buf, c, &state);
    if (n == static_cast<size_t>(-1)) return false;
    out.append(buf, n);
  }
  return true;
}

}  // namespace

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

std::FILE* OpenFile(const std::wstring& path, const std::wstring& mode) {
  std::string p, m;
  if (!Narrow(path, p) || !Narrow(mode, m)) return nullptr;
  return std::fopen(p.c_str(), m.c_str());
}

// POSIX files take no share modes: every open is shared.
std::FILE* OpenSharedFile(const std::wstring& path, bool append) {
  std::string p;
  if (!Narrow(path, p)) return nullptr;
  return std::fopen(p.c_str(), append ? "ab" : "wb");
}

int SeekFile(std::FILE* file, int64_t offset, int origin) { return fseeko(file, static_cast<off_t>(offset), origin); }

int64_t TellFile(std::FILE* file) { return static_cast<int64_t>(ftello(file)); }

std::tm LocalTime(std::time_t t) {
  std::tm tm{};
  localtime_r(&t, &tm);
  return tm;
}

}  // namespace orva
