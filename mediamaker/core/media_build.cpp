#include "core/media_build.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace orva::media {

namespace {

std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    while (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

template <size_t N>
void SetText(char (&field)[N], std::string_view line) {
  size_t n = line.size() < N - 1 ? line.size() : N - 1;
  memcpy(field, line.data(), n);
  field[n] = '\0';
}

int32_t Number(std::string_view line) {
  std::string s(line);
  return (int32_t)strtol(s.c_str(), nullptr, 10);
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c; }

std::string Q(const std::string& s) { return "\"" + s + "\""; }

// Paths are read literally: a '!' stays a '!' also where the system turns delayed expansion on.
const char kScriptStart[] = "@echo off\r\nsetlocal EnableExtensions DisableDelayedExpansion\r\n";

}  // namespace

std::vector<JobRecord> ReadSchedule(std::string_view text) {
  std::vector<JobRecord> out;
  std::vector<std::string_view> lines = SplitLines(text);
  int count = 0;
  if (lines.empty() || sscanf(std::string(lines[0]).c_str(), "Schedule Number: %d", &count) != 1) return out;
  if (count > kMaxJobs) count = kMaxJobs;
  size_t next = 1;
  for (int j = 0; j < count && next + 26 <= lines.size(); ++j) {
    JobRecord r{};
    SetText(r.jobName, lines[next++]);
    r.jobType = Number(lines[next++]);
    r.runState = Number(lines[next++]);
    SetText(r.driveLetter, lines[next++]);
    SetText(r.volumeSize, lines[next++]);
    SetText(r.imagePath, lines[next++]);
    SetText(r.baseImagePath, lines[next++]);
    r.compressionLevel = Number(lines[next++]);
    SetText(r.excludeList, lines[next++]);
    SetText(r.sourceFolder, lines[next++]);
    SetText(r.targetFolder, lines[next++]);
    SetText(r.reservedText1, lines[next++]);
    SetText(r.reservedText2, lines[next++]);
    SetText(r.scheduleKind, lines[next++]);
    SetText(r.scheduleTime, lines[next++]);
    auto flag = [&](char& f) {
      std::string_view l = lines[next++];
      f = l.empty() ? '\0' : l[0];
    };
    flag(r.daily);
    flag(r.weekly);
    flag(r.monthly);
    for (char& d : r.weekdays) flag(d);
    r.dayOfMonth = Number(lines[next++]);
    out.push_back(r);
  }
  return out;
}

bool IsImageBackup(const JobRecord& r) { return (r.jobType >= 300 && r.jobType <= 303) || r.jobType == 306; }

std::string DiskSizeText(int64_t bytes) {
  int64_t mib = bytes / 1048576;
  char text[64];
  if (mib / 1000 == 0)
    snprintf(text, sizeof text, "%" PRId64 " MB", mib);
  else
    snprintf(text, sizeof text, "%" PRId64 ".%.3" PRId64 " GB", mib / 1000, mib % 1000);
  return text;
}

std::string ChainSizeText(int64_t bytes) { return "( " + DiskSizeText(bytes) + " )"; }

bool FitsOnDvd(int64_t bytes) { return (double)bytes <= kIsoLimitBytes; }

int CopyPercent(uint64_t copied, uint64_t total) {
  if (total == 0 || copied >= total) return 100;
  // Without overflow for any size: copied * 100 / total.
  if (copied <= UINT64_MAX / 100) return (int)(copied * 100 / total);
  return (int)(copied / (total / 100));
}

std::string CopyProgressText(uint64_t copied, uint64_t total) {
  char text[128];
  snprintf(text, sizeof text, "[%d %%] Transffered: %" PRIu64 ", TotalSize: %" PRIu64, CopyPercent(copied, total),
           copied, total);
  return text;
}

std::string ExeFolderOf(const std::string& modulePath) {
  size_t cut = modulePath.rfind('\\');
  return cut == std::string::npos ? std::string() : modulePath.substr(0, cut + 1);
}

std::string ParentFolderOf(const std::string& exeFolder) {
  std::string s = exeFolder;
  size_t cut = s.rfind('\\');
  if (cut == std::string::npos) return std::string();
  s.resize(cut);
  cut = s.rfind('\\');
  if (cut == std::string::npos) return std::string();
  s.resize(cut);
  return s;
}

std::string ToUpperAscii(std::string s, const LeadBytes& lead) {
  for (size_t i = 0; i < s.size(); ++i) {
    if (lead[(unsigned char)s[i]])
      ++i;  // the second byte of the character
    else if (s[i] >= 'a' && s[i] <= 'z')
      s[i] = (char)(s[i] - 'a' + 'A');
  }
  return s;
}

std::string DefaultIsoPath(const std::string& imagePath, const LeadBytes& lead) {
  std::string upper = ToUpperAscii(imagePath, lead);
  size_t at = upper.find(".TAV");
  if (at == std::string::npos) return std::string();
  return upper.substr(0, at) + ".iso";
}

std::string IsoPathInFolder(const std::string& folder, const std::string& jobName) {
  std::string s = folder + "\\" + jobName + ".iso";
  // A share's "\\server" keeps its two backslashes.
  size_t from = s.compare(0, 2, "\\\\") == 0 ? 2 : 0, at;
  while ((at = s.find("\\\\", from)) != std::string::npos) s.erase(at, 1);
  return s;
}

std::string NormaliseIsoPath(const std::string& typed, const LeadBytes& lead) {
  std::string s = ToUpperAscii(typed, lead);
  if (s.find(".ISO") == std::string::npos) s += ".ISO";
  return s;
}

std::string FolderOf(const std::string& path) {
  size_t cut = path.find_last_of("\\/");
  if (cut == std::string::npos) return path.size() >= 2 && path[1] == ':' ? path.substr(0, 2) : std::string();
  return path.substr(0, cut + 1);
}

std::string FileNameOf(const std::string& path) {
  size_t cut = path.find_last_of("\\/:");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string TrimTrailingBackslashes(std::string path) {
  while (!path.empty() && (path.back() == '\\' || path.back() == '/')) path.pop_back();
  return path;
}

std::string UsbImageTarget(const std::string& usbPath, const std::string& jobName) {
  return TrimTrailingBackslashes(usbPath) + "\\ORVANTA\\" + jobName + ".TAV";
}

std::string DriveOf(const std::string& path) {
  if (path.size() >= 2 && path[1] == ':') {
    char d = path[0] >= 'a' && path[0] <= 'z' ? (char)(path[0] - 'a' + 'A') : path[0];
    return std::string(1, d) + ":";
  }
  if (path.size() < 3 || (path[0] != '\\' && path[0] != '/') || (path[1] != '\\' && path[1] != '/')) return "";
  // "\\server\share": the share is the drive.
  size_t server = path.find_first_of("\\/", 2);
  if (server == std::string::npos) return "";
  size_t share = path.find_first_of("\\/", server + 1);
  std::string root = path.substr(0, share);
  for (char& c : root) c = c == '/' ? '\\' : Lower(c);
  return root;
}

bool IsSameOrBelow(const std::string& path, const std::string& folder) {
  std::string p = TrimTrailingBackslashes(path), f = TrimTrailingBackslashes(folder);
  if (f.empty() || p.size() < f.size()) return false;
  for (size_t i = 0; i < f.size(); ++i)
    if (Lower(p[i]) != Lower(f[i]) && !((p[i] == '/' || p[i] == '\\') && (f[i] == '/' || f[i] == '\\'))) return false;
  return p.size() == f.size() || p[f.size()] == '\\' || p[f.size()] == '/';
}

std::string CheckScriptText(const std::string& value, const std::string& what) {
  if (value.empty()) return what + " is empty.";
  for (unsigned char c : value) {
    if (c == '"') return what + " must not contain the character \".\n\n" + value;
    if (c == '%') return what + " must not contain the character %.\n\n" + value;
    if (c < 0x20) return what + " must not contain control characters.";
  }
  return std::string();
}

std::string CheckFullPath(const std::string& path, const std::string& what) {
  bool drive = path.size() >= 3 && ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) &&
               path[1] == ':' && path[2] == '\\';
  bool unc = path.size() >= 3 && path[0] == '\\' && path[1] == '\\' && path[2] != '\\';
  if (drive || unc) return std::string();
  return what + " must be a full path, for example D:\\Recovery\\BACKUP.ISO.\n\n" + path;
}

std::string CheckFileName(const std::string& name, const std::string& what) {
  if (name.empty()) return what + " is empty.";
  for (unsigned char c : name)
    if (c < 0x20 || strchr("\\/:*?\"<>|%", c)) return what + " cannot be used as a file name.\n\n" + name;
  return std::string();
}

std::string IsoWorkPath(const std::string& isoPath) { return isoPath + ".PART"; }

std::string MakeIsoScript(const IsoScript& s) {
  const std::string staging = s.isoFolder + "\\ORVAPE";
  const std::string into = staging + "\\ORVANTA";
  const std::string work = IsoWorkPath(s.isoPath);
  std::string t = kScriptStart;
  t += "robocopy " + Q(s.exeFolder + "\\ORVAPE") + " " + Q(staging) + " /mir /w:1 /r:1 /tee /log:" + Q(s.copyLog) +
       "\r\n";
  t += "if errorlevel 8 goto failed\r\n";
  for (const std::string& file : s.imageFiles) {
    // The command processor's move does not always set the error level: the file itself tells.
    // The target ends in a backslash: without the folder the move fails instead of renaming the file.
    t += "move /y " + Q(file) + " " + Q(into + "\\") + " \r\n";
    t += "if not exist " + Q(into + "\\" + FileNameOf(file)) + " goto failed\r\n";
  }
  // OSCDIMG writes under a work name: what it leaves on a failure is never taken
  // for the image, and an older image of the name stays until the new one is whole.
  t += Q(s.exeFolder + "\\OSCDIMG.EXE") + " -m -lOrvanta -b" + Q(s.exeFolder + "\\etfsboot.com") + " -n " + Q(staging) +
       " " + Q(work) + "\r\n";
  t += "if errorlevel 1 goto failed\r\n";
  t += "if not errorlevel 0 goto failed\r\n";
  t += "if not exist " + Q(work) + " goto failed\r\n";
  t += "move /y " + Q(work) + " " + Q(s.isoPath) + " \r\n";
  t += "if exist " + Q(work) + " goto failed\r\n";
  t += "if not exist " + Q(s.isoPath) + " goto failed\r\n";
  t += "rd /s /q " + Q(staging) + " \r\n";
  t += "exit /b 0\r\n";
  // Without a new ISO image the partial one goes and the image files go back
  // where they were; the staging folder goes only when none of them is left in it.
  t += ":failed\r\n";
  t += "if exist " + Q(work) + " del /f /q " + Q(work) + "\r\n";
  for (const std::string& file : s.imageFiles) {
    const std::string moved = into + "\\" + FileNameOf(file);
    t += "if exist " + Q(moved) + " move /y " + Q(moved) + " " + Q(FolderOf(file)) + "\r\n";
  }
  for (const std::string& file : s.imageFiles) t += "if exist " + Q(into + "\\" + FileNameOf(file)) + " exit /b 1\r\n";
  t += "if exist " + Q(staging) + " rd /s /q " + Q(staging) + "\r\n";
  t += "exit /b 1\r\n";
  return t;
}

std::string MakeUsbScript(const UsbScript& s) {
  // "E:\\" inside quotes reads as E:\ (a backslash before the closing quote is doubled).
  std::string t = kScriptStart;
  t += "robocopy " + Q(s.exeFolder + "\\ORVAPE") + " " + Q(TrimTrailingBackslashes(s.usbPath) + "\\\\") +
       " /e /w:1 /r:1 /tee /log:" + Q(s.copyLog) + "\r\n";
  t += "if errorlevel 8 exit /b 1\r\n";
  t += "exit /b 0\r\n";
  return t;
}

}  // namespace orva::media
