#include "win/service_connection.h"

#include <shellapi.h>

#include <cstdio>
#include <cstring>

namespace orva::manager {

using service::JobRecord;

namespace {

constexpr int kRecordSize = static_cast<int>(sizeof(JobRecord));
static_assert(sizeof(JobRecord) == 3168);

std::string Formatted(const char* format, int code) {
  char text[128];
  std::snprintf(text, sizeof text, format, code);
  return text;
}

void Show(const ConnectionPrompts& prompts, const std::string& text, const char* caption) {
  if (prompts.show) prompts.show(text, caption, ConnectionPrompts::kOk);
}

// Reads until `size` bytes have come; the socket is non-blocking under the
// event selection, so a pause in the stream is waited out. False when the
// peer closes or the connection fails.
bool ReceiveWhole(SOCKET socket, char* buffer, int size) {
  int got = 0;
  while (got < size) {
    const int n = recv(socket, buffer + got, size - got, 0);
    if (n > 0) {
      got += n;
      continue;
    }
    if (n == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK) {
      fd_set readable;
      FD_ZERO(&readable);
      FD_SET(socket, &readable);
      timeval wait{30, 0};
      if (select(0, &readable, nullptr, nullptr, &wait) <= 0) return false;
      continue;
    }
    return false;
  }
  return true;
}

}  // namespace

SOCKET ConnectToService(const char* host, unsigned short port, const ConnectionPrompts& prompts) {
  SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
  if (s == INVALID_SOCKET) {
    Show(prompts, Formatted("Failed to Orvanta initialize. Create Socket Failed. [%d]", WSAGetLastError()), "Orvanta");
    return INVALID_SOCKET;
  }
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = inet_addr(host);
  address.sin_port = htons(port);
  if (connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return s;

  const bool start = prompts.show && prompts.show(
                                         "Orvanta Windows Backup service is not started.\n"
                                         "Do you want to start Orvanta Windows Backup Service?",
                                         "Orvanta", ConnectionPrompts::kYesNo);
  closesocket(s);
  if (start) {
    if (prompts.runCommand)
      prompts.runCommand("/c StartOrvaService.cmd");
    else
      RunCmdAndWait("/c StartOrvaService.cmd");
    Sleep(1000);
    Show(prompts, "Please restart the Orvanta Windows Backup Manager.", "Orvanta");
  }
  prompts.exit(1);
  return INVALID_SOCKET;
}

int RunCmdAndWait(const std::string& parameters) {
  SHELLEXECUTEINFOA info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS;
  info.lpVerb = "open";
  info.lpFile = "cmd.exe";
  info.lpParameters = parameters.c_str();
  info.nShow = SW_SHOW;
  if (ShellExecuteExA(&info) && info.hProcess) {
    WaitForSingleObject(info.hProcess, INFINITE);
    CloseHandle(info.hProcess);
  }
  return 0;
}

bool SendJobRecord(SOCKET socket, const JobRecord& record, const ConnectionPrompts& prompts) {
  const char* bytes = reinterpret_cast<const char*>(&record);
  int sent = 0;
  while (sent < kRecordSize) {
    const int n = send(socket, bytes + sent, kRecordSize - sent, 0);
    if (n > 0) {
      sent += n;
      continue;
    }
    if (n == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK) {
      fd_set writable;
      FD_ZERO(&writable);
      FD_SET(socket, &writable);
      timeval wait{30, 0};
      if (select(0, nullptr, &writable, nullptr, &wait) > 0) continue;
    }
    Show(prompts, Formatted("Data Send Error. [ERROR CODE:%d]", WSAGetLastError()), "Orvanta");
    return false;
  }
  return true;
}

DWORD ReceiveRecords(SOCKET socket, RecordReceiver& receiver, const ConnectionPrompts& prompts) {
  WSAEVENT event = WSACreateEvent();
  if (event == WSA_INVALID_EVENT || WSAEventSelect(socket, event, FD_READ | FD_CLOSE) != 0) {
    Show(prompts, Formatted("WSAEventSelect [ERROR CODE:%d]", WSAGetLastError()), "OV Standard Edition");
    if (event != WSA_INVALID_EVENT) WSACloseEvent(event);
    return 0;
  }
  for (;;) {
    if (WSAWaitForMultipleEvents(1, &event, TRUE, WSA_INFINITE, FALSE) != WSA_WAIT_EVENT_0) break;
    WSANETWORKEVENTS events{};
    if (WSAEnumNetworkEvents(socket, event, &events) != 0) break;
    bool closed = (events.lNetworkEvents & FD_CLOSE) != 0;
    if (events.lNetworkEvents & FD_READ) {
      // Every whole record that has come; a record split across packets is
      // waited for, never taken in part.
      for (;;) {
        u_long pending = 0;
        if (ioctlsocket(socket, FIONREAD, &pending) != 0 || pending == 0) break;
        JobRecord record{};
        if (!ReceiveWhole(socket, reinterpret_cast<char*>(&record), kRecordSize)) {
          closed = true;
          break;
        }
        receiver.Take(record);
      }
    }
    if (closed) {
      Show(prompts, "Server connection is closed.", "OV Standard Edition");
      WSACloseEvent(event);
      shutdown(socket, SD_BOTH);
      closesocket(socket);
      prompts.exit(0);
      return 0;
    }
    Sleep(1);
  }
  WSACloseEvent(event);
  return 0;
}

}  // namespace orva::manager
