#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>

#include "contracts/ansi_path.h"
#ifdef _WIN32
#include <windows.h>
#endif

namespace orva {
namespace {

namespace fs = std::filesystem;

TEST(AnsiPath, PlainTextsGoBothWays) {
  for (const char* text : {"", "C:\\Data\\a b.txt", "\\\\server\\share\\x", "Log\\Replicate_job.log"}) {
    const fs::path path = PathFromAnsi(text);
    std::string back = "stale";
    EXPECT_TRUE(AnsiFromPath(path, back)) << text;
    EXPECT_EQ(back, text);
    EXPECT_EQ(path, fs::path(std::string(text))) << text;  // ASCII reads the same either way
  }
}

#ifdef _WIN32
// A file that the system's ANSI calls make under a name is the file that
// the path made from that name finds, and its name comes back unchanged.
TEST(AnsiPath, NamesTheFileTheAnsiCallsName) {
  const fs::path dir = fs::temp_directory_path() / ("orva_ansi_" + std::to_string(std::random_device{}()));
  fs::create_directories(dir);
  std::string dirText;
  ASSERT_TRUE(AnsiFromPath(dir, dirText));
  // Korean (code page 949), the euro sign of code page 1252, Latin letters.
  int made = 0;
  for (const char* name : {"\xB9\xAE\xBC\xAD", "\xC7\xD1\xB1\xDB_\xB9\xE9\xBE\xF7", "a\x80z", "caf\xE9", "plain"}) {
    if (MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, name, -1, nullptr, 0) <= 0)
      continue;  // not in this code page
    const std::string text = dirText + "\\" + name + ".log";
    HANDLE h = CreateFileA(text.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    // Wine stores a name only in its host's character set (none but ASCII
    // under the POSIX locale).
    if (h == INVALID_HANDLE_VALUE) continue;
    ++made;
    CloseHandle(h);
    const fs::path path = PathFromAnsi(text);
    EXPECT_TRUE(fs::exists(path)) << name;
    EXPECT_EQ(path.parent_path(), dir);
    std::string back;
    EXPECT_TRUE(AnsiFromPath(path, back));
    EXPECT_EQ(back, text);
    for (const auto& entry : fs::directory_iterator(dir)) {
      std::string listed;
      if (entry.path().filename() == path.filename()) {
        EXPECT_TRUE(AnsiFromPath(entry.path(), listed) && listed == text);
      }
    }
    fs::remove(path);
  }
  EXPECT_GT(made, 0);
  fs::remove_all(dir);
}

TEST(AnsiPath, ACharacterWithoutAnsiFormIsRefused) {
  // Thai and Devanagari letters are in neither the western nor the Korean code page.
  std::string out = "stale";
  EXPECT_FALSE(AnsiFromPath(fs::path(L"C:\\x\u0E01\u0915.txt"), out));
  EXPECT_EQ(out, "");
  // No best-fit stand-in either ("A" for "\u0100" would name another file).
  if (GetACP() == 1252) {
    EXPECT_FALSE(AnsiFromPath(fs::path(L"C:\\\u0100"), out));
  }
}
#endif

}  // namespace
}  // namespace orva
