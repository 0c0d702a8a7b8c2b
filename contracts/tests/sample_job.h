// A valid job record for tests and test programs (no test framework here).
#pragma once
#include <cstring>
#include <string>

#include "contracts/job_record.h"
#include "contracts/job_record_check.h"

namespace orva::service::test {

// A valid daily image job.
inline JobRecord SampleJob(const std::string& name, const std::string& kind = "daily") {
  JobRecord r{};
  r.code = kAddJob;
  SetFieldText(r.jobName, name);
  r.jobType = kFullBackup;
  r.runState = kArmed;
  SetFieldText(r.driveLetter, "C");
  SetFieldText(r.volumeSize, "119.240 GB");
  SetFieldText(r.imagePath, "D:\\Orvanta\\" + name + ".tav");
  SetFieldText(r.baseImagePath, "none");
  r.compressionLevel = 1;
  SetFieldText(r.excludeList, "C:\\Temp|C:\\pagefile|");
  SetFieldText(r.sourceFolder, "none");
  SetFieldText(r.targetFolder, "none");
  SetFieldText(r.reservedText1, "none");
  SetFieldText(r.reservedText2, "none");
  SetFieldText(r.scheduleKind, kind);
  SetFieldText(r.scheduleTime, "02:30");
  r.daily = kind == "daily" ? 'y' : 'n';
  r.weekly = kind == "weekly" ? 'y' : 'n';
  r.monthly = kind == "monthly" ? 'y' : 'n';
  for (char& day : r.weekdays) day = 'n';
  r.weekdays[0] = 'y';
  r.dayOfMonth = kind == "monthly" ? 15 : 0;
  return r;
}

}  // namespace orva::service::test
