// The checks a job record passes before the manager sends it as ADDJOB or
// MODIFYJOB: the service makes the same ones and drops a record that fails
// them without an answer, so the manager tells the user instead.
#pragma once
#include <functional>
#include <string>
#include <string_view>

#include "contracts/job_record.h"

namespace orva::manager {

// Why the service would refuse the record; empty when it would take it (and
// for every other code). `nameExists` tells whether a job of that name is
// known: an ADDJOB needs a new name, a MODIFYJOB a known one. The two
// folders are the ones a replication target must keep clear of.
std::string SendRefusal(const service::JobRecord& record, const std::function<bool(std::string_view)>& nameExists,
                        std::string_view windowsFolder, std::string_view serviceFolder);

// The message that shows a refusal.
std::string SendRefusalMessage(const service::JobRecord& record, const std::string& why);

}  // namespace orva::manager
