// The backup wizard: a four-page wizard sheet that defines image-backup jobs
// (one per chosen drive) or modifies one. It sends nothing; after Finish the
// caller takes the finished records and sends them to the service.
//
//   BackupWizardInputs in{&jobTable, options.repositories, &messageParams};
//   CBackupWizard wizard("Start Backup Wizard", in, this);
//   // Modify only: wizard.SetModifyRecord(entry);
//   if (wizard.DoModal() == ID_WIZFINISH)
//       for (const JobRecord& r : wizard.FinishedRecords()) ... SendJobRecord(r)
// A Modify caller passes record 0 through PrepareModifiedEntry before it
// stores and sends it.
#pragma once
#include <string>
#include <vector>

#include "core/manager_job_table.h"
#include "framework.h"
#include "fw_propsheet.h"
#include "message_box.h"
#include "report_list.h"
#include "skin_button.h"
#include "wizard/wizard_logic.h"

namespace orva::manager {
using namespace orva::fw;
using namespace orva::ui;

struct BackupWizardDrive {
  std::string drive;  // "C:"
  int64_t totalBytes = 0;
  int64_t freeBytes = 0;
};

// What the wizard asks of the computer; the tests give their own.
class BackupWizardSystem {
 public:
  virtual ~BackupWizardSystem() = default;
  // The operating system's caption with "[64bit]" or "[32bit]".
  virtual std::string OsCaption();
  // The fixed drives in the order of GetLogicalDriveStringsA.
  virtual std::vector<BackupWizardDrive> FixedDrives();
  // The local time of the default names.
  virtual SYSTEMTIME LocalTime();
};

struct BackupWizardInputs {
  const ManagerJobTable* jobs = nullptr;      // the manager's copy of the service's jobs
  std::string repositories;                   // repository folders, each followed by "|"
  MessageBoxParams* messageParams = nullptr;  // the program's shared one (may be null)
  BackupWizardSystem* system = nullptr;       // null: this computer
};

class CBackupWizard;

// Shared by the four pages: their brush, banner, inputs and messages.
class CBackupWizardPage : public CPropertyPage {
 public:
  CBackupWizardPage(UINT idTemplate, const char* title) : CPropertyPage(idTemplate, title) {}
  ~CBackupWizardPage() override;
  const BackupWizardInputs* m_inputs = nullptr;

 protected:
  void InitPage();  // message-box fields, brush, banner
  int Message(const char* text, UINT style = MB_OK);
  // Shows the refusal, makes this page current again; returns -1.
  LRESULT Refuse(const char* text);
  std::vector<JobRecord> Jobs() const;
  BackupWizardSystem& System() const;
  HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT kind);
  HWND Item(int id) const { return ::GetDlgItem(m_hWnd, id); }
  void Enable(int id, bool on) { ::EnableWindow(Item(id), on); }

  CBrush m_brush;
  CStatic m_banner;
  HBITMAP m_bannerBitmap = nullptr;

  DECLARE_MESSAGE_MAP()
};

class CBackupWizardDrivePage : public CBackupWizardPage {
 public:
  CBackupWizardDrivePage();
  CReportListCtrl m_driveList;
  CReportListCtrl m_jobList;
  CImageList m_imageList;
  int m_modifyFlag = 0;
  JobRecord m_modifyRecord{};
  bool m_checkBoxes = false;

  BOOL OnInitDialog() override;
  BOOL OnSetActive() override;
  LRESULT OnWizardNext() override;

 protected:
  void DoDataExchange(CDataExchange* dx) override;
  void SetUpList(CReportListCtrl& list);
  void FillDrives();
  void FillJobs();
  void OnDriveItemChanged(NMHDR* nm, LRESULT* result);
  DECLARE_MESSAGE_MAP()
};

class CBackupWizardTypePage : public CBackupWizardPage {
 public:
  CBackupWizardTypePage();
  int m_typeChoice = 0;  // 0 full, 1 update, 2 incremental, 3 differential
  CEdit m_nameEdit;
  CString m_imagePath;
  CString m_name;

  BOOL OnInitDialog() override;
  BOOL OnSetActive() override;
  LRESULT OnWizardNext() override;
  LRESULT OnWizardBack() override;

 protected:
  void DoDataExchange(CDataExchange* dx) override;
  void ReadType();
  void EnableForChoice();
  void FillBaseCombo(int combo);
  void FillRepositories();
  void UpdatePath();
  void OnTypeClicked();
  void OnRepositoryChanged() { UpdatePath(); }
  void OnNameChanged() { UpdatePath(); }
  void OnRepositoryEdited();
  bool m_loading = false;
  DECLARE_MESSAGE_MAP()
};

class CBackupWizardOptionPage : public CBackupWizardPage {
 public:
  CBackupWizardOptionPage();
  int m_compression = 0;   // 0 None, 1 Normal, 2 High
  int m_scheduleKind = 0;  // 0 once, 1 daily, 2 weekly, 3 monthly
  int m_weekdays[7] = {};
  CString m_folder;
  CString m_hour = "00";
  CString m_minute = "00";
  CSkinButton m_browse, m_add, m_remove;

  BOOL OnInitDialog() override;
  BOOL OnSetActive() override;
  LRESULT OnWizardNext() override;

 protected:
  void DoDataExchange(CDataExchange* dx) override;
  void ReadControls();
  void WriteControls();
  void EnableForKind();
  void OnScheduleClicked();
  void OnBrowse();
  void OnAdd();
  void OnRemove();
  void OnHourChanged();
  void OnMinuteChanged();
  std::vector<std::string> Exclusions() const;
  DECLARE_MESSAGE_MAP()
};

class CBackupWizardSummaryPage : public CBackupWizardPage {
 public:
  CBackupWizardSummaryPage();
  CString m_summary;
  int m_finishedCount = 0;
  JobRecord m_records[kWizardMaxRecords]{};

  BOOL OnInitDialog() override;
  BOOL OnSetActive() override;
  BOOL OnWizardFinish() override;

 protected:
  void DoDataExchange(CDataExchange* dx) override;
};

class CBackupWizard : public CPropertySheet {
 public:
  CBackupWizard(const char* caption, const BackupWizardInputs& inputs, CWnd* parent = nullptr);
  ~CBackupWizard() override;

  CBackupWizardDrivePage m_page1;
  CBackupWizardTypePage m_page2;
  CBackupWizardOptionPage m_page3;
  CBackupWizardSummaryPage m_page4;
  CBrush m_brush;

  // Opens the wizard on one existing image-backup job (types 300-303).
  void SetModifyRecord(const JobRecord& entry);
  // After Finish: the finished records, in drive-list order; none after Cancel.
  std::vector<JobRecord> FinishedRecords() const;

  BOOL OnInitDialog() override;

 protected:
  HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT kind);
  BackupWizardInputs m_inputs;
  BackupWizardSystem m_ownSystem;
  DECLARE_MESSAGE_MAP()
};

}  // namespace orva::manager
