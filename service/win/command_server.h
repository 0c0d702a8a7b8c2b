// The TCP command server: the managers connect to 127.0.0.1:2000 and every
// message in both directions is one whole JobRecord.
//
// Each connection has a client thread (job list on connect, then receive and
// dispatch) and a sender thread that drains the connection's bounded queue,
// so its sends are serialised and a manager that stops reading cannot hold
// up the others: when its queue overflows it is dropped. At most 64 managers
// are served at once; a thread that cannot be made closes its connection,
// and a failed accept is tried again.
#pragma once
#include <winsock2.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "contracts/job_record.h"
#include "core/job_table.h"

namespace orva::service {

inline constexpr unsigned short kCommandPort = 2000;
inline constexpr int kListenBacklog = 5;
// Records an unread connection may have waiting beyond its job list.
inline constexpr size_t kMaxQueuedRecords = 32;
// Managers served at once; a connection beyond them is closed at once.
inline constexpr size_t kMaxClients = 64;
// Pauses between tries while accept keeps failing.
inline constexpr unsigned long kAcceptRetryFirstMs = 50, kAcceptRetryMaxMs = 2000;

// Where the scheduler and the workers plug in.
struct CommandHooks {
  // One scheduler pass, run after every ADDJOB and MODIFYJOB.
  std::function<void()> schedulerTick;
  // RUNJOB: the table entry, already set to runState 1 and saved.
  std::function<void(const JobRecord&)> startJob;
  // ADDJOB and MODIFYJOB: why the job cannot run on this system (empty when
  // it can); such a record is refused.
  std::function<std::string(const JobRecord&)> checkJob;
};

struct ListenFailure {
  const char* stage = nullptr;  // "socket", "bind", "listen" or "thread"; null when listening
  int error = 0;                // Winsock error
};

class CommandServer {
 public:
  // `taskLog` is OrvaTask.log; `report` receives the server's own failures
  // (text, event type) for the event texts.
  CommandServer(JobTable& table, std::filesystem::path taskLog, CommandHooks hooks,
                std::function<void(const std::string&, int)> report);
  CommandServer(const CommandServer&) = delete;
  CommandServer& operator=(const CommandServer&) = delete;

  // Binds 127.0.0.1:2000, listens and starts the listener thread.
  ListenFailure Start();
  // Closes the listening socket and shuts every connection down.
  void Stop();

  // Queues the record for every connected manager and returns.
  void Broadcast(const JobRecord& record);
  // Executes one received record; mode is always 0 (any other does nothing).
  void HandleClientMessage(const JobRecord& record, int mode);

  size_t ClientCount() const;

 private:
  struct Client;
  void ListenerLoop();
  void ClientLoop(std::shared_ptr<Client> client);
  void SenderLoop(std::shared_ptr<Client> client);
  void Forget(const std::shared_ptr<Client>& client);  // out of the list, connection shut down
  void Enqueue(Client& client, const JobRecord& record);
  void TaskLog(std::string_view tag, std::string_view text) const;

  JobTable& table_;
  const std::filesystem::path taskLog_;
  const CommandHooks hooks_;
  const std::function<void(const std::string&, int)> report_;

  std::atomic<SOCKET> listener_{INVALID_SOCKET};
  std::atomic<bool> stopping_{false};
  mutable std::mutex clientsMutex_;  // the client list; never held across a send or a sleep
  std::vector<std::shared_ptr<Client>> clients_;
};

}  // namespace orva::service
