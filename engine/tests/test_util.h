#pragma once
#include <filesystem>
#include <string>
#include <vector>

#include "core/file_stream.h"
#include "core/output.h"

namespace orva::test {

// A file in the temp folder, removed when the test ends.
class TempFile {
 public:
  explicit TempFile(const std::string& name)
      : path_(std::filesystem::temp_directory_path() / ("orva_" + name + "_" + std::to_string(Counter()++))) {
    std::filesystem::remove(path_);
  }
  ~TempFile() {
    std::error_code ec;
    std::filesystem::remove(path_, ec);
  }
  std::wstring Path() const { return path_.wstring(); }
  std::vector<uint8_t> Bytes() const {
    FileStream f;
    std::vector<uint8_t> out;
    if (!f.Open(Path(), L"rb")) return out;
    out.resize(static_cast<size_t>(f.GetLength()));
    if (!out.empty()) f.Read(out.data(), static_cast<uint32_t>(out.size()));
    f.Close();
    return out;
  }
  void Write(const std::vector<uint8_t>& bytes) const {
    FileStream f;
    f.Open(Path(), L"wb");
    if (!bytes.empty()) f.Write(bytes.data(), static_cast<uint32_t>(bytes.size()));
    f.Close();
  }

 private:
  static int& Counter() {
    static int n = 0;
    return n;
  }
  std::filesystem::path path_;
};

// Records what the engine says while it lives.
class CaptureOutput : public OutputSink {
 public:
  CaptureOutput() { SetOutputSink(this); }
  ~CaptureOutput() override { SetOutputSink(nullptr); }
  void Console(const std::wstring& text) override { console += text; }
  void Log(const std::wstring& text) override { log += text; }
  std::wstring console, log;
};

}  // namespace orva::test
