// Test program: the manager's service connection without its windows.
// Connects to 127.0.0.1:2000, prints every message and view update, answers
// a Yes/No question with argv[1] ("yes" or "no"), and reads commands from
// standard input: "add NAME" (a daily image job), "delete NAME", "show".
#include <winsock2.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <thread>

#include "contracts/job_record_check.h"
#include "core/manager_job_table.h"
#include "contracts/tests/sample_job.h"
#include "win/service_connection.h"

using namespace orva::manager;
using orva::service::JobRecord;

namespace {

void Say(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

std::string Names(const ManagerJobTable& table) {
  std::string out;
  for (const JobRecord& e : table.Entries()) out += std::string(orva::service::JobName(e)) + ",";
  return out;
}

struct PrintingViews : JobViews {
  explicit PrintingViews(const ManagerJobTable& t) : table(t) {}
  void Rebuild() override { Say("rebuild " + std::to_string(table.Count()) + " " + Names(table)); }
  void Added(const JobRecord& e) override {
    Say("added " + std::string(orva::service::JobName(e)) + " " + std::to_string(table.Count()));
  }
  void Modified() override { Say("modified " + Names(table)); }
  void BackupStatus(const JobRecord& s) override {
    Say("backup-status " + std::string(orva::service::JobName(s)) + " " + std::to_string(s.jobState));
  }
  void ReplicationStatus(const JobRecord& s) override {
    Say("replication-status " + std::string(orva::service::JobName(s)) + " " + std::to_string(s.jobState));
  }
  const ManagerJobTable& table;
};

}  // namespace

int main(int argc, char** argv) {
  const bool answerYes = argc > 1 && std::string(argv[1]) == "yes";
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
  ConnectionPrompts prompts;
  prompts.show = [&](const std::string& text, const std::string& caption, ConnectionPrompts::Kind kind) {
    std::string flat = text;
    for (char& c : flat)
      if (c == '\n') c = '|';
    Say("message [" + caption + "] " + flat);
    return kind == ConnectionPrompts::kYesNo && answerYes;
  };
  prompts.runCommand = [](const std::string& parameters) { Say("run cmd.exe " + parameters); };
  const SOCKET s = ConnectToService("127.0.0.1", 2000, prompts);
  if (s == INVALID_SOCKET) return 2;
  ManagerJobTable table;
  PrintingViews views(table);
  RecordReceiver receiver(table, views);
  std::thread receiving([&] { ReceiveRecords(s, receiver, prompts); });
  receiving.detach();
  std::string line;
  while (std::getline(std::cin, line)) {
    if (line.rfind("add ", 0) == 0) {
      SendJobRecord(s, orva::service::test::SampleJob(line.substr(4)), prompts);
    } else if (line.rfind("delete ", 0) == 0) {
      const std::string name = line.substr(7);
      table.SetCode(name, orva::service::kDeleteJob);
      if (auto e = table.Find(name)) SendJobRecord(s, *e, prompts);
    } else if (line == "show") {
      Say("table " + std::to_string(table.Count()) + " " + Names(table));
    }
  }
  // Standard input ended: wait for the service to close the connection.
  Sleep(INFINITE);
  return 0;
}
