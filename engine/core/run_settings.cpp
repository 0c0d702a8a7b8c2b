#include "core/run_settings.h"

#include <cwchar>
#include <limits>

#include "core/wide.h"

namespace orva {

RunSettings& Settings() {
  static RunSettings settings;
  return settings;
}

int64_t ParseDecimal(const std::wstring& text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == L' ' || text[i] == L'\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) negative = text[i++] == L'-';
  uint64_t value = 0;
  const uint64_t limit = static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) + (negative ? 1 : 0);
  for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
    unsigned digit = static_cast<unsigned>(text[i] - L'0');
    if (value > (limit - digit) / 10) {
      value = limit;  // saturate like the runtime does
      break;
    }
    value = value * 10 + digit;
  }
  if (negative) return value == limit ? std::numeric_limits<int64_t>::min() : -static_cast<int64_t>(value);
  return static_cast<int64_t>(value);
}

namespace {

int32_t ClampInt32(int64_t v) {
  if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (v < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(v);
}

std::wstring DropTrailingBackslash(std::wstring s) {
  if (!s.empty() && s.back() == L'\\') s.pop_back();
  return s;
}

void ParseDescriptor(const std::wstring& text, RunSettings& s) {
  std::wstring rest = text;
  int64_t code = ParseDecimal(rest.substr(0, 2));
  rest = rest.size() > 2 ? rest.substr(2) : std::wstring();
  if (code != 0) return;
  s.driveLetter = rest.substr(0, 1);
  rest = rest.size() > 1 ? rest.substr(1) : std::wstring();
  s.diskNumber = ClampInt32(ParseDecimal(rest.substr(0, 2)));
  rest = rest.size() > 2 ? rest.substr(2) : std::wstring();
  s.partitionNumber = ClampInt32(ParseDecimal(rest.substr(0, 2)));
  rest = rest.size() > 2 ? rest.substr(2) : std::wstring();
  s.byteTotal = ParseDecimal(rest);
}

// Integer part of a decimal number, 0 for a text that is not one.
int32_t ParseVersion(const std::wstring& text) {
  wchar_t* end = nullptr;
  double v = std::wcstod(text.c_str(), &end);
  if (end == text.c_str() || v != v) return 0;
  if (v >= 2147483647.0) return std::numeric_limits<int32_t>::max();
  if (v <= -2147483648.0) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(v);
}

}  // namespace

bool ParseCommandLine(int argc, const wchar_t* const* argv, RunSettings& s, std::wstring& error) {
  s.formatVersion = 4000;
  s.driveLetter = L"*";
  s.diskNumber = -1;
  s.partitionNumber = -1;
  s.byteTotal = -1;
  s.comment = L"No comment";
  error.clear();
  if (argc <= 1) return false;

  std::wstring command = argv[1];
  if (command.size() != 1 || std::wstring(L"auwxidr").find(command[0]) == std::wstring::npos) {
    s.command.clear();
    error = Fmt(L"Error in %d-th argument : the command %ls is not supported.", 1, command.c_str());
    return false;
  }
  s.command = command;

  for (int i = 2; i < argc; ++i) {
    const std::wstring arg = argv[i];
    if (!arg.empty() && arg[0] == L'-') {
      const wchar_t second = arg.size() > 1 ? arg[1] : L'\0';
      const wchar_t third = arg.size() > 2 ? arg[2] : L'\0';
      const std::wstring after2 = arg.size() > 2 ? arg.substr(2) : std::wstring();
      const std::wstring after3 = arg.size() > 3 ? arg.substr(3) : std::wstring();
      switch (second) {
        case L'v':
          s.formatVersion = ParseVersion(after2);
          break;
        case L't':
        case L'a':
        case L'u':
          break;
        case L'm':
          if (third == L'a' || third == L's') break;
          if (third == L'x') {
            wchar_t level = arg.size() > 3 ? arg[3] : L'\0';
            s.compressionLevel = (level >= L'1' && level <= L'3') ? 1 : (level >= L'4' && level <= L'9') ? 9 : 0;
            break;
          }
          error = Fmt(L"Error in %d-th argument : the detail option %ls is not supported.", i, arg.c_str());
          return false;
        case L'x':
          if (third == L'!') {
            s.exclusions.push_back(after3);
            break;
          }
          error = Fmt(L"Error in %d-th argument : the detail option %ls is not supported.", i, arg.c_str());
          return false;
        case L'o':
          s.targetFolder = DropTrailingBackslash(after2);
          break;
        case L'i':
          s.mappingName = after2;
          s.shareProgress = !after2.empty();
          break;
        case L'w':
          s.useWorkFolder = true;
          s.workFolder = DropTrailingBackslash(after2);
          break;
        case L'c':
          s.comment = after2;
          break;
        case L'd':
          ParseDescriptor(after2, s);
          break;
        default:
          error = Fmt(L"Error in %d-th argument : the switch %ls is not supported.", i, arg.c_str());
          return false;
      }
      continue;
    }
    if (s.imagePath.empty()) {
      s.imagePath = arg;
    } else if (s.command == L"x") {
      error = Fmt(L"Error in %d-th argument : the source drive name %ls is not allowed in the extraction mode.", i,
                  arg.c_str());
      return false;
    } else if (s.source.empty()) {
      s.source = arg;
    }
  }
  return true;
}

}  // namespace orva
