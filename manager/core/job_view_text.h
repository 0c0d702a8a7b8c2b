// What the main window shows of a job: the tree's images and detail lines,
// the status texts of the running-job list, sizes and speeds, and the
// arithmetic of the window's layout and column widths.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "contracts/job_record.h"

namespace orva::manager {

using service::JobRecord;

// Main image list indices.
enum TreeImage {
  kImgComputer = 0,
  kImgBackupOnce = 1,
  kImgBackupRunning = 2,
  kImgError = 3,
  kImgReplOnce = 4,
  kImgReplRunning = 5,
  kImgSchedule = 6,
  kImgReplRun = 7,
  kImgPath = 9,
  kImgTime = 10,
  kImgSource = 13,
  kImgTarget = 14,
  kImgBackupRecurring = 15,
  kImgReplRecurring = 16,
};

bool IsBackupType(int32_t jobType);       // 300-303, 306
bool IsReplicationType(int32_t jobType);  // 304, 305
bool IsOnce(const JobRecord& job);

// The idle image of a job item by its type and schedule kind.
int JobKindImage(const JobRecord& job);

struct DetailLine {
  std::string text;
  int image;
};
// The detail lines under a job item, in order: schedule, type, time, then
// path or source and target.
std::vector<DetailLine> JobDetailLines(const JobRecord& job);

// How one status record of a backup job shows.
struct BackupStatusView {
  std::string text;
  int treeImage = -1;  // -1: the item keeps its image
  bool firstMatchOnly = false;
  bool addsRow = false;
  int progress = 0;
};
BackupStatusView PickBackupStatus(const JobRecord& status);
// The image the job's items take when its row is added: the running image,
// unless the record gives one of its own (a final record, or a run that
// could not start); -1 then.
int RowAddedImage(const BackupStatusView& view);

struct ReplicationStatusView {
  std::string text;  // empty while running: the running mark advances instead
  int treeImage = -1;
  bool addsRow = false;
  bool running = false;
  bool finished = false;  // the row counts as finished (its last column filled)
};
ReplicationStatusView PickReplicationStatus(const JobRecord& status);
// "Replicating" -> "Replicating." -> ... -> "Replicating....." -> "Replicating".
std::string NextReplicatingMark(const std::string& current);

// Runs asked for from the job tree that no status record has answered yet.
// The service starts a run at once and its worker reports at once, so a run
// that stays unanswered for kRunAnswerLimitMs (six passes of the service's
// five-second loop) was not started, and the job leaves its running display.
inline constexpr uint64_t kRunAnswerLimitMs = 30000;
class PendingRuns {
 public:
  void Asked(const std::string& name, uint64_t nowMs);
  void Answered(const std::string& name);
  // The runs asked for at least `limitMs` before `nowMs` and still not
  // answered, oldest first; they are forgotten.
  std::vector<std::string> TakeUnanswered(uint64_t nowMs, uint64_t limitMs = kRunAnswerLimitMs);
  bool Empty() const { return runs_.empty(); }

 private:
  std::vector<std::pair<std::string, uint64_t>> runs_;
};

// "%I64d MB" below 1000 MiB, else "%I64d.%.3I64d GB" (a GB being 1000 MiB).
std::string SizeText(int64_t bytes);
// The tool tip of a running job's status: bytes done and the rate, e.g.
// "1.234 GB, 35 MB/s"; empty when the record reports neither.
std::string TransferText(int64_t bytesDone, int64_t megabytesPerSecond);

// --- layout -------------------------------------------------------------

struct Box {
  int left = 0, top = 0, right = 0, bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool operator==(const Box& o) const {
    return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
  }
};

// The moving controls of the main window, as the template places them.
struct MainLayout {
  enum Control {
    kDetailsCaption,
    kRefreshCheck,
    kRefreshEdit,
    kSecLabel,
    kDetails,
    kHistoryCaption,
    kHistory,
    kTree,
    kRunningCaption,
    kRunning,
    kCount
  };
  Box measured[kCount];
  int clientWidth = 0, clientHeight = 0;

  // Records the template's boxes in a client area of the given size.
  void Measure(const Box (&boxes)[kCount], int width, int height);
  // Where every control goes in a client area of the given size.
  void Apply(int width, int height, Box (&out)[kCount]) const;
};

// Keeps a dragged window rectangle at least 650 x 600: the dragged edge
// moves (WMSZ_ values for `edge`).
void EnforceMinimumSize(Box& window, int edge, int minWidth = 650, int minHeight = 600);

// Column widths: each listed percentage of the list's width, the last
// column the rest after the scroll bar (when shown) and two edges (when the
// list has an edge). Widths never go below 0.
std::vector<int> FitColumnWidths(int listWidth, const std::vector<int>& percents, int scrollBarWidth, int edgeWidth);

}  // namespace orva::manager
