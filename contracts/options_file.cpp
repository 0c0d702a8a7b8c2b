#include "contracts/options_file.h"

#include <algorithm>
#include <cctype>

#include "contracts/shared_file.h"

namespace orva::service {
namespace {

bool HasControl(std::string_view text) {
  for (char c : text) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7f) return true;
  }
  return false;
}

}  // namespace

std::string NetworkRepository::Host() const {
  std::string_view rest = share;
  rest.remove_prefix(std::min<size_t>(2, rest.size()));
  return std::string(rest.substr(0, rest.find('\\')));
}

std::string NetworkRepository::QualifiedUser() const { return Host() + "\\" + user; }

std::vector<NetworkRepository> ParseNetworkList(std::string_view list) {
  std::vector<NetworkRepository> out;
  for (;;) {
    std::string_view fields[4];
    std::string_view rest = list;
    bool complete = true;
    for (auto& field : fields) {
      size_t bar = rest.find('|');
      if (bar == std::string_view::npos) {
        complete = false;
        break;
      }
      field = rest.substr(0, bar);
      rest.remove_prefix(bar + 1);
    }
    if (!complete) break;
    out.push_back({std::string(fields[0]), std::string(fields[1]), std::string(fields[2]), std::string(fields[3])});
    list = rest;
  }
  return out;
}

std::string FormatOptionsFile(const OptionsRecord& options) {
  return "Repository Directory:\r\n" + options.repositories + "\r\nNetwork Repository Directory:\r\n" +
         options.network + "\r\n";
}

bool ParseOptionsFile(std::string_view bytes, OptionsRecord& options, std::string& why) {
  const std::vector<std::string_view> lines = SplitLines(bytes);
  const std::string_view repositories = lines.size() > 1 ? lines[1] : std::string_view();
  const std::string_view network = lines.size() > 3 ? lines[3] : std::string_view();
  if (repositories.size() > kRepositoryListMax || network.size() > kNetworkListMax) {
    why = "a list is longer than its field";
    return false;
  }
  if (HasControl(repositories) || HasControl(network)) {
    why = "a list holds control characters";
    return false;
  }
  options.repositories = std::string(repositories);
  options.network = std::string(network);
  return true;
}

bool OptionsFitTheFile(const OptionsRecord& options) {
  return options.repositories.size() <= kRepositoryListMax && options.network.size() <= kNetworkListMax &&
         !HasControl(options.repositories) && !HasControl(options.network);
}

std::optional<std::string> ChooseDefaultRepository(const std::vector<DiskInfo>& disks) {
  const DiskInfo* best = nullptr;
  for (const DiskInfo& disk : disks) {
    if (disk.type != kFixedDisk || disk.drive.empty()) continue;
    if (!best || disk.freeBytes > best->freeBytes) best = &disk;
  }
  if (!best) return std::nullopt;
  return best->drive + "\\Orvanta";
}

bool SameDrive(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

}  // namespace orva::service
