// What the repository dialog does with its lists: the repository list
// lines, the network repository groups and the groups removed in this run,
// the checks of an added entry with their messages, and the OptionsRecord
// built on OK. No windows here. A password is never put in a message.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "contracts/options_file.h"

namespace orva::manager {

// The pieces of a "|"-ended list; a last piece without its "|" is dropped.
std::vector<std::string> SplitRepositoryList(std::string_view list);

// "X:" of every letter A-Z that is not among the drives in use.
std::vector<std::string> FreeDriveLetters(const std::vector<std::string>& drivesInUse);

struct NetworkInput {
  std::string share;
  std::string user;
  std::string password;
  std::string drive;  // empty when no drive is selected
};

// The state the dialog edits.
class RepositoryEditor {
 public:
  RepositoryEditor(std::string_view repositoryList, std::string_view networkList);

  const std::vector<std::string>& Lines() const { return lines_; }
  const std::string& Network() const { return network_; }
  const std::string& Removed() const { return removed_; }

  // Each returns the message to show, empty when the entry was added.
  // `path` gets the line added (a drive root "D:\" becomes "D:").
  std::string AddLocal(std::string path);
  std::string AddNetwork(const NetworkInput& input);
  // Removes line `index`; true when it was a network drive (its letter is
  // then free again).
  bool Remove(size_t index);

  // The record on OK; a message instead when a list does not fit its field.
  std::string BuildOptions(service::OptionsRecord& out) const;
  // The question asked before OK.
  std::string ConfirmText() const;

 private:
  std::vector<std::string> lines_;
  std::string network_;
  std::string removed_;
};

// The checks of the network Add and of the connectivity test, in order;
// empty when all pass.
std::string NetworkInputProblem(const NetworkInput& input);

}  // namespace orva::manager
