// Reading and writing OrvaOption.ovc in the service, the mapping of the
// network repositories and the default repository.
#pragma once
#include <chrono>
#include <cstdint>
#include <functional>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "contracts/options_file.h"
#include "core/service_logs.h"
#include "contracts/shared_file.h"

namespace orva::service {

enum class OptionsStatus {
  kLoaded,
  kMissing,      // no file; `options` untouched; writes allowed
  kLocked,       // exists but unreadable: `options` untouched; do not write
  kCorrupt,      // renamed to ".bad"; `options` untouched; writes allowed
  kCorruptKept,  // corrupt and the rename failed; do not write
};
inline bool OptionsWritable(OptionsStatus s) {
  return s == OptionsStatus::kLoaded || s == OptionsStatus::kMissing || s == OptionsStatus::kCorrupt;
}

// Reads the file of the folder into `options` (only on kLoaded). Problems
// other than a missing file give one log line (tag "OPTIONS").
OptionsStatus ReadOptionsFile(const std::filesystem::path& folder, OptionsRecord& options, const LogSink& log = {},
                              Retry retry = kFileRetry);
// Rewrites the file atomically; the old file stays whole on failure.
bool WriteOptionsFile(const std::filesystem::path& folder, const OptionsRecord& options, Retry retry = kFileRetry);

// Maps every network repository whose drive letter is not in use and
// cancels the disconnect list's drives. A mapping that fails is tried again
// only after a wait that doubles with each failure in a row, from a minute
// up to an hour, so that a wrong stored password cannot lock the account
// under a lockout policy; a change of the group's share, user or password
// ends the wait. A failure is logged once per drive and error code (drive,
// share, user and code; never the password).
class NetworkConnector {
 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;
  static constexpr std::chrono::minutes kFirstRetryWait{1};
  static constexpr std::chrono::minutes kLongestRetryWait{60};

  explicit NetworkConnector(DriveMapper& mapper, Clock clock = {}) : mapper_(mapper), clock_(std::move(clock)) {}
  // Returns the number of connections made.
  int ConnectAll(const OptionsRecord& options, const LogSink& log = {});

 private:
  struct Failure {
    std::string group;  // share, user and password of the failed try
    uint32_t error = 0;
    std::chrono::steady_clock::duration wait{};
    std::chrono::steady_clock::time_point next{};
  };
  std::chrono::steady_clock::time_point Now() const;

  DriveMapper& mapper_;
  Clock clock_;
  std::map<std::string, Failure> failures_;  // by drive
};

// Appends "<path>|" to the repository list unless the list already contains
// the path. False when nothing was added (present, or too long to fit).
bool AddRepository(OptionsRecord& options, std::string_view path);

// Start-up: reads the options file, adds the default repository of `disks`
// when missing and writes the file back. Never writes over a file that could
// not be read. Returns true when the file was written.
bool EnsureDefaultRepository(const std::filesystem::path& folder, const std::vector<DiskInfo>& disks,
                             OptionsRecord& options, const LogSink& log = {}, Retry retry = kFileRetry);

}  // namespace orva::service
