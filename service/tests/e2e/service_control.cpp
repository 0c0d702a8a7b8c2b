// Sends one control code to a service and prints the status it answers
// with: "<state> <accepted>". Wine's sc and net cannot pause, continue or
// interrogate. Usage: service_control <service name> <control code>
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) return 2;
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
  if (!manager) return 3;
  SC_HANDLE service = OpenServiceW(manager, argv[1], SERVICE_ALL_ACCESS);
  if (!service) return 4;
  SERVICE_STATUS status{};
  DWORD control = static_cast<DWORD>(wcstoul(argv[2], nullptr, 10));
  if (!ControlService(service, control, &status)) {
    printf("error %lu\n", GetLastError());
    return 5;
  }
  printf("%lu %lu\n", status.dwCurrentState, status.dwControlsAccepted);
  CloseServiceHandle(service);
  CloseServiceHandle(manager);
  return 0;
}
