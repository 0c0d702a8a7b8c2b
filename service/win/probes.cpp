#include "win/probes.h"

#include <winsock2.h>
#include <windows.h>
#include <objbase.h>
#include <psapi.h>
#include <winioctl.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "contracts/ansi_path.h"

namespace orva::service {
namespace {

int64_t AddFolder(const std::wstring& folder) {
  int64_t total = 0;
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW((folder + L"\\*.*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return 0;
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      // Junctions and links are not followed: their targets are counted where they lie.
      if (!(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) total += AddFolder(folder + L"\\" + name);
    } else {
      total += static_cast<int64_t>((static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow);
    }
  } while (FindNextFileW(find, &found));
  FindClose(find);
  return total;
}

}  // namespace

int64_t GetFolderSize(const std::filesystem::path& folder) {
  std::wstring root = folder.wstring();
  while (root.size() > 1 && (root.back() == L'\\' || root.back() == L'/')) root.pop_back();
  return AddFolder(root);
}

int64_t GetPagefileSize(char letter) {
  const std::string pattern = std::string(1, letter) + ":\\*.*";
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA(pattern.c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return 0;
  int64_t size = 0;
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    const std::string full = std::string(1, letter) + ":\\" + found.cFileName;
    const size_t at = full.find("pagefile.sys");
    if (at != std::string::npos && at > 0) {
      size = static_cast<int64_t>((static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow);
      break;
    }
  } while (FindNextFileA(find, &found));
  FindClose(find);
  return size;
}

std::string FormatDiskNumber(long device, long partition) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2ld%.2ld", device, partition);
  return text;
}

std::string GetDiskNumberText(char letter) {
  const std::string volume = std::string("\\\\.\\") + letter + ":";
  HANDLE handle = CreateFileA(volume.c_str(), 0, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return "9999";
  STORAGE_DEVICE_NUMBER number{};
  DWORD got = 0;
  const BOOL ok =
      DeviceIoControl(handle, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &number, sizeof number, &got, nullptr);
  CloseHandle(handle);
  if (!ok) return "9999";
  return FormatDiskNumber(static_cast<long>(number.DeviceNumber), static_cast<long>(number.PartitionNumber));
}

bool IsProcessRunning(std::string_view name) {
  std::vector<DWORD> ids(1024);
  DWORD bytes = 0;
  if (!EnumProcesses(ids.data(), static_cast<DWORD>(ids.size() * sizeof(DWORD)), &bytes)) return false;
  ids.resize(bytes / sizeof(DWORD));
  for (DWORD id : ids) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
    if (!process) continue;
    char path[MAX_PATH * 2] = {};
    DWORD size = sizeof path;
    const bool match = QueryFullProcessImageNameA(process, 0, path, &size) &&
                       std::string_view(path, size).find(name) != std::string_view::npos;
    CloseHandle(process);
    if (match) return true;
  }
  return false;
}

bool AnsiPath(const std::filesystem::path& path, std::string& out) { return AnsiFromPath(path, out); }

bool WriteNewFile(const std::string& path, std::string_view text, std::string& why) {
  if (!DeleteFileA(path.c_str())) {
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND) {
      why = "the file there cannot be deleted: " + platform::SystemErrorText(error);
      return false;
    }
  }
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    why = platform::SystemErrorText(GetLastError());
    return false;
  }
  size_t done = 0;
  bool ok = true;
  while (ok && done < text.size()) {
    DWORD put = 0;
    ok = WriteFile(file, text.data() + done, static_cast<DWORD>(text.size() - done), &put, nullptr) && put > 0;
    done += put;
  }
  if (!ok) why = platform::SystemErrorText(GetLastError());
  CloseHandle(file);
  if (!ok) DeleteFileA(path.c_str());
  return ok;
}

bool FileExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string WindowsFolder() {
  char folder[MAX_PATH + 1] = {};
  const UINT n = GetWindowsDirectoryA(folder, MAX_PATH);
  return n > 0 && n <= MAX_PATH ? std::string(folder, n) : std::string();
}

std::string HostAddress() {
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 0), &data) != 0) return {};
  std::string address;
  char host[256] = {};
  if (gethostname(host, sizeof host) == 0) {
    const hostent* entry = gethostbyname(host);
    if (entry && entry->h_addrtype == AF_INET && entry->h_addr_list && entry->h_addr_list[0]) {
      in_addr in;
      std::memcpy(&in, entry->h_addr_list[0], sizeof in);
      if (const char* text = inet_ntoa(in)) address = text;
    }
  }
  WSACleanup();
  return address;
}

}  // namespace orva::service
