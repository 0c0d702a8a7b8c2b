#include "core/send_checks.h"

#include "contracts/job_record_check.h"

namespace orva::manager {

std::string SendRefusal(const service::JobRecord& record, const std::function<bool(std::string_view)>& nameExists,
                        std::string_view windowsFolder, std::string_view serviceFolder) {
  if (record.code != service::kAddJob && record.code != service::kModifyJob) return {};
  const std::string name(service::JobName(record));
  const bool known = nameExists && nameExists(name);
  if (record.code == service::kAddJob && known) return "a job named \"" + name + "\" already exists";
  if (record.code == service::kModifyJob && !known) return "there is no job named \"" + name + "\" to change";
  std::string why;
  if (!service::ValidateJobRecord(record, why)) return why;
  return service::JobPathsProblem(record, windowsFolder, serviceFolder);
}

std::string SendRefusalMessage(const service::JobRecord& record, const std::string& why) {
  return "The job \"" + std::string(service::JobName(record)) +
         "\" was not sent to the service, which would refuse it:\n" + why + ".";
}

}  // namespace orva::manager
