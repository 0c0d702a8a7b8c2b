// The repository options as the manager reads and writes OrvaOption.ovc,
// and its default repository: the fixed disk with the most free space.
#pragma once
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "contracts/options_file.h"
#include "contracts/shared_file.h"

namespace orva::manager {

using service::DiskInfo;
using service::OptionsRecord;

// Finds the line after the one holding "Repository Directory" and the line
// after the next one holding "Network Repository Directory" (labels matched
// with case). A label not found, or a following line longer than its field,
// leaves that field as it was.
void ParseOptionsByLabel(std::string_view text, OptionsRecord& options);

// 0 read, 1 the file cannot be opened (`options` untouched).
int LoadOptionsFile(const std::filesystem::path& file, OptionsRecord& options);
// 0 written (four lines, the disconnect list never), 1 failed (the old
// file stays whole).
int SaveOptionsFile(const std::filesystem::path& file, const OptionsRecord& options);

// "<drive>\Orvanta" of the fixed disk with the most free bytes (the first of
// equal ones; a disk with nothing free is never chosen); none when no disk
// qualifies.
std::optional<std::string> DefaultRepository(const std::vector<DiskInfo>& disks);

}  // namespace orva::manager
