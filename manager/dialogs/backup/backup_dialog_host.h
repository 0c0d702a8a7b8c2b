// What the start-backup, one-click and add-image dialogs need of the main
// dialog, handed in by the caller.
#pragma once
#include <winsock2.h>
#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "contracts/job_record.h"
#include "message_box.h"
#include "win/service_connection.h"

namespace orva::fw {
class CWnd;
}  // namespace orva::fw

namespace orva::manager {
using namespace orva::fw;
using namespace orva::ui;

// Sends one whole record to the service; false when it did not go out
// (the sender has told the user).
class JobRecordSender {
 public:
  virtual ~JobRecordSender() = default;
  virtual bool Send(const service::JobRecord& record) = 0;
};

// The manager's connection: SendJobRecord, which shows
// "Data Send Error. [ERROR CODE:%d]" through the prompts on a short send.
class ConnectionJobSender : public JobRecordSender {
 public:
  ConnectionJobSender(SOCKET socket, const ConnectionPrompts& prompts) : m_socket(socket), m_prompts(prompts) {}
  bool Send(const service::JobRecord& record) override { return SendJobRecord(m_socket, record, m_prompts); }

 private:
  SOCKET m_socket;
  const ConnectionPrompts& m_prompts;
};

struct BackupDialogHost {
  JobRecordSender* sender = nullptr;
  // The program's shared message box settings; the dialogs set the modern
  // look and the manager's icon in it when they start.
  MessageBoxParams* messageParams = nullptr;
  // The repository field of the options record ("|"-ended folders).
  std::function<std::string()> repositoryList;
  // The default repository folder (the fixed disk with the most free space).
  std::function<std::string()> defaultRepository;
  // A copy of the job table, taken under its lock.
  std::function<std::vector<service::JobRecord>()> jobs;
  // The main dialog's Option command (the repository dialog), run modally.
  std::function<void(CWnd* parent)> runOptionCommand;
  // Runs the backup wizard "Start Backup Wizard" for new jobs: the records
  // it finished (at most 10) after Finish, nothing when it was cancelled.
  std::function<std::optional<std::vector<service::JobRecord>>(CWnd* parent)> runWizard;
};

// The manager's icon in the message boxes.
constexpr UINT kManagerIconId = 178;

}  // namespace orva::manager
