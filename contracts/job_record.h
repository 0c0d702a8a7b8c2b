// The service's one record: a job definition, a table entry, the unit of
// the TCP protocol in both directions, and a worker's status report.
#pragma once
#include <cstddef>
#include <cstdint>

namespace orva::service {

enum MessageCode : int32_t {
  kAddJob = 200,
  kModifyJob = 201,
  kDeleteJob = 202,
  kJobListBegin = 204,
  kJobListEnd = 205,
  kRunJob = 206,
  kCancelJob = 207,
};

enum JobType : int32_t {
  kFullBackup = 300,
  kUpdateBackup = 301,
  kIncrementalBackup = 302,
  kDifferentialBackup = 303,
  kReplication = 304,
  kReplicationShadow = 305,
  kIsoBackup = 306,
};

enum RunState : int32_t { kArmed = 0, kStarted = 1, kDisarmed = 2, kListMarker = 3 };

enum JobState : int32_t {
  kJobSuccess = 0,
  kJobFailed = 1,
  kJobWarning = 2,
  kJobCreating = 3,
  kJobMounting = 4,
  kJobImaging = 5,
  kJobCopying = 6,
  kJobShadowError = 10,
  kJobMountError = 11,
  kJobAnotherRunning = 99,
  kJobCanceled = -1,
};

struct JobRecord {
  int32_t code;
  char jobName[50];
  char pad0[2];
  int32_t jobType;
  int32_t runState;
  char driveLetter[2];
  char volumeSize[50];
  char imagePath[512];
  char baseImagePath[512];
  int32_t compressionLevel;
  char excludeList[1024];
  char sourceFolder[100];
  char targetFolder[100];
  char reservedText1[300];
  char reservedText2[300];
  char scheduleKind[20];
  char scheduleTime[50];
  char daily;
  char weekly;
  char monthly;
  char pad1[3];
  int32_t dayOfMonth;
  char weekdays[7];  // Monday first
  char pad2[1];
  int32_t processId;
  char startTime[20];
  char endTime[20];
  char elapsedTime[20];
  int64_t totalBytes;
  int64_t bytesToCopy;
  int64_t transferRate;
  int64_t reserved;
  int64_t bytesLeft;
  int32_t percent;
  int32_t jobState;
};

static_assert(sizeof(JobRecord) == 3168);
static_assert(offsetof(JobRecord, jobName) == 4);
static_assert(offsetof(JobRecord, jobType) == 56);
static_assert(offsetof(JobRecord, runState) == 60);
static_assert(offsetof(JobRecord, driveLetter) == 64);
static_assert(offsetof(JobRecord, volumeSize) == 66);
static_assert(offsetof(JobRecord, imagePath) == 116);
static_assert(offsetof(JobRecord, baseImagePath) == 628);
static_assert(offsetof(JobRecord, compressionLevel) == 1140);
static_assert(offsetof(JobRecord, excludeList) == 1144);
static_assert(offsetof(JobRecord, sourceFolder) == 2168);
static_assert(offsetof(JobRecord, targetFolder) == 2268);
static_assert(offsetof(JobRecord, reservedText1) == 2368);
static_assert(offsetof(JobRecord, reservedText2) == 2668);
static_assert(offsetof(JobRecord, scheduleKind) == 2968);
static_assert(offsetof(JobRecord, scheduleTime) == 2988);
static_assert(offsetof(JobRecord, daily) == 3038);
static_assert(offsetof(JobRecord, monthly) == 3040);
static_assert(offsetof(JobRecord, dayOfMonth) == 3044);
static_assert(offsetof(JobRecord, weekdays) == 3048);
static_assert(offsetof(JobRecord, processId) == 3056);
static_assert(offsetof(JobRecord, startTime) == 3060);
static_assert(offsetof(JobRecord, endTime) == 3080);
static_assert(offsetof(JobRecord, elapsedTime) == 3100);
static_assert(offsetof(JobRecord, totalBytes) == 3120);
static_assert(offsetof(JobRecord, bytesToCopy) == 3128);
static_assert(offsetof(JobRecord, transferRate) == 3136);
static_assert(offsetof(JobRecord, reserved) == 3144);
static_assert(offsetof(JobRecord, bytesLeft) == 3152);
static_assert(offsetof(JobRecord, percent) == 3160);
static_assert(offsetof(JobRecord, jobState) == 3164);

}  // namespace orva::service
