#pragma once
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/job_record.h"
#include "core/job_record_check.h"
#include "core/shared_file.h"

namespace orva::service::test {

// No waiting between tries in tests.
inline constexpr Retry kQuick{2, std::chrono::milliseconds(0)};

// A fresh folder in the temp folder, removed when the test ends.
class TempFolder {
 public:
  TempFolder() {
    static const unsigned run = std::random_device{}();
    static int counter = 0;
    path_ = std::filesystem::temp_directory_path() /
            ("orva_svc_" + std::to_string(run) + "_" + std::to_string(counter++));
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

// A valid daily image job.
inline JobRecord SampleJob(const std::string& name, const std::string& kind = "daily") {
  JobRecord r{};
  r.code = kAddJob;
  SetFieldText(r.jobName, name);
  r.jobType = kFullBackup;
  r.runState = kArmed;
  SetFieldText(r.driveLetter, "C");
  SetFieldText(r.volumeSize, "119.240 GB");
  SetFieldText(r.imagePath, "D:\\Orvanta\\" + name + ".tav");
  SetFieldText(r.baseImagePath, "none");
  r.compressionLevel = 1;
  SetFieldText(r.excludeList, "C:\\Temp|C:\\pagefile|");
  SetFieldText(r.sourceFolder, "none");
  SetFieldText(r.targetFolder, "none");
  SetFieldText(r.reservedText1, "none");
  SetFieldText(r.reservedText2, "none");
  SetFieldText(r.scheduleKind, kind);
  SetFieldText(r.scheduleTime, "02:30");
  r.daily = kind == "daily" ? 'y' : 'n';
  r.weekly = kind == "weekly" ? 'y' : 'n';
  r.monthly = kind == "monthly" ? 'y' : 'n';
  for (char& day : r.weekdays) day = 'n';
  r.weekdays[0] = 'y';
  r.dayOfMonth = kind == "monthly" ? 15 : 0;
  return r;
}

}  // namespace orva::service::test
