// The engine's settings, read once from the command line.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace orva {

struct RunSettings {
  std::wstring command;
  std::wstring imagePath;
  std::wstring source;
  int32_t formatVersion = 4000;
  int32_t compressionLevel = 0;  // not reset by a parse
  std::vector<std::wstring> exclusions;
  std::wstring targetFolder;
  std::wstring mappingName;
  bool shareProgress = false;
  bool useWorkFolder = false;
  std::wstring workFolder;
  std::wstring comment = L"No comment";
  std::wstring driveLetter = L"*";
  int32_t diskNumber = -1;
  int32_t partitionNumber = -1;
  int64_t byteTotal = -1;
};

RunSettings& Settings();

// True when the whole command line was accepted; otherwise error holds the
// message (empty when there was no argument at all).
bool ParseCommandLine(int argc, const wchar_t* const* argv, RunSettings& settings, std::wstring& error);

// Decimal text as the C runtime's wtoi64 reads it: optional blanks and sign,
// then digits up to the first other character; 0 when there are none.
int64_t ParseDecimal(const std::wstring& text);

}  // namespace orva
