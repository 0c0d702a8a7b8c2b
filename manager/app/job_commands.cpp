// The main dialog's job commands: modify, delete history, remove from the
// inventory or from disk, replication sets, repositories, About and the log.
#include "orva_manager_dlg.h"

#include <commctrl.h>

#include "about_dlg.h"
#include "core/disk_removal.h"
#include "core/history.h"
#include "contracts/job_record_check.h"
#include "core/repository_options.h"
#include "win/tree_removal_win.h"
#include "image_header_reader.h"
#include "log_viewer_dlg.h"
#include "manager_message_box.h"
#include "replication_set_dlg.h"
#include "repository_dlg.h"
#include "wizard/backup_wizard.h"

namespace orva::manager {

using orva::service::FieldText;
using orva::service::JobName;

namespace {

constexpr int kWizardFinish = 12325;

bool IsImageJob(int type) { return type >= orva::service::kFullBackup && type <= orva::service::kDifferentialBackup; }
bool IsReplicationJob(int type) {
  return type == orva::service::kReplication || type == orva::service::kReplicationShadow;
}

bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// What lies at an image job's image path; the header of an image is read
// into `header`.
ImageFileFound FindImageFile(const std::string& path, TavImageHeader& header) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ImageFileFound::kMissing
                                                                          : ImageFileFound::kNotAnImage;
  }
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return ImageFileFound::kNotAnImage;
  FileStream file;
  if (!file.Open(path.c_str(), "rb")) return ImageFileFound::kNotAnImage;
  const ImageHeaderStatus status = ReadImageHeader(file, header);
  file.Close();
  // A format-3000 image has a header table and no image header.
  return status == ImageHeaderStatus::kRead || status == ImageHeaderStatus::kNoImageHeader
             ? ImageFileFound::kImage
             : ImageFileFound::kNotAnImage;
}

}  // namespace

int COrvaManagerDlg::Ask(const char* text) { return ManagerMessageBox(m_hWnd, text, "Orvanta", MB_YESNO); }

COrvaManagerDlg::JobSearch COrvaManagerDlg::FindSelectedJob(const std::vector<int>& blocked, const char* backupRunning,
                                                            const char* replicationRunning) {
  JobSearch search;
  search.item = TreeView_GetSelection(Tree());
  if (!search.item) return search;
  const std::string name = ItemText(search.item);
  const int image = ItemImage(search.item);
  const auto entry = JobTable().Find(name);  // copied under the table's lock
  if (!entry) return search;
  bool isBlocked = false;
  for (int b : blocked) isBlocked = isBlocked || b == image;
  if (!isBlocked) {
    search.entry = entry;
  } else if (image == kImgBackupRunning) {
    ManagerMessageBox(m_hWnd, backupRunning);
    search.refused = true;
  } else if (image == kImgReplRunning) {
    ManagerMessageBox(m_hWnd, replicationRunning);
    search.refused = true;
  }
  return search;
}

void COrvaManagerDlg::RemoveTreeItem(HTREEITEM item) {
  if (!item || item == m_root) return;
  TreeView_DeleteItem(Tree(), item);
}

void COrvaManagerDlg::SendJobRemoval(HTREEITEM item, JobRecord entry) {
  entry.code = orva::service::kDeleteJob;
  if (!SendRecord(entry)) return;  // the send error has been shown; the item stays
  RemoveHistoryLines(kHistoryFileName, JobName(entry));
  RemoveTreeItem(item);
}

bool COrvaManagerDlg::RemoveReplicationTarget(const JobRecord& entry) {
  const std::string source(FieldText(entry.sourceFolder)), target(FieldText(entry.targetFolder));
  const ReplicationGuards guards = DefaultReplicationGuards();
  // The tree goes through the file API, where '%' is a character of a name
  // like any other: only where the folders lie counts here.
  auto plain = [](std::string text) {
    for (char& c : text)
      if (c == '%') c = '_';
    return text;
  };
  const std::string problem = orva::service::ReplicationFoldersProblem(plain(source), plain(target),
                                                                       guards.windowsFolder, guards.serviceFolder);
  if (!problem.empty()) {
    ManagerMessageBox(m_hWnd, "The folder \"" + target + "\" was not deleted.\n" + problem);
    return false;
  }
  const std::vector<std::string> left = RemoveFolderTree(target);
  if (!left.empty()) {
    std::string text = "The folder \"" + target + "\" could not be removed completely. These were left:";
    const size_t shown = left.size() < 20 ? left.size() : 20;
    for (size_t i = 0; i < shown; ++i) text += "\n" + left[i];
    if (shown < left.size()) text += "\n...";
    ManagerMessageBox(m_hWnd, text);
    return false;
  }
  return true;
}

void COrvaManagerDlg::OnJobModify() {
  const char* running = "You cannot Modify the backup job disk during backup job is running.";
  JobSearch search = FindSelectedJob({kImgBackupRunning, kImgReplRunning, kImgReplRun}, running, running);
  if (!search.entry) return;
  JobRecord entry = *search.entry;
  const std::string name(JobName(entry));
  if (IsImageJob(entry.jobType)) {
    entry.code = orva::service::kModifyJob;
    JobTable().SetCode(name, orva::service::kModifyJob);
    BackupWizardInputs inputs;
    inputs.jobs = &JobTable();
    inputs.repositories = ManagerOptions().repositories;
    inputs.messageParams = &ManagerMessageBoxParams();
    CBackupWizard wizard("Start Backup Wizard", inputs, this);
    wizard.SetModifyRecord(entry);
    if (wizard.DoModal() != kWizardFinish) return;
    const std::vector<JobRecord> finished = wizard.FinishedRecords();
    if (finished.empty()) return;
    JobRecord result = finished.front();
    PrepareModifiedEntry(result);
    if (!CheckBeforeSending(result)) return;
    JobTable().Replace(name, result);
    SendRecord(result);
    return;
  }
  if (!IsReplicationJob(entry.jobType)) {
    // Only image jobs and replication sets have a dialog to edit them in.
    ManagerMessageBox(m_hWnd, "\"" + name +
                                  "\" is an ISO backup job, which cannot be modified.\n"
                                  "Delete it and create it again to change it.");
    return;
  }
  CReplicationSetDlg dialog(this, &ManagerMessageBoxParams(), &JobTable(), &entry);
  if (dialog.DoModal() == IDOK) SendRecord(dialog.Result());
}

void COrvaManagerDlg::OnJobDeleteHistory() {
  HTREEITEM sel = TreeView_GetSelection(Tree());
  if (!sel || sel == m_root) return;
  if (Ask("Are you sure to delete this history?") != IDYES) return;
  RemoveHistoryLines(kHistoryFileName, ItemText(sel));
  LoadHistoryPane(ItemText(sel), 1);
}

// The confirmed, not running job of a Remove/Delete from Disk, marked for
// deletion; no entry when there is nothing (more) to do.
COrvaManagerDlg::JobSearch COrvaManagerDlg::FindJobToRemoveFromDisk(const std::vector<int>& blocked) {
  if (Ask("Are you sure you want to delete the selected job and data from disk?") != IDYES) return {};
  if (!TreeView_GetSelection(Tree())) return {};
  JobSearch search =
      FindSelectedJob(blocked, "You cannot delete the image file from disk during backup job is running.",
                      "You cannot delete the replication set from disk during replication job is running.");
  if (search.refused) return {};
  if (!search.entry) {
    RemoveTreeItem(search.item);
    return {};
  }
  JobTable().SetCode(JobName(*search.entry), orva::service::kDeleteJob);
  return search;
}

void COrvaManagerDlg::OnJobRemoveFromDisk() {
  JobSearch search = FindJobToRemoveFromDisk({kImgBackupRunning, kImgReplRunning});
  if (!search.entry) return;
  JobRecord entry = *search.entry;
  if (IsImageJob(entry.jobType)) {
    const std::string imagePath(FieldText(entry.imagePath));
    TavImageHeader header;
    const ImageRemovalDecision decision = DecideImageRemoval(imagePath, FindImageFile(imagePath, header));
    if (!decision.deleteJob) {
      JobTable().SetCode(JobName(entry), entry.code);  // the job stays as it was
      ManagerMessageBox(m_hWnd, decision.why);
      return;
    }
    if (decision.deleteFiles) {
      const DiskRemovalPlan plan = PlanImageRemoval(imagePath, entry.jobType, AnsiIncrements(header), FileExists);
      for (const std::string& path : plan.remove) DeleteFileA(path.c_str());
      if (!plan.kept.empty()) {
        std::string text = "These files are named in the image but are not part of its backup, so they were kept:";
        for (const std::string& path : plan.kept) text += "\n" + path;
        ManagerMessageBox(m_hWnd, text);
      }
    }
  }
  if (IsReplicationJob(entry.jobType)) RemoveReplicationTarget(entry);
  SendJobRemoval(search.item, entry);
}

void COrvaManagerDlg::OnReplicationRemoveFromDisk() {
  JobSearch search = FindJobToRemoveFromDisk({kImgBackupRunning, kImgReplRunning, kImgReplRun});
  if (!search.entry) return;
  JobRecord entry = *search.entry;
  if (IsReplicationJob(entry.jobType)) RemoveReplicationTarget(entry);
  SendJobRemoval(search.item, entry);
}

void COrvaManagerDlg::OnJobDeleteFromInventory() {
  if (!TreeView_GetSelection(Tree())) return;
  if (Ask("Are you sure to remove this from backup inventory?\nThis will not delete the image file from repository.") !=
      IDYES)
    return;
  JobSearch search =
      FindSelectedJob({kImgBackupRunning, kImgReplRunning},
                      "You cannot remove the image file from inventory during backup job is running.",
                      "You cannot remove the replication set from inventory during replication job is running.");
  if (search.refused) return;
  if (!search.entry) {
    RemoveTreeItem(search.item);
    return;
  }
  JobTable().SetCode(JobName(*search.entry), orva::service::kDeleteJob);
  SendJobRemoval(search.item, *search.entry);
}

void COrvaManagerDlg::OnAddSync() {
  CReplicationSetDlg dialog(this, &ManagerMessageBoxParams(), &JobTable());
  if (dialog.DoModal() == IDOK) SendRecord(dialog.Result());
}

void COrvaManagerDlg::OnOption() {
  CRepositoryDlg dialog(this, &ManagerMessageBoxParams(), ManagerOptions());
  if (dialog.DoModal() != IDOK) return;
  ManagerOptions() = dialog.Result();
  if (SaveOptionsFile(orva::service::kOptionsFileName, ManagerOptions()) != 0)
    ManagerMessageBox(m_hWnd, "OrvaOption.ovc could not be written.");
}

void COrvaManagerDlg::OnAbout() {
  CAboutDlg about(this);
  about.DoModal();
}

void COrvaManagerDlg::OnLog() {
  CLogViewerDlg viewer(this, "OrvaJob.log", &ManagerMessageBoxParams());
  viewer.DoModal();
}

}  // namespace orva::manager
