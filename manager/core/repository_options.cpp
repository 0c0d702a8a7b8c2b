#include "core/repository_options.h"

namespace orva::manager {

using service::ReadResult;

void ParseOptionsByLabel(std::string_view text, OptionsRecord& options) {
  const std::vector<std::string_view> lines = service::SplitLines(text);
  size_t at = 0;
  auto take = [&](std::string_view label, std::string& field, size_t room) {
    for (; at < lines.size(); ++at) {
      if (lines[at].find(label) == std::string_view::npos) continue;
      if (at + 1 < lines.size() && lines[at + 1].size() <= room) field = std::string(lines[at + 1]);
      at += 2;
      return;
    }
  };
  take("Repository Directory", options.repositories, service::kRepositoryListMax);
  take("Network Repository Directory", options.network, service::kNetworkListMax);
}

int LoadOptionsFile(const std::filesystem::path& file, OptionsRecord& options) {
  std::string text;
  if (service::ReadWholeFile(file, text, service::Retry{1, std::chrono::milliseconds(0)}) != ReadResult::kOk) return 1;
  ParseOptionsByLabel(text, options);
  return 0;
}

int SaveOptionsFile(const std::filesystem::path& file, const OptionsRecord& options) {
  return service::ReplaceWholeFile(file, service::FormatOptionsFile(options),
                                   service::Retry{1, std::chrono::milliseconds(0)})
             ? 0
             : 1;
}

std::optional<std::string> DefaultRepository(const std::vector<DiskInfo>& disks) {
  std::vector<DiskInfo> withRoom;
  for (const DiskInfo& d : disks)
    if (d.freeBytes > 0) withRoom.push_back(d);
  return service::ChooseDefaultRepository(withRoom);
}

}  // namespace orva::manager
