// The main dialog's backup commands: the start dialog (one-click backup or
// the wizard) and the registration of an existing image.
#include "orva_manager_dlg.h"

#include "add_image_dlg.h"
#include "backup_dialog_host.h"
#include "manager_message_box.h"
#include "start_backup_dlg.h"
#include "os_caption.h"
#include "wizard/backup_wizard.h"

namespace orva::manager {

namespace {

constexpr int kWizardFinish = 12325;

// The main dialog's sender: SendJobRecord with the dialog's prompts.
class DialogSender : public JobRecordSender {
 public:
  explicit DialogSender(std::function<bool(const JobRecord&)> send) : send_(std::move(send)) {}
  bool Send(const JobRecord& record) override { return send_(record); }

 private:
  std::function<bool(const JobRecord&)> send_;
};

}  // namespace

void COrvaManagerDlg::OnBackup() {
  DialogSender sender([this](const JobRecord& r) { return SendRecord(r); });
  BackupDialogHost host;
  host.sender = &sender;
  host.messageParams = &ManagerMessageBoxParams();
  host.repositoryList = [] { return ManagerOptions().repositories; };
  host.defaultRepository = [] { return DefaultRepositoryFolder(); };
  host.jobs = [] { return JobTable().Entries(); };
  host.runOptionCommand = [this](CWnd*) { OnOption(); };
  host.runWizard = [](CWnd* parent) -> std::optional<std::vector<JobRecord>> {
    BackupWizardInputs inputs;
    inputs.jobs = &JobTable();
    inputs.repositories = ManagerOptions().repositories;
    inputs.messageParams = &ManagerMessageBoxParams();
    CBackupWizard wizard("Start Backup Wizard", inputs, parent);
    if (wizard.DoModal() != kWizardFinish) return std::nullopt;
    return wizard.FinishedRecords();
  };
  CStartBackupDlg dialog(this, host);
  dialog.m_osName = orva::platform::QueryOsCaption().c_str();
  dialog.DoModal();
}

void COrvaManagerDlg::OnSelectFromRepository() {
  BackupDialogHost host;
  host.messageParams = &ManagerMessageBoxParams();
  host.repositoryList = [] { return ManagerOptions().repositories; };
  host.defaultRepository = [] { return DefaultRepositoryFolder(); };
  host.jobs = [] { return JobTable().Entries(); };
  CAddImageDlg dialog(this, host);
  if (dialog.DoModal() == IDOK) SendRecord(dialog.m_record);
}

}  // namespace orva::manager
