#pragma once
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "contracts/job_record.h"
#include "contracts/job_record_check.h"
#include "contracts/shared_file.h"
#include "contracts/tests/sample_job.h"

namespace orva::service::test {

// No waiting between tries in tests.
inline constexpr Retry kQuick{2, std::chrono::milliseconds(0)};

// A fresh folder in the temp folder, removed when the test ends.
class TempFolder {
 public:
  TempFolder() {
    static const unsigned run = std::random_device{}();
    static int counter = 0;
    path_ =
        std::filesystem::temp_directory_path() / ("orva_svc_" + std::to_string(run) + "_" + std::to_string(counter++));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::filesystem::path& Path() const { return path_; }
  std::filesystem::path operator/(const char* name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

inline std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

}  // namespace orva::service::test
