// OrvaOption.ovc and the network repositories. The file has four lines
// (CR LF, ANSI): "Repository Directory:", the repository list,
// "Network Repository Directory:", the network repository list. Lines 2 and
// 4 are read by position. The network list is groups of four fields, each
// ended by "|": drive "X:", share "\\host\share...", user, password. The
// password is kept in the file as entered and never put in a log line.
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

#include "core/service_logs.h"
#include "core/shared_file.h"

namespace orva::service {

inline constexpr char kOptionsFileName[] = "OrvaOption.ovc";
inline constexpr size_t kRepositoryListMax = 1023;
inline constexpr size_t kNetworkListMax = 4095;
inline constexpr size_t kDisconnectListMax = 1027;

struct OptionsRecord {
  std::string repositories;  // folders, each followed by "|"
  std::string network;       // network repository groups
  std::string disconnect;    // groups to disconnect; never in the file
};

struct NetworkRepository {
  std::string drive;     // "Z:"
  std::string share;     // "\\host\share"
  std::string user;
  std::string password;
  std::string Host() const;              // share less its leading "\\", up to the next "\"
  std::string QualifiedUser() const;     // "host\user"
};

// Complete groups only; text after the last "|" that ends a group is ignored.
std::vector<NetworkRepository> ParseNetworkList(std::string_view list);

// The file text and its parser. ParseOptionsFile refuses (false, `why`) a
// line 2 or 4 longer than its field or holding control characters; missing
// lines read as empty.
std::string FormatOptionsFile(const OptionsRecord& options);
bool ParseOptionsFile(std::string_view bytes, OptionsRecord& options, std::string& why);

enum class OptionsStatus {
  kLoaded,
  kMissing,     // no file; `options` untouched; writes allowed
  kLocked,      // exists but unreadable: `options` untouched; do not write
  kCorrupt,     // renamed to ".bad"; `options` untouched; writes allowed
  kCorruptKept, // corrupt and the rename failed; do not write
};
inline bool OptionsWritable(OptionsStatus s) {
  return s == OptionsStatus::kLoaded || s == OptionsStatus::kMissing || s == OptionsStatus::kCorrupt;
}

// Reads the file of the folder into `options` (only on kLoaded). Problems
// other than a missing file give one log line (tag "OPTIONS").
OptionsStatus ReadOptionsFile(const std::filesystem::path& folder, OptionsRecord& options,
                              const LogSink& log = {}, Retry retry = kFileRetry);
// Rewrites the file atomically; the old file stays whole on failure.
bool WriteOptionsFile(const std::filesystem::path& folder, const OptionsRecord& options,
                      Retry retry = kFileRetry);

// The drive mapping calls, so the bookkeeping can be tested without them.
class DriveMapper {
 public:
  virtual ~DriveMapper() = default;
  virtual std::vector<std::string> DrivesInUse() = 0;  // "C:", "D:", ...
  // 0 on success, else a system error code.
  virtual uint32_t Connect(const NetworkRepository& repository) = 0;
  virtual uint32_t Disconnect(const std::string& drive) = 0;
};

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

// Drive letters compared without case: "z:" is "Z:".
bool SameDrive(std::string_view a, std::string_view b);

struct DiskInfo {
  std::string drive;   // "C:"
  int type = 0;        // 3 = fixed disk (DRIVE_FIXED)
  int64_t freeBytes = 0;
};
inline constexpr int kFixedDisk = 3;

// The fixed disk with the most free bytes (the first of equal ones), as
// "D:\Orvanta"; none when there is no fixed disk.
std::optional<std::string> ChooseDefaultRepository(const std::vector<DiskInfo>& disks);
// Appends "<path>|" to the repository list unless the list already contains
// the path. False when nothing was added (present, or too long to fit).
bool AddRepository(OptionsRecord& options, std::string_view path);

// Start-up: reads the options file, adds the default repository of `disks`
// when missing and writes the file back. Never writes over a file that could
// not be read. Returns true when the file was written.
bool EnsureDefaultRepository(const std::filesystem::path& folder, const std::vector<DiskInfo>& disks,
                             OptionsRecord& options, const LogSink& log = {}, Retry retry = kFileRetry);

}  // namespace orva::service
