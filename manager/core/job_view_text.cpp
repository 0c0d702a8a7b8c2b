#include "core/job_view_text.h"

#include <cinttypes>
#include <cstdio>

#include "core/details_text.h"
#include "contracts/job_record_check.h"

namespace orva::manager {

using namespace service;

bool IsBackupType(int32_t t) {
  return t == kFullBackup || t == kUpdateBackup || t == kIncrementalBackup || t == kDifferentialBackup ||
         t == kIsoBackup;
}
bool IsReplicationType(int32_t t) { return t == kReplication || t == kReplicationShadow; }
bool IsOnce(const JobRecord& job) { return FieldText(job.scheduleKind) == "once"; }

int JobKindImage(const JobRecord& job) {
  if (IsReplicationType(job.jobType)) return IsOnce(job) ? kImgReplOnce : kImgReplRecurring;
  return IsOnce(job) ? kImgBackupOnce : kImgBackupRecurring;
}

std::vector<DetailLine> JobDetailLines(const JobRecord& job) {
  std::vector<DetailLine> lines;
  const std::string_view kind = FieldText(job.scheduleKind);
  lines.push_back({"Schedule  : " + ScheduleKindText(kind), kImgSchedule});
  if (const std::string type = TaskTypeText(job.jobType); !type.empty())
    lines.push_back({"Type : " + type, IsReplicationType(job.jobType) ? kImgReplOnce : kImgBackupOnce});
  const std::string time(FieldText(job.scheduleTime));
  if (kind != "once") {
    std::string text = "Time : ";
    if (kind == "daily") {
      text += time;
    } else if (kind == "weekly") {
      static const char* const kDays[7] = {"Mon ", "Tue ", "Wed ", "Thur ", "Fri ", "Sat ", "Sun "};
      for (int d = 0; d < 7; ++d)
        if (job.weekdays[d] == 'y') text += kDays[d];
      text += ", " + time;
    } else if (kind == "monthly") {
      text += std::to_string(job.dayOfMonth) + " st, " + time;
    }
    lines.push_back({text, kImgTime});
  }
  if (IsBackupType(job.jobType)) lines.push_back({"Path : " + std::string(FieldText(job.imagePath)), kImgPath});
  if (IsReplicationType(job.jobType)) {
    lines.push_back({"Source : " + std::string(FieldText(job.sourceFolder)), kImgSource});
    lines.push_back({"Target : " + std::string(FieldText(job.targetFolder)), kImgTarget});
  }
  return lines;
}

BackupStatusView PickBackupStatus(const JobRecord& s) {
  BackupStatusView v;
  const int kind = JobKindImage(s);
  switch (s.jobState) {
    case kJobFailed:
      return {"Error", kImgError, false, false, 100};
    case kJobShadowError:
      return {"Shadow Error", kImgError, false, false, 100};
    case kJobMountError:
      return {"Mount Error", kImgError, false, false, 100};
    case kJobWarning:
      return {"Finished with some warning", kind, true, false, 100};
    case kJobCanceled:
      return {"Canceled", kind, true, false, 100};
    case kJobAnotherRunning:
      return {"Another backup job is running. Not started.", kind, true, true, s.percent};
    case kJobCreating:
      return {"Creating", -1, false, true, s.percent};
    case kJobMounting:
      return {"Mounting", -1, false, true, s.percent};
  }
  v.addsRow = true;
  if (s.percent == 100) {
    v.text = "Finish";
    v.treeImage = s.jobState != kJobSuccess ? kImgError : kind;
    v.progress = 100;
  } else if (s.percent >= 1 && s.percent <= 99) {
    v.progress = s.percent;
  } else {
    const bool updating =
        s.jobType == kUpdateBackup || s.jobType == kIncrementalBackup || s.jobType == kDifferentialBackup;
    v.text = updating ? "Updating" : "Scanning";
    v.progress = 0;
  }
  return v;
}

int RowAddedImage(const BackupStatusView& view) { return view.treeImage < 0 ? kImgBackupRunning : -1; }

ReplicationStatusView PickReplicationStatus(const JobRecord& s) {
  ReplicationStatusView v;
  v.finished = true;
  switch (s.jobState) {
    case kJobFailed:
    case kJobShadowError:
      v.text = "Error";
      v.treeImage = kImgError;
      return v;
    case kJobMountError:
      v.text = "Mount Error";
      v.treeImage = kImgError;
      return v;
    case kJobWarning:
      v.text = "Finished with some warning";
      v.treeImage = kImgReplOnce;
      return v;
    case kJobSuccess:
      v.text = "Finish";
      v.treeImage = JobKindImage(s);
      return v;
    case kJobCanceled:
      v.text = "Canceled";
      v.treeImage = JobKindImage(s);
      return v;
    case kJobAnotherRunning:
      // The run never started: its one record shows, as for a backup job.
      v.text = "Another backup job is running. Not started.";
      v.treeImage = JobKindImage(s);
      v.addsRow = true;
      return v;
  }
  v.finished = false;
  v.running = true;
  v.addsRow = true;
  v.treeImage = kImgReplRunning;
  return v;
}

void PendingRuns::Asked(const std::string& name, uint64_t nowMs) {
  Answered(name);
  runs_.emplace_back(name, nowMs);
}

void PendingRuns::Answered(const std::string& name) {
  for (auto it = runs_.begin(); it != runs_.end();) it = it->first == name ? runs_.erase(it) : it + 1;
}

std::vector<std::string> PendingRuns::TakeUnanswered(uint64_t nowMs, uint64_t limitMs) {
  std::vector<std::string> late;
  for (auto it = runs_.begin(); it != runs_.end();) {
    if (nowMs - it->second >= limitMs) {
      late.push_back(it->first);
      it = runs_.erase(it);
    } else {
      ++it;
    }
  }
  return late;
}

std::string NextReplicatingMark(const std::string& current) {
  static const char* const kMarks[] = {"Replicating",    "Replicating.",    "Replicating..",
                                       "Replicating...", "Replicating....", "Replicating....."};
  for (int i = 0; i < 5; ++i)
    if (current == kMarks[i]) return kMarks[i + 1];
  return kMarks[0];
}

std::string SizeText(int64_t bytes) {
  const int64_t mb = bytes / 1048576;
  char text[64];
  if (mb < 1000)
    std::snprintf(text, sizeof text, "%" PRId64 " MB", mb);
  else
    std::snprintf(text, sizeof text, "%" PRId64 ".%.3" PRId64 " GB", mb / 1000, mb % 1000);
  return text;
}

std::string TransferText(int64_t bytesDone, int64_t megabytesPerSecond) {
  if (bytesDone <= 0 && megabytesPerSecond <= 0) return "";
  return SizeText(bytesDone > 0 ? bytesDone : 0) + ", " +
         std::to_string(megabytesPerSecond > 0 ? megabytesPerSecond : 0) + " MB/s";
}

// --- layout -------------------------------------------------------------

void MainLayout::Measure(const Box (&boxes)[kCount], int width, int height) {
  for (int i = 0; i < kCount; ++i) measured[i] = boxes[i];
  clientWidth = width;
  clientHeight = height;
}

void MainLayout::Apply(int width, int height, Box (&out)[kCount]) const {
  const Box* m = measured;
  const int dw = width - clientWidth, dh = height - clientHeight;
  auto moveRight = [&](Box b) {
    b.left += dw;
    b.right += dw;
    return b;
  };
  // Details list: moves with the right edge; its top and bottom stay, as the
  // history list's top stays.
  Box details = moveRight(m[kDetails]);
  Box history = moveRight(m[kHistory]);
  history.bottom += dh;
  out[kDetails] = details;
  out[kHistory] = history;
  // The row over the details list keeps its gap above it.
  for (int c : {kDetailsCaption, kRefreshCheck, kRefreshEdit, kSecLabel}) {
    Box b = moveRight(m[c]);
    const int gap = m[kDetails].top - m[c].bottom, h = m[c].Height();
    b.bottom = details.top - gap;
    b.top = b.bottom - h;
    out[c] = b;
  }
  Box caption = moveRight(m[kHistoryCaption]);
  caption.top = details.bottom + (m[kHistoryCaption].top - m[kDetails].bottom);
  caption.bottom = history.top - (m[kHistory].top - m[kHistoryCaption].bottom);
  out[kHistoryCaption] = caption;
  Box tree = m[kTree];
  tree.right = history.left - (m[kHistory].left - m[kTree].right);
  tree.bottom += dh;
  out[kTree] = tree;
  Box label = m[kRunningCaption];
  label.top += dh;
  label.bottom += dh;
  out[kRunningCaption] = label;
  Box running = m[kRunning];
  running.right += dw;
  running.top += dh;
  running.bottom += dh;
  out[kRunning] = running;
}

void EnforceMinimumSize(Box& w, int edge, int minWidth, int minHeight) {
  // WMSZ_LEFT 1, RIGHT 2, TOP 3, TOPLEFT 4, TOPRIGHT 5, BOTTOM 6, BOTTOMLEFT 7, BOTTOMRIGHT 8
  if (w.Width() < minWidth) {
    if (edge == 1 || edge == 4 || edge == 7)
      w.left = w.right - minWidth;
    else
      w.right = w.left + minWidth;
  }
  if (w.Height() < minHeight) {
    if (edge == 3 || edge == 4 || edge == 5)
      w.top = w.bottom - minHeight;
    else
      w.bottom = w.top + minHeight;
  }
}

std::vector<int> FitColumnWidths(int listWidth, const std::vector<int>& percents, int scrollBarWidth, int edgeWidth) {
  std::vector<int> widths;
  int used = 0;
  for (int p : percents) {
    const int w = listWidth * p / 100;
    widths.push_back(w);
    used += w;
  }
  const int rest = listWidth - used - scrollBarWidth - 2 * edgeWidth;
  widths.push_back(rest > 0 ? rest : 0);
  return widths;
}

}  // namespace orva::manager
