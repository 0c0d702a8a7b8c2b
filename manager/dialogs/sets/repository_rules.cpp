#include "repository_rules.h"

#include <algorithm>
#include <cctype>

namespace orva::manager {
namespace {

using service::NetworkRepository;
using service::ParseNetworkList;
using service::SameDrive;

bool EqualNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
         });
}

std::string Group(const NetworkRepository& r) {
  return r.drive + "|" + r.share + "|" + r.user + "|" + r.password + "|";
}

size_t ListLength(const std::vector<std::string>& lines) {
  size_t n = 0;
  for (const std::string& line : lines) n += line.size() + 1;
  return n;
}

constexpr char kFullMessage[] = "The image repository list is full.\nPlease remove an image repository first.";
constexpr char kBarMessage[] = "An image repository entry cannot contain \"|\".\nPlease try again.";

}  // namespace

std::vector<std::string> SplitRepositoryList(std::string_view list) {
  std::vector<std::string> out;
  for (size_t bar; (bar = list.find('|')) != std::string_view::npos; list.remove_prefix(bar + 1))
    out.emplace_back(list.substr(0, bar));
  return out;
}

std::vector<std::string> FreeDriveLetters(const std::vector<std::string>& drivesInUse) {
  std::vector<std::string> out;
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    const std::string drive = std::string(1, letter) + ":";
    bool used = false;
    for (const std::string& d : drivesInUse) used = used || SameDrive(d.substr(0, 2), drive);
    if (!used) out.push_back(drive);
  }
  return out;
}

std::string NetworkInputProblem(const NetworkInput& input) {
  if (input.share.empty()) return "Network repository path is not assigned.\nPlease try again.";
  if (input.user.empty()) return "Please enter a username.";
  if (input.password.empty()) return "Please enter a password.";
  if (input.drive.empty()) return "Please select a drive letter.";
  if (input.share.size() < 3 || input.share.compare(0, 2, "\\\\") != 0 || input.share[2] == '\\')
    return "Network repository path must be a network share such as \\\\server\\share.\nPlease try again.";
  for (const std::string* field : {&input.share, &input.user, &input.password})
    if (field->find('|') != std::string::npos) return kBarMessage;
  return {};
}

RepositoryEditor::RepositoryEditor(std::string_view repositoryList, std::string_view networkList)
    : lines_(SplitRepositoryList(repositoryList)), network_(networkList) {}

std::string RepositoryEditor::AddLocal(std::string path) {
  if (path.empty()) return "Local repository path is not assigned.\nPlease try again.";
  if (path.size() == 3 && path[1] == ':' && (path[2] == '\\' || path[2] == '/')) path.resize(2);
  if (path.find('|') != std::string::npos) return kBarMessage;
  for (const std::string& line : lines_)
    if (EqualNoCase(line, path)) return "This is already registered";
  if (ListLength(lines_) + path.size() + 1 > service::kRepositoryListMax) return kFullMessage;
  lines_.push_back(path);
  return {};
}

std::string RepositoryEditor::AddNetwork(const NetworkInput& input) {
  if (std::string problem = NetworkInputProblem(input); !problem.empty()) return problem;
  const NetworkRepository repository{input.drive, input.share, input.user, input.password};
  const std::string group = Group(repository);
  if (network_.size() + group.size() > service::kNetworkListMax ||
      ListLength(lines_) + input.drive.size() + 1 > service::kRepositoryListMax)
    return kFullMessage;
  network_ += group;
  lines_.push_back(input.drive);
  // A share added again in this run is no longer to be disconnected.
  std::string kept;
  for (const NetworkRepository& r : ParseNetworkList(removed_))
    if (!SameDrive(r.drive, input.drive)) kept += Group(r);
  removed_ = kept;
  return {};
}

bool RepositoryEditor::Remove(size_t index) {
  if (index >= lines_.size()) return false;
  const std::string line = lines_[index];
  lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(index));
  bool network = false;
  std::string kept;
  for (const NetworkRepository& r : ParseNetworkList(network_)) {
    if (SameDrive(r.drive, line)) {
      network = true;
      removed_ += Group(r);
    } else {
      kept += Group(r);
    }
  }
  network_ = kept;
  return network;
}

std::string RepositoryEditor::BuildOptions(service::OptionsRecord& out) const {
  std::string list;
  for (const std::string& line : lines_) list += line + "|";
  if (list.size() > service::kRepositoryListMax || network_.size() > service::kNetworkListMax) return kFullMessage;
  out.repositories = list;
  out.network = network_;
  // Kept in memory only; the groups beyond the field are left connected.
  std::string removed;
  for (const NetworkRepository& r : ParseNetworkList(removed_)) {
    const std::string group = Group(r);
    if (removed.size() + group.size() > service::kDisconnectListMax) break;
    removed += group;
  }
  out.disconnect = removed;
  return {};
}

std::string RepositoryEditor::ConfirmText() const {
  if (lines_.empty()) return "Please add an image repository.\nDo you want to continue?";
  std::string text = "Below are the registered image repositories.\n\n";
  for (const std::string& line : lines_) text += "\t" + line + "\n";
  return text + "\nDo you want to continue?";
}

}  // namespace orva::manager
