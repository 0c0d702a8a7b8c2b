// OrvaOption.ovc and the network repositories. The file has four lines
// (CR LF, ANSI): "Repository Directory:", the repository list,
// "Network Repository Directory:", the network repository list. Lines 2 and
// 4 are read by position. The network list is groups of four fields, each
// ended by "|": drive "X:", share "\\host\share...", user, password. The
// password is kept in the file as entered and never put in a log line.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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
  std::string drive;  // "Z:"
  std::string share;  // "\\host\share"
  std::string user;
  std::string password;
  std::string Host() const;           // share less its leading "\\", up to the next "\"
  std::string QualifiedUser() const;  // "host\user"
};

// Complete groups only; text after the last "|" that ends a group is ignored.
std::vector<NetworkRepository> ParseNetworkList(std::string_view list);

// The file text and its parser. ParseOptionsFile refuses (false, `why`) a
// line 2 or 4 longer than its field or holding control characters; missing
// lines read as empty.
std::string FormatOptionsFile(const OptionsRecord& options);
bool ParseOptionsFile(std::string_view bytes, OptionsRecord& options, std::string& why);
// True when both lists fit their fields and hold no control characters, so
// that the written file parses back.
bool OptionsFitTheFile(const OptionsRecord& options);

// Drive letters compared without case: "z:" is "Z:".
bool SameDrive(std::string_view a, std::string_view b);

// The drive mapping calls, so the bookkeeping can be tested without them.
class DriveMapper {
 public:
  virtual ~DriveMapper() = default;
  virtual std::vector<std::string> DrivesInUse() = 0;  // "C:", "D:", ...
  // 0 on success, else a system error code.
  virtual uint32_t Connect(const NetworkRepository& repository) = 0;
  virtual uint32_t Disconnect(const std::string& drive) = 0;
};

struct DiskInfo {
  std::string drive;  // "C:"
  int type = 0;       // 3 = fixed disk (DRIVE_FIXED)
  int64_t freeBytes = 0;
};
inline constexpr int kFixedDisk = 3;

// The fixed disk with the most free bytes (the first of equal ones), as
// "D:\Orvanta"; none when there is no fixed disk.
std::optional<std::string> ChooseDefaultRepository(const std::vector<DiskInfo>& disks);

}  // namespace orva::service
