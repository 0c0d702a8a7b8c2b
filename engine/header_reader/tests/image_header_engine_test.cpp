// Images made by OrvaImage itself (ORVA_BIN names its folder), read back.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "image_header_reader.h"

namespace fs = std::filesystem;

namespace {

class EngineImages : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* bin = std::getenv("ORVA_BIN");
    if (!bin || !*bin) GTEST_SKIP() << "ORVA_BIN is not set";
    engine_ = fs::path(bin) / "OrvaImage.exe";
    root_ = fs::temp_directory_path() / ("orva_ihr_engine_" + std::to_string(GetCurrentProcessId()));
    fs::remove_all(root_);
    fs::create_directories(root_ / "src" / "sub");
    fs::create_directories(root_ / "img");
    Put("a.txt", "first file\n");
    Put("sub/b.bin", std::string(70000, 'b'));
  }
  void TearDown() override {
    std::error_code ec;
    if (!root_.empty()) fs::remove_all(root_, ec);
  }

  void Put(const std::string& rel, const std::string& content) {
    std::ofstream(root_ / "src" / rel, std::ios::binary) << content;
  }

  // Runs OrvaImage with the arguments; its exit code, 999 when it did not run.
  DWORD Engine(const std::wstring& args) {
    std::wstring cmd = L"\"" + engine_.wstring() + L"\" " + args;
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE out = CreateFileW((root_ / "engine.out").wstring().c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa,
                             CREATE_ALWAYS, 0, nullptr);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = si.hStdError = out;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION pi{};
    DWORD code = 999;
    if (CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
      if (WaitForSingleObject(pi.hProcess, 120000) == WAIT_OBJECT_0) GetExitCodeProcess(pi.hProcess, &code);
      CloseHandle(pi.hProcess);
      CloseHandle(pi.hThread);
    }
    CloseHandle(out);
    return code;
  }

  std::wstring Quoted(const fs::path& p) { return L"\"" + p.wstring() + L"\""; }

  fs::path engine_, root_;
};

TavImageHeader Read(const fs::path& p, ImageHeaderStatus expected = ImageHeaderStatus::kRead) {
  TavImageHeader h;
  FileStream f;
  EXPECT_TRUE(f.Open(p.string().c_str(), "rb")) << p.string();
  EXPECT_EQ(ReadImageHeader(f, h), expected) << p.string();
  f.Close();
  return h;
}

}  // namespace

TEST_F(EngineImages, FullImageWithTwoIncrementsAndTheChainTotal) {
  const fs::path full = root_ / "img" / "Job.TAV";
  const fs::path src = root_ / "src";
  ASSERT_EQ(Engine(L"a " + Quoted(full) + L" " + Quoted(src) + L" -mx9 \"-cWindows 10 Pro [64bit]\""), 0u);
  TavImageHeader h = Read(full);
  EXPECT_EQ(ToAnsiText(h.imagePath), full.string());
  EXPECT_EQ(h.imageType, 0);
  EXPECT_EQ(h.compressionLevel, 9);
  EXPECT_EQ(h.driveLetter, '*');
  EXPECT_EQ(h.sourceTotal, -1);
  EXPECT_GT(h.startYear, 2000);
  EXPECT_GE(h.finishYear, h.startYear);
  EXPECT_EQ(ToAnsiText(h.comment), "Windows 10 Pro [64bit]");
  EXPECT_EQ(h.imageSize, static_cast<int64_t>(fs::file_size(full)));
  EXPECT_TRUE(h.increments.empty());
  EXPECT_EQ(ImageTotalSize(full.string().c_str()), h.imageSize);

  const fs::path first = root_ / "img" / "Job_0001.TAV", second = root_ / "img" / "Job_0002.TAV";
  Put("a.txt", "changed once\n");
  ASSERT_EQ(Engine(L"i " + Quoted(full) + L" " + Quoted(src) + L" -mx1"), 0u);
  Put("c.txt", "added\n");
  ASSERT_EQ(Engine(L"i " + Quoted(full) + L" " + Quoted(src) + L" -mx1"), 0u);

  h = Read(full);
  ASSERT_EQ(h.increments.size(), 2u);
  EXPECT_EQ(AnsiIncrements(h), (std::vector<std::string>{first.string(), second.string()}));
  TavImageHeader inc = Read(first);
  EXPECT_EQ(ToAnsiText(inc.imagePath), first.string());
  EXPECT_EQ(inc.imageType, 2);
  EXPECT_EQ(inc.compressionLevel, 1);
  EXPECT_EQ(inc.imageSize, static_cast<int64_t>(fs::file_size(first)));

  const int64_t sizes[] = {h.imageSize, inc.imageSize, Read(second).imageSize};
  EXPECT_EQ(ImageTotalSize(full.string().c_str()), sizes[0] + sizes[1] + sizes[2]);
  fs::remove(second);
  EXPECT_EQ(ImageTotalSize(full.string().c_str()), sizes[0] + sizes[1]);
}

TEST_F(EngineImages, Format3000ImageHasNoHeaderToRead) {
  const fs::path image = root_ / "img" / "Old.TAV";
  ASSERT_EQ(Engine(L"a " + Quoted(image) + L" " + Quoted(root_ / "src") + L" -v3000"), 0u);
  TavImageHeader h = Read(image, ImageHeaderStatus::kNoImageHeader);
  EXPECT_EQ(h.imagePath, L"");
  EXPECT_EQ(ImageTotalSize(image.string().c_str()), 0);
}
