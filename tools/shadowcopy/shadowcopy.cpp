// Orvanta's stand-in for the shadow-copy tool, for test machines and Wine.
// A snapshot is a copy of the volume's root tree in a folder of its own
// (ORVA_SNAPSHOT_ROOT, else %TEMP%\orva_snapshots), so the live volume may
// change while the snapshot is read.
//
//   -script=FILE -exec=CMD X:   snapshot X:, write FILE (set SHADOW_DEVICE_1=...),
//                               run CMD through cmd.exe, remove the snapshot
//   -p -nw X:                   persistent snapshot; prints its SNAPSHOT ID
//   -er={id},NAME               expose: NAME "Y:" maps a drive letter, any
//                               other NAME is a share of this machine (under
//                               Wine, which has no server, the snapshot moves
//                               to where Wine finds \\<address>\NAME)
//   -ds={id}                    delete (and unexpose) a persistent snapshot
#include <winsock2.h>
#include <windows.h>
#include <lm.h>
#include <objbase.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

namespace {

std::string Narrow(const std::wstring& text, UINT page = CP_ACP) {
  if (text.empty()) return {};
  int n = WideCharToMultiByte(page, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(page, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

void Say(const std::wstring& line) {
  std::string text = Narrow(line) + "\n";
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

int Fail(const std::wstring& why) {
  Say(L"ERROR: " + why);
  return 1;
}

std::wstring ErrorText(DWORD code) {
  wchar_t text[512] = {};
  DWORD n =
      FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text, 511, nullptr);
  while (n > 0 && (text[n - 1] == L'\r' || text[n - 1] == L'\n' || text[n - 1] == L' ')) text[--n] = 0;
  return L"[0x" + std::to_wstring(code) + L"] " + text;
}

std::wstring Env(const wchar_t* name) {
  wchar_t value[MAX_PATH * 2] = {};
  DWORD n = GetEnvironmentVariableW(name, value, MAX_PATH * 2);
  return n > 0 && n < MAX_PATH * 2 ? value : L"";
}

std::wstring FullPath(const std::wstring& path) {
  wchar_t full[MAX_PATH * 2] = {};
  DWORD n = GetFullPathNameW(path.c_str(), MAX_PATH * 2, full, nullptr);
  return n > 0 && n < MAX_PATH * 2 ? full : path;
}

std::wstring SnapshotRoot() {
  std::wstring root = Env(L"ORVA_SNAPSHOT_ROOT");
  if (root.empty()) {
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, temp);
    root = std::wstring(temp) + L"orva_snapshots";
  }
  while (!root.empty() && root.back() == L'\\') root.pop_back();
  return FullPath(root);
}

std::wstring NewGuid() {
  GUID guid;
  CoCreateGuid(&guid);
  wchar_t text[64] = {};
  StringFromGUID2(guid, text, 64);
  return text;
}

bool SameFolder(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

// Copies the tree below `from` into `to`, leaving out `skip` (the snapshot
// store, should it lie on the volume). Returns the number of failures.
int CopyTree(const std::wstring& from, const std::wstring& to, const std::wstring& skip) {
  int failures = 0;
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW((from + L"\\*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return 0;
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    const std::wstring source = from + L"\\" + name, target = to + L"\\" + name;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;
      if (SameFolder(FullPath(source), skip)) continue;
      if (!CreateDirectoryW(target.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        ++failures;
        continue;
      }
      failures += CopyTree(source, target, skip);
    } else if (!CopyFileW(source.c_str(), target.c_str(), FALSE)) {
      ++failures;
    }
  } while (FindNextFileW(find, &found));
  FindClose(find);
  return failures;
}

void RemoveTree(const std::wstring& folder) {
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring path = folder + L"\\" + name;
      SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
          !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        RemoveTree(path);
      else if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        RemoveDirectoryW(path.c_str());
      else
        DeleteFileW(path.c_str());
    } while (FindNextFileW(find, &found));
    FindClose(find);
  }
  RemoveDirectoryW(folder.c_str());
}

bool IsVolume(const std::wstring& text) { return text.size() == 2 && text[1] == L':' && iswalpha(text[0]); }

struct Snapshot {
  std::wstring id, volume, folder;
};

// Copies volume X: into a new snapshot folder.
bool MakeSnapshot(const std::wstring& volume, Snapshot& snap) {
  const std::wstring root = SnapshotRoot();
  snap.id = NewGuid();
  snap.volume = volume;
  snap.folder = root + L"\\" + snap.id;
  const std::wstring volumeRoot = volume + L"\\";
  const UINT type = GetDriveTypeW(volumeRoot.c_str());
  if (type == DRIVE_NO_ROOT_DIR || type == DRIVE_UNKNOWN) {
    Fail(L"The volume " + volume + L" does not exist or is not mounted.");
    return false;
  }
  CreateDirectoryW(root.c_str(), nullptr);
  if (!CreateDirectoryW(snap.folder.c_str(), nullptr)) {
    Fail(L"Cannot create the snapshot folder " + snap.folder + L": " + ErrorText(GetLastError()));
    return false;
  }
  const int failures = CopyTree(volume, snap.folder, root);
  if (failures > 0)
    Say(L"- Warning: " + std::to_wstring(failures) + L" objects of " + volume + L"\\ could not be copied.");
  return true;
}

void ListSnapshot(const Snapshot& snap, const std::wstring& set, bool persistent) {
  Say(L"List of created shadow copies: ");
  Say(L"");
  Say(L"Querying all shadow copies with the SHADOW COPY SET ID " + set);
  Say(L"");
  Say(L"* SNAPSHOT ID = " + snap.id + L" ...");
  Say(L"   - Shadow copy Set: " + set);
  Say(L"   - Original Volume name: " + snap.volume + L"\\");
  Say(L"   - Shadow copy device name: " + snap.folder);
  Say(std::wstring(L"   - Attributes: ") + (persistent ? L"Persistent No_Auto_Release No_Writers" : L"Auto_Release"));
  Say(L"");
}

std::wstring InfoPath(const std::wstring& id) { return SnapshotRoot() + L"\\" + id + L".txt"; }

// The record of a persistent snapshot: volume, the exposure (empty, "Y:" or
// a share name) and, when it was moved to expose it, its folder; one a line.
bool WriteInfo(const std::wstring& id, const std::wstring& volume, const std::wstring& exposed,
               const std::wstring& moved = L"") {
  FILE* f = _wfopen(InfoPath(id).c_str(), L"wb");
  if (!f) return false;
  std::string text = Narrow(volume, CP_UTF8) + "\n" + Narrow(exposed, CP_UTF8) + "\n" + Narrow(moved, CP_UTF8) + "\n";
  bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  return std::fclose(f) == 0 && ok;
}

bool ReadInfo(const std::wstring& id, std::wstring& volume, std::wstring& exposed, std::wstring* moved = nullptr) {
  FILE* f = _wfopen(InfoPath(id).c_str(), L"rb");
  if (!f) return false;
  char buffer[1024] = {};
  size_t n = std::fread(buffer, 1, sizeof buffer - 1, f);
  std::fclose(f);
  std::string text(buffer, n);
  size_t line = text.find('\n');
  if (line == std::string::npos) return false;
  auto wide = [](const std::string& s) {
    std::wstring out(s.size(), L'\0');
    int m =
        MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), out.data(), static_cast<int>(out.size()));
    out.resize(static_cast<size_t>(m));
    return out;
  };
  volume = wide(text.substr(0, line));
  std::string rest = text.substr(line + 1);
  const size_t second = rest.find('\n');
  exposed = wide(rest.substr(0, second));
  if (moved)
    *moved =
        second == std::string::npos ? L"" : wide(rest.substr(second + 1, rest.find('\n', second + 1) - second - 1));
  return true;
}

bool ValidId(const std::wstring& id) {
  GUID guid;
  return id.size() == 38 && SUCCEEDED(CLSIDFromString(id.c_str(), &guid));
}

DWORD RunScript(const std::wstring& script) {
  wchar_t system[MAX_PATH] = {};
  GetSystemDirectoryW(system, MAX_PATH);
  std::wstring line = L"\"" + std::wstring(system) + L"\\cmd.exe\" /c \"\"" + script + L"\"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process))
    return GetLastError() | 0x80000000u;
  CloseHandle(process.hThread);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hProcess);
  return code;
}

int ScriptRun(const std::wstring& settings, const std::wstring& exec, const std::wstring& volume) {
  if (!settings.empty()) Say(L"(Option: Generate SETVAR script '" + settings + L"')");
  if (!exec.empty()) Say(L"(Option: Execute binary/script after shadow creation '" + exec + L"')");
  Say(L"(Option: Create shadow copy set)");
  Say(L"- Setting the shadow copy set for volume " + volume + L"\\ ...");
  Snapshot snap;
  const std::wstring set = NewGuid();
  if (!MakeSnapshot(volume, snap)) return 1;
  ListSnapshot(snap, set, false);
  if (!settings.empty()) {
    FILE* f = _wfopen(settings.c_str(), L"wb");
    if (!f) {
      RemoveTree(snap.folder);
      return Fail(L"Cannot write the settings file " + settings + L".");
    }
    std::string text = "@echo.\r\n@echo [This script is generated by the shadow-copy tool for the shadow set " +
                       Narrow(set) + "]\r\n@echo.\r\n" + "SET SHADOW_SET_ID=" + Narrow(set) + "\r\n" +
                       "SET SHADOW_ID_1=" + Narrow(snap.id) + "\r\n" +
                       "SET SHADOW_DEVICE_1=" + Narrow(snap.folder, CP_OEMCP) + "\r\n";
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
    Say(L"- Generating the SETVAR script (" + settings + L") ...");
  }
  int result = 0;
  if (!exec.empty()) {
    if (exec.find(L'"') != std::wstring::npos) {
      result = Fail(L"The command to execute holds a double quote.");
    } else {
      Say(L"- Executing command '" + exec + L"' ...");
      Say(L"-----------------------------------------------------");
      const DWORD code = RunScript(exec);
      Say(L"-----------------------------------------------------");
      if (code & 0x80000000u) result = Fail(L"Cannot start the command: " + ErrorText(code & 0x7fffffffu));
    }
  }
  RemoveTree(snap.folder);
  Say(L"- Deleting the shadow copy " + snap.id + L" ...");
  Say(L"Snapshot creation done.");
  return result;
}

int PersistentCreate(const std::wstring& volume) {
  Say(L"(Option: Persistent shadow copy)");
  Say(L"(Option: Do not include writers)");
  Say(L"(Option: Create shadow copy set)");
  Say(L"- Setting the shadow copy set for volume " + volume + L"\\ ...");
  Snapshot snap;
  const std::wstring set = NewGuid();
  if (!MakeSnapshot(volume, snap)) {
    Say(L"List of created shadow copies: ");
    return Fail(L"No shadow copy of " + volume + L" was created.");
  }
  if (!WriteInfo(snap.id, volume, L"")) {
    RemoveTree(snap.folder);
    Say(L"List of created shadow copies: ");
    return Fail(L"Cannot record the snapshot " + snap.id + L".");
  }
  ListSnapshot(snap, set, true);
  Say(L"Snapshot creation done.");
  return 0;
}

bool IsDriveName(const std::wstring& name) { return IsVolume(name); }

// The dotted IPv4 text of this machine's host name, as the service forms it.
std::wstring HostAddress() {
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 0), &data) != 0) return L"";
  std::wstring address;
  char host[256] = {};
  if (gethostname(host, sizeof host) == 0) {
    if (const hostent* entry = gethostbyname(host); entry && entry->h_addr_list && entry->h_addr_list[0]) {
      in_addr in;
      std::memcpy(&in, entry->h_addr_list[0], sizeof in);
      const char* text = inet_ntoa(in);
      if (text) address.assign(text, text + std::strlen(text));
    }
  }
  WSACleanup();
  return address;
}

// Under Wine \\server\share\... is the folder dosdevices\unc\server\share of
// the prefix; empty when not under Wine.
std::wstring WineShareFolder(const std::wstring& server, const std::wstring& share) {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  if (!ntdll || !kernel || !GetProcAddress(ntdll, "wine_get_version")) return L"";
  using ToUnix = char*(CDECL*)(const wchar_t*);
  using ToDos = wchar_t*(CDECL*)(const char*);
  auto toUnix = reinterpret_cast<ToUnix>(reinterpret_cast<void*>(GetProcAddress(kernel, "wine_get_unix_file_name")));
  auto toDos = reinterpret_cast<ToDos>(reinterpret_cast<void*>(GetProcAddress(kernel, "wine_get_dos_file_name")));
  if (!toUnix || !toDos) return L"";
  char* c = toUnix(L"C:\\");
  if (!c) return L"";
  std::string unixPath = c;
  HeapFree(GetProcessHeap(), 0, c);
  const size_t at = unixPath.rfind("/dosdevices/");
  if (at == std::string::npos) return L"";
  unixPath = unixPath.substr(0, at) + "/dosdevices/unc/" + Narrow(server, CP_UTF8) + "/" + Narrow(share, CP_UTF8);
  wchar_t* dos = toDos(unixPath.c_str());
  if (!dos) return L"";
  std::wstring out = dos;
  HeapFree(GetProcessHeap(), 0, dos);
  return out;
}

int Expose(const std::wstring& id, const std::wstring& name) {
  Say(L"(Option: Expose a shadow copy)");
  Say(L"- Exposing shadow copy " + id + L" under the path '" + name + L"'");
  std::wstring volume, exposed;
  if (!ValidId(id) || !ReadInfo(id, volume, exposed)) return Fail(L"There is no shadow copy " + id + L".");
  if (!exposed.empty()) return Fail(L"The shadow copy " + id + L" is already exposed as '" + exposed + L"'.");
  const std::wstring folder = SnapshotRoot() + L"\\" + id;
  if (IsDriveName(name)) {
    const wchar_t root[] = {name[0], L':', L'\\', 0};
    if (GetDriveTypeW(root) != DRIVE_NO_ROOT_DIR) return Fail(L"The drive " + name + L" is in use.");
    // Under Wine the mapping is seen by this process only; drive letters of
    // other processes come from the prefix's dosdevices folder.
    if (!DefineDosDeviceW(0, name.c_str(), folder.c_str()))
      return Fail(L"Cannot map " + name + L": " + ErrorText(GetLastError()));
  } else {
    if (name.empty() || name.find_first_of(L"\\/:*?\"<>|") != std::wstring::npos)
      return Fail(L"The share name '" + name + L"' is not valid.");
    SHARE_INFO_2 share{};
    std::wstring netname = name, remark = L"Shadow copy " + id, path = folder;
    share.shi2_netname = netname.data();
    share.shi2_type = STYPE_DISKTREE;
    share.shi2_remark = remark.data();
    share.shi2_max_uses = static_cast<DWORD>(-1);
    share.shi2_path = path.data();
    DWORD bad = 0;
    const NET_API_STATUS status = NetShareAdd(nullptr, 2, reinterpret_cast<BYTE*>(&share), &bad);
    if (status != NERR_Success) {
      const std::wstring address = HostAddress();
      const std::wstring target = address.empty() ? L"" : WineShareFolder(address, name);
      if (target.empty()) return Fail(L"Cannot share the shadow copy as '" + name + L"': " + ErrorText(status));
      const std::wstring hostFolder = target.substr(0, target.rfind(L'\\'));
      CreateDirectoryW(hostFolder.substr(0, hostFolder.rfind(L'\\')).c_str(), nullptr);
      CreateDirectoryW(hostFolder.c_str(), nullptr);
      if (GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES)
        return Fail(L"The share name '" + name + L"' is in use.");
      if (!MoveFileExW(folder.c_str(), target.c_str(), 0))
        return Fail(L"Cannot share the shadow copy as '" + name + L"': " + ErrorText(GetLastError()));
      if (!WriteInfo(id, volume, name, target)) {
        MoveFileExW(target.c_str(), folder.c_str(), 0);
        return Fail(L"Cannot record the exposure of " + id + L".");
      }
      Say(L"- Shadow copy exposed as '\\\\" + address + L"\\" + name + L"'.");
      return 0;
    }
  }
  if (!WriteInfo(id, volume, name)) return Fail(L"Cannot record the exposure of " + id + L".");
  Say(L"- Shadow copy exposed as '" + name + L"'.");
  return 0;
}

int Delete(const std::wstring& id) {
  Say(L"(Option: Delete a shadow copy)");
  Say(L"- Deleting shadow copy " + id + L" ...");
  std::wstring volume, exposed, moved;
  if (!ValidId(id) || !ReadInfo(id, volume, exposed, &moved)) return Fail(L"There is no shadow copy " + id + L".");
  const std::wstring folder = moved.empty() ? SnapshotRoot() + L"\\" + id : moved;
  if (!moved.empty()) {
    // Wine's share folder: nothing to unshare.
  } else if (IsDriveName(exposed)) {
    DefineDosDeviceW(DDD_REMOVE_DEFINITION | DDD_EXACT_MATCH_ON_REMOVE, exposed.c_str(), folder.c_str());
  } else if (!exposed.empty()) {
    NetShareDel(nullptr, exposed.data(), 0);
  }
  RemoveTree(folder);
  DeleteFileW(InfoPath(id).c_str());
  if (GetFileAttributesW(folder.c_str()) != INVALID_FILE_ATTRIBUTES)
    return Fail(L"The shadow copy folder " + folder + L" could not be removed.");
  Say(L"- Shadow copy " + id + L" deleted.");
  return 0;
}

bool TakeValue(const std::wstring& arg, const wchar_t* option, std::wstring& value) {
  const size_t n = std::wcslen(option);
  if (arg.size() < n || _wcsnicmp(arg.c_str(), option, n) != 0) return false;
  value = arg.substr(n);
  return true;
}

std::wstring Upper(std::wstring text) {
  for (wchar_t& c : text) c = towupper(c);
  return text;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  Say(L"Orvanta shadow-copy stand-in 1.0 (snapshots are folder copies)");
  Say(L"");
  std::wstring settings, exec, expose, remove, volume;
  bool persistent = false, noWriters = false, any = false;
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg = argv[i];
    any = true;
    if (TakeValue(arg, L"-script=", settings) || TakeValue(arg, L"-exec=", exec) || TakeValue(arg, L"-er=", expose) ||
        TakeValue(arg, L"-ds=", remove))
      continue;
    if (_wcsicmp(arg.c_str(), L"-p") == 0) {
      persistent = true;
    } else if (_wcsicmp(arg.c_str(), L"-nw") == 0) {
      noWriters = true;
    } else if (IsVolume(arg) && volume.empty()) {
      volume = Upper(arg);
    } else {
      return Fail(L"Unknown option: " + arg);
    }
  }
  (void)noWriters;
  if (!any) {
    Say(L"Usage: vshadow [-p] [-nw] [-script=FILE] [-exec=CMD] X: | -er={id},NAME | -ds={id}");
    return 1;
  }
  if (!remove.empty()) return Delete(remove);
  if (!expose.empty()) {
    const size_t comma = expose.find(L',');
    if (comma == std::wstring::npos) {
      Say(L"(Option: Expose a shadow copy)");
      return Fail(L"-er= needs {id},NAME.");
    }
    return Expose(expose.substr(0, comma),
                  Upper(expose.substr(comma + 1)).size() == 2 && IsVolume(expose.substr(comma + 1))
                      ? Upper(expose.substr(comma + 1))
                      : expose.substr(comma + 1));
  }
  if (volume.empty()) return Fail(L"No volume given.");
  if (persistent) return PersistentCreate(volume);
  return ScriptRun(settings, exec, volume);
}
