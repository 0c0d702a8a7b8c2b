// A folder of its own below the temporary folder, and whole-file reads and
// writes, for the tests that work on files.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

namespace orva::manager {

struct Folder {
  Folder() : path(std::filesystem::temp_directory_path() / ("orva_mgr_" + std::to_string(std::random_device{}()))) {
    std::filesystem::create_directories(path);
  }
  ~Folder() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
  std::filesystem::path path;
};

inline void Write(const std::filesystem::path& p, const std::string& bytes) {
  std::ofstream(p, std::ios::binary) << bytes;
}

inline std::string Read(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

}  // namespace orva::manager
