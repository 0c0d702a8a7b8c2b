#include "core/options.h"

#include <algorithm>
#include <cctype>

namespace orva::service {
namespace {

void Emit(const LogSink& log, std::string_view text) {
  if (log) log("OPTIONS", text);
}

}  // namespace

OptionsStatus ReadOptionsFile(const std::filesystem::path& folder, OptionsRecord& options, const LogSink& log,
                              Retry retry) {
  const std::filesystem::path path = folder / kOptionsFileName;
  std::string bytes;
  switch (ReadWholeFile(path, bytes, retry)) {
    case ReadResult::kMissing:
      return OptionsStatus::kMissing;
    case ReadResult::kUnreadable:
      Emit(log, "OrvaOption.ovc could not be read; it is left as it is");
      return OptionsStatus::kLocked;
    case ReadResult::kOk:
      break;
  }
  std::string why;
  OptionsRecord read;
  if (ParseOptionsFile(bytes, read, why)) {
    read.disconnect = options.disconnect;
    options = std::move(read);
    return OptionsStatus::kLoaded;
  }
  if (KeepAside(path)) {
    Emit(log, "OrvaOption.ovc is damaged (" + why + "); kept as OrvaOption.ovc.bad");
    return OptionsStatus::kCorrupt;
  }
  Emit(log, "OrvaOption.ovc is damaged (" + why + ") and could not be renamed; it is left as it is");
  return OptionsStatus::kCorruptKept;
}

bool WriteOptionsFile(const std::filesystem::path& folder, const OptionsRecord& options, Retry retry) {
  if (!OptionsFitTheFile(options)) return false;
  return ReplaceWholeFile(folder / kOptionsFileName, FormatOptionsFile(options), retry);
}

std::chrono::steady_clock::time_point NetworkConnector::Now() const {
  return clock_ ? clock_() : std::chrono::steady_clock::now();
}

int NetworkConnector::ConnectAll(const OptionsRecord& options, const LogSink& log) {
  const std::vector<NetworkRepository> wanted = ParseNetworkList(options.network);
  const std::vector<NetworkRepository> unwanted = ParseNetworkList(options.disconnect);
  if (wanted.empty() && unwanted.empty()) return 0;
  const std::vector<std::string> inUse = mapper_.DrivesInUse();
  const auto now = Now();
  int made = 0;
  for (const NetworkRepository& repo : wanted) {
    bool used = false;
    for (const std::string& drive : inUse) used = used || SameDrive(drive, repo.drive);
    if (used) {
      failures_.erase(repo.drive);
      continue;
    }
    const std::string group = repo.share + '|' + repo.user + '|' + repo.password;
    auto failed = failures_.find(repo.drive);
    if (failed != failures_.end() && failed->second.group == group && now < failed->second.next) continue;
    const uint32_t error = mapper_.Connect(repo);
    if (error == 0) {
      ++made;
      failures_.erase(repo.drive);
      Emit(log, "Mapped " + repo.drive + " to " + repo.share + " as " + repo.QualifiedUser());
      continue;
    }
    Failure& f = failures_[repo.drive];
    const bool again = f.group == group && f.wait.count() > 0;
    const bool sameError = again && f.error == error;
    f.wait = again ? std::min<std::chrono::steady_clock::duration>(f.wait * 2, kLongestRetryWait)
                   : std::chrono::steady_clock::duration(kFirstRetryWait);
    f.group = group;
    f.error = error;
    f.next = now + f.wait;
    if (sameError) continue;
    const auto minutes = std::chrono::duration_cast<std::chrono::minutes>(f.wait).count();
    Emit(log, "Could not map " + repo.drive + " to " + repo.share + " as " + repo.QualifiedUser() + " [error " +
                  std::to_string(error) + "]; tried again in " + std::to_string(minutes) +
                  " minute(s) at the earliest");
  }
  for (const NetworkRepository& repo : unwanted) {
    const uint32_t error = mapper_.Disconnect(repo.drive);
    if (error != 0) Emit(log, "Could not disconnect " + repo.drive + " [error " + std::to_string(error) + "]");
  }
  return made;
}

bool AddRepository(OptionsRecord& options, std::string_view path) {
  if (path.empty() || options.repositories.find(path) != std::string::npos) return false;
  if (options.repositories.size() + path.size() + 1 > kRepositoryListMax) return false;
  options.repositories.append(path).append("|");
  return true;
}

bool EnsureDefaultRepository(const std::filesystem::path& folder, const std::vector<DiskInfo>& disks,
                             OptionsRecord& options, const LogSink& log, Retry retry) {
  const std::optional<std::string> path = ChooseDefaultRepository(disks);
  if (!path) return false;
  const OptionsStatus status = ReadOptionsFile(folder, options, log, retry);
  if (!OptionsWritable(status)) return false;
  if (!AddRepository(options, *path)) return false;
  if (!WriteOptionsFile(folder, options, retry)) {
    Emit(log, "OrvaOption.ovc could not be written; the previous file is kept");
    return false;
  }
  Emit(log, "Default repository " + *path + " added");
  return true;
}

}  // namespace orva::service
