#include "win/command_server.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <thread>

#include "contracts/job_record_check.h"
#include "core/service_logs.h"

namespace orva::service {

struct CommandServer::Client {
  SOCKET sock = INVALID_SOCKET;
  sockaddr_in peer{};
  std::mutex m;  // guards the queue and the closing flag
  std::condition_variable wake;
  std::deque<JobRecord> queue;
  size_t listRecords = 0;  // job-list records still queued; they do not count against the bound
  bool closing = false;

  ~Client() {
    if (sock != INVALID_SOCKET) closesocket(sock);
  }
  // Ends both directions; the client thread sees its receive fail and the
  // sender wakes. The socket itself is closed by the last owner.
  void Close() {
    {
      std::lock_guard lock(m);
      if (closing) return;
      closing = true;
    }
    shutdown(sock, SD_BOTH);
    wake.notify_all();
  }
  std::string Name() const {
    char text[64];
    snprintf(text, sizeof text, "%u.%u.%u.%u:%u", peer.sin_addr.S_un.S_un_b.s_b1, peer.sin_addr.S_un.S_un_b.s_b2,
             peer.sin_addr.S_un.S_un_b.s_b3, peer.sin_addr.S_un.S_un_b.s_b4, ntohs(peer.sin_port));
    return text;
  }
};

namespace {

bool SendWhole(SOCKET sock, const JobRecord& record) {
  const char* bytes = reinterpret_cast<const char*>(&record);
  int done = 0;
  while (done < static_cast<int>(sizeof record)) {
    int n = send(sock, bytes + done, static_cast<int>(sizeof record) - done, 0);
    if (n <= 0) return false;
    done += n;
  }
  return true;
}

// Reads one whole record; false on close or error (a partial record is dropped).
bool ReceiveWhole(SOCKET sock, JobRecord& record) {
  char* bytes = reinterpret_cast<char*>(&record);
  int got = 0;
  while (got < static_cast<int>(sizeof record)) {
    int n = recv(sock, bytes + got, static_cast<int>(sizeof record) - got, 0);
    if (n <= 0) return false;
    got += n;
  }
  return true;
}

// Runs the body on a detached thread; false when no thread could be made.
bool StartDetached(std::function<void()> body) {
  try {
    std::thread(std::move(body)).detach();
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

// A name the table can be searched by: terminated within its field and safe.
bool CheckName(const JobRecord& record, std::string& why) {
  std::string_view name = JobName(record);
  if (name.size() >= sizeof record.jobName) {
    why = "jobName has no terminator";
    return false;
  }
  if (!IsSafeJobName(name)) {
    why = "jobName is empty or holds characters a job name may not use";
    return false;
  }
  return true;
}

}  // namespace

CommandServer::CommandServer(JobTable& table, std::filesystem::path taskLog, CommandHooks hooks,
                             std::function<void(const std::string&, int)> report)
    : table_(table), taskLog_(std::move(taskLog)), hooks_(std::move(hooks)), report_(std::move(report)) {}

ListenFailure CommandServer::Start() {
  SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
  if (s == INVALID_SOCKET) return {"socket", WSAGetLastError()};
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(kCommandPort);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);  // the managers connect locally only
  BOOL exclusive = TRUE;
  setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive), sizeof exclusive);
  if (bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    int err = WSAGetLastError();
    closesocket(s);
    return {"bind", err};
  }
  if (listen(s, kListenBacklog) != 0) {
    int err = WSAGetLastError();
    closesocket(s);
    return {"listen", err};
  }
  listener_ = s;
  if (!StartDetached([this] { ListenerLoop(); })) {
    listener_ = INVALID_SOCKET;
    closesocket(s);
    return {"thread", ERROR_NOT_ENOUGH_MEMORY};
  }
  return {};
}

void CommandServer::Stop() {
  stopping_ = true;
  SOCKET s = listener_.exchange(INVALID_SOCKET);
  if (s != INVALID_SOCKET) closesocket(s);
  std::vector<std::shared_ptr<Client>> clients;
  {
    std::lock_guard lock(clientsMutex_);
    clients = clients_;
  }
  for (auto& c : clients) c->Close();
}

size_t CommandServer::ClientCount() const {
  std::lock_guard lock(clientsMutex_);
  return clients_.size();
}

void CommandServer::ListenerLoop() {
  int lastError = 0;
  DWORD pause = kAcceptRetryFirstMs;
  bool full = false;
  while (!stopping_) {
    auto client = std::make_shared<Client>();
    int len = sizeof client->peer;
    SOCKET s = accept(listener_.load(), reinterpret_cast<sockaddr*>(&client->peer), &len);
    if (s == INVALID_SOCKET) {
      // A failed accept (no buffers, a peer that went away) is tried again,
      // with growing pauses while it keeps failing; each new error is
      // reported once.
      const int err = WSAGetLastError();
      if (stopping_) break;
      if (err != lastError) {
        char text[96];
        snprintf(text, sizeof text, "Accepting a manager connection failed; trying again. [%d]", err);
        SetLastError(err);
        report_(text, EVENTLOG_ERROR_TYPE);
        lastError = err;
      }
      Sleep(pause);
      pause = std::min<DWORD>(pause * 2, kAcceptRetryMaxMs);
      continue;
    }
    lastError = 0;
    pause = kAcceptRetryFirstMs;
    client->sock = s;
    {
      std::lock_guard lock(clientsMutex_);
      if (stopping_) break;  // the socket is closed with the client
      if (clients_.size() >= kMaxClients) {
        client.reset();  // closes the connection at once
      } else {
        clients_.push_back(client);
      }
    }
    if (!client) {
      if (!full)
        report_("A manager connection was refused: " + std::to_string(kMaxClients) + " managers are connected.",
                EVENTLOG_WARNING_TYPE);
      full = true;
      continue;
    }
    full = false;
    // A small send buffer makes a manager that stops reading show up in its
    // queue soon instead of in the system's buffers.
    int sendBuffer = 16 * 1024;
    setsockopt(s, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&sendBuffer), sizeof sendBuffer);
    if (!StartDetached([this, client] { ClientLoop(client); })) {
      Forget(client);
      report_("No thread could be started for a manager connection; it was closed.", EVENTLOG_ERROR_TYPE);
    }
  }
  SOCKET old = listener_.exchange(INVALID_SOCKET);
  if (old != INVALID_SOCKET) closesocket(old);
}

void CommandServer::Forget(const std::shared_ptr<Client>& client) {
  {
    std::lock_guard lock(clientsMutex_);
    std::erase(clients_, client);
  }
  client->Close();
}

void CommandServer::ClientLoop(std::shared_ptr<Client> client) {
  // The listener put the client in the list before this thread started, so
  // an edit made while the job list is taken is seen twice (in the list and
  // as an echo) rather than missed.
  std::vector<JobRecord> jobs = table_.Snapshot();
  {
    std::lock_guard lock(client->m);
    std::deque<JobRecord> list;
    list.push_back(MakeListMarker(kJobListBegin, static_cast<int32_t>(jobs.size())));
    list.insert(list.end(), jobs.begin(), jobs.end());
    list.push_back(MakeListMarker(kJobListEnd, static_cast<int32_t>(jobs.size())));
    client->listRecords = list.size();
    client->queue.insert(client->queue.begin(), list.begin(), list.end());
  }
  if (!StartDetached([this, client] { SenderLoop(client); })) {
    report_("No thread could be started for a manager connection; it was closed.", EVENTLOG_ERROR_TYPE);
    Forget(client);
    return;
  }

  JobRecord received;
  while (ReceiveWhole(client->sock, received)) HandleClientMessage(received, 0);
  Forget(client);
}

void CommandServer::SenderLoop(std::shared_ptr<Client> client) {
  for (;;) {
    JobRecord next;
    {
      std::unique_lock lock(client->m);
      client->wake.wait(lock, [&] { return client->closing || !client->queue.empty(); });
      if (client->closing) return;
      next = client->queue.front();
      client->queue.pop_front();
      if (client->listRecords > 0) --client->listRecords;
    }
    if (!SendWhole(client->sock, next)) {
      client->Close();
      return;
    }
  }
}

void CommandServer::Enqueue(Client& client, const JobRecord& record) {
  {
    std::lock_guard lock(client.m);
    if (client.closing) return;
    if (client.queue.size() - client.listRecords < kMaxQueuedRecords) {
      client.queue.push_back(record);
      client.wake.notify_one();
      return;
    }
  }
  report_("Manager " + client.Name() + " dropped: it does not read its records.", EVENTLOG_WARNING_TYPE);
  client.Close();
}

void CommandServer::Broadcast(const JobRecord& record) {
  std::vector<std::shared_ptr<Client>> clients;
  {
    std::lock_guard lock(clientsMutex_);
    clients = clients_;
  }
  // Each connection's sender thread sends its queue; the caller never waits
  // for a manager.
  for (auto& c : clients) Enqueue(*c, record);
}

void CommandServer::TaskLog(std::string_view tag, std::string_view text) const {
  AppendLogFile(taskLog_, FormatLogLine(tag, text));
}

void CommandServer::HandleClientMessage(const JobRecord& received, int mode) {
  if (mode != 0) return;
  const JobRecord record = received;
  std::string why;
  switch (record.code) {
    case kAddJob:
    case kModifyJob: {
      const bool add = record.code == kAddJob;
      const char* tag = add ? "ADDJOB" : "MODIFYJOB";
      if (!ValidateJobRecord(record, why) || (hooks_.checkJob && !(why = hooks_.checkJob(record)).empty())) {
        TaskLog(tag, "Record refused: " + why);
        return;
      }
      const bool known = table_.Find(JobName(record)).has_value();
      if (add && (known || table_.Count() >= kMaxJobs)) {
        TaskLog(tag, known ? "Not done: a job of that name exists" : "Not done: the job table is full");
        return;
      }
      if (!add && !known) {
        TaskLog(tag, "Not done: no job of that name");
        return;
      }
      TaskLog(tag, add ? "New Job register" : "Job is Modified.");
      EditResult r = add ? table_.Add(record) : table_.Modify(record);
      if (!r.ok()) {
        TaskLog(tag, "Not done: " + (r.why.empty() ? std::string("the table refused it") : r.why));
        return;
      }
      if (hooks_.schedulerTick) hooks_.schedulerTick();
      return;
    }
    case kDeleteJob: {
      if (!CheckName(record, why)) {
        TaskLog("DELETEJOB", "Record refused: " + why);
        return;
      }
      if (!table_.Find(JobName(record))) {
        TaskLog("DELETEJOB", "Not done: no job of that name");
        return;
      }
      TaskLog("DELETEJOB", "Job is deleted.");
      EditResult r = table_.Delete(record);
      if (!r.ok()) TaskLog("DELETEJOB", "Not done: " + (r.why.empty() ? std::string("no such job") : r.why));
      return;
    }
    case kRunJob: {
      if (!CheckName(record, why)) {
        TaskLog("RUNJOB", "Record refused: " + why);
        return;
      }
      // The request is recorded in the table (runState 1, saved); the worker
      // is started through the hook.
      if (auto entry = table_.ForceStart(JobName(record)); entry && hooks_.startJob) hooks_.startJob(*entry);
      return;
    }
    case kCancelJob:
      if (!CheckName(record, why)) {
        TaskLog("CANCELJOB", "Record refused: " + why);
        return;
      }
      // Only a run that goes on can be cancelled; a request for a job that
      // does not run is dropped and never reaches a later run.
      if (!table_.RequestCancel(JobName(record))) TaskLog("CANCELJOB", "Not done: the job is not running");
      return;
    default:
      return;  // 203, 204, 205 and unknown codes are ignored
  }
}

}  // namespace orva::service
