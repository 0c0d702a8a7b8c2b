// Orvanta's stand-in for robocopy, for test machines under Wine (Wine's own
// robocopy copies nothing). On Windows the system's robocopy is used.
//
//   robocopy <source> <destination> [switches]
//   /S (here the same as /E) /E /MIR /PURGE /NP /TEE /NJH /NJS /NFL /NDL /XJ /FFT /V /R:n /W:n
//   /LOG:file /LOG+:file
//
// Exit code as robocopy's: bit 1 files copied, 2 extra entries found in the
// destination, 4 mismatched entries, 8 failed copies or deletions, 16 fatal
// error (bad switches, no source, destination not creatable). Reparse points
// in the source are never followed or copied; in the destination they are
// removed as links, never walked.
//
// For tests, ORVA_ROBOCOPY_FAIL="path=code[;path=code...]" makes the copy of
// that source file (path relative to the source folder, or a bare name) or
// the creation of that folder fail with the given Windows error code on
// every try.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <map>
#include <string>
#include <vector>

#include "../common/tool_text.h"

using namespace orva_tools;

namespace {

struct Options {
  std::wstring source, target, log;
  std::wstring logFull;  // the log is neither copied nor purged
  bool subdirs = false, empty = false, purge = false, tee = false, noHeader = false, noSummary = false;
  bool noFileList = false, noDirList = false, fatTimes = false, verbose = false, logAppend = false;
  unsigned long retries = 1000000, wait = 30;
  std::wstring switches;  // as given, for the job header
};

struct Tally {
  unsigned long long total = 0, copied = 0, skipped = 0, mismatch = 0, failed = 0, extras = 0;
};

class Output {
 public:
  ~Output() {
    if (log_ != INVALID_HANDLE_VALUE) CloseHandle(log_);
  }
  bool OpenLog(const std::wstring& path, bool append) {
    log_ = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, append ? OPEN_ALWAYS : CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
    if (log_ == INVALID_HANDLE_VALUE) return false;
    if (append) SetFilePointer(log_, 0, nullptr, FILE_END);
    return true;
  }
  void SetTee(bool tee) { tee_ = tee; }
  void Line(const std::wstring& text) {
    std::wstring line = text + L"\r\n";
    if (log_ != INVALID_HANDLE_VALUE) {
      std::string bytes = Narrow(line);
      DWORD done = 0;
      WriteFile(log_, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
    }
    if (log_ == INVALID_HANDLE_VALUE || tee_) ConsoleWrite(line);
  }

 private:
  HANDLE log_ = INVALID_HANDLE_VALUE;
  bool tee_ = false;
};

Output out;

std::wstring LongDate(const SYSTEMTIME& t) {
  static const wchar_t* days[] = {L"Sunday", L"Monday", L"Tuesday", L"Wednesday", L"Thursday", L"Friday", L"Saturday"};
  static const wchar_t* months[] = {L"January", L"February", L"March",     L"April",   L"May",      L"June",
                                    L"July",    L"August",   L"September", L"October", L"November", L"December"};
  int hour = t.wHour % 12 == 0 ? 12 : t.wHour % 12;
  return Format(L"%ls, %ls %u, %u %d:%02u:%02u %ls", days[t.wDayOfWeek % 7], months[(t.wMonth + 11) % 12], t.wDay,
                t.wYear, hour, t.wMinute, t.wSecond, t.wHour < 12 ? L"AM" : L"PM");
}

std::wstring Stamp() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  return Format(L"%04u/%02u/%02u %02u:%02u:%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
}

unsigned long long Size(const WIN32_FIND_DATAW& f) {
  return (static_cast<unsigned long long>(f.nFileSizeHigh) << 32) | f.nFileSizeLow;
}

long long Ticks(const FILETIME& t) {
  return static_cast<long long>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
}

bool IsDir(const WIN32_FIND_DATAW& f) { return (f.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
bool IsLink(const WIN32_FIND_DATAW& f) { return (f.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }

constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                  FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// Read-only is not kept on folders: under Wine it takes the write right away
// from the folder itself.
constexpr DWORD kKeptFolderAttributes = kKeptAttributes & ~FILE_ATTRIBUTE_READONLY;

struct Listing {
  DWORD error = 0;
  std::vector<WIN32_FIND_DATAW> entries;
};

Listing List(const std::wstring& folder) {
  Listing result;
  WIN32_FIND_DATAW f;
  HANDLE find =
      FindFirstFileExW(LongPath(Join(folder, L"*")).c_str(), FindExInfoBasic, &f, FindExSearchNameMatch, nullptr, 0);
  if (find == INVALID_HANDLE_VALUE) {
    result.error = GetLastError();
    if (result.error == ERROR_FILE_NOT_FOUND || result.error == ERROR_NO_MORE_FILES) result.error = 0;
    return result;
  }
  do {
    if (wcscmp(f.cFileName, L".") == 0 || wcscmp(f.cFileName, L"..") == 0) continue;
    result.entries.push_back(f);
  } while (FindNextFileW(find, &f));
  DWORD last = GetLastError();
  FindClose(find);
  if (last != ERROR_NO_MORE_FILES) result.error = last;
  std::sort(result.entries.begin(), result.entries.end(), [](const WIN32_FIND_DATAW& a, const WIN32_FIND_DATAW& b) {
    return CompareStringOrdinal(a.cFileName, -1, b.cFileName, -1, TRUE) == CSTR_LESS_THAN;
  });
  return result;
}

class Mirror {
 public:
  explicit Mirror(const Options& o) : o_(o) { LoadInjected(); }

  Tally dirs, files, bytes;

  // Runs an operation with the retry rule; false when every try failed.
  template <typename Op>
  bool WithRetries(const wchar_t* what, const std::wstring& path, Op op) {
    for (unsigned long attempt = 0;; ++attempt) {
      DWORD error = op();
      if (error == 0) return true;
      out.Line(Format(L"%ls ERROR %lu (0x%08lX) %ls %ls", Stamp().c_str(), error, error, what, path.c_str()));
      out.Line(SystemText(error));
      if (attempt >= o_.retries) {
        out.Line(L"");
        out.Line(L"ERROR: RETRY LIMIT EXCEEDED.");
        out.Line(L"");
        return false;
      }
      out.Line(Format(L"Waiting %lu seconds... Retrying...", o_.wait));
      Sleep(o_.wait * 1000);
    }
  }

  void Folder(const std::wstring& src, const std::wstring& dst, const std::wstring& rel, bool dstExists) {
    Listing source;
    if (!WithRetries(L"Accessing Source Directory", src + L"\\", [&] {
          source = List(src);
          return source.error;
        })) {
      ++dirs.failed;
      return;
    }
    Listing target;
    if (dstExists) {
      if (!WithRetries(L"Accessing Destination Directory", dst + L"\\", [&] {
            target = List(dst);
            return target.error;
          })) {
        ++dirs.failed;
        return;
      }
    }
    std::map<std::wstring, const WIN32_FIND_DATAW*> present, sourceNames;
    for (const auto& t : target.entries) present[Upper(t.cFileName)] = &t;
    for (const auto& e : source.entries) sourceNames[Upper(e.cFileName)] = &e;

    size_t fileCount = 0;
    for (const auto& s : source.entries) fileCount += IsDir(s) ? 0 : 1;
    if (!o_.noDirList) out.Line(Format(L"\t%20zu\t%ls\\", fileCount, src.c_str()));

    std::map<std::wstring, bool> matched;  // destination names the source accounts for
    bool recurse = o_.subdirs || o_.empty;

    // Extra entries first, so a file may replace a folder of its name and back.
    for (const auto& t : target.entries) {
      std::wstring key = Upper(t.cFileName);
      if (SameText(Join(dst, t.cFileName), o_.logFull)) continue;
      auto found = sourceNames.find(key);
      const WIN32_FIND_DATAW* s = found == sourceNames.end() ? nullptr : found->second;
      if (s) {
        if (IsLink(*s)) continue;  // a skipped link in the source keeps its destination entry
        if (IsDir(*s) == IsDir(t) && !IsLink(t)) continue;
        if (IsDir(*s) && !recurse) continue;
        ++(IsDir(t) ? dirs : files).mismatch;
        if (!o_.purge) {
          out.Line(Format(L"\t  *MISMATCH \t\t%ls", Join(dst, t.cFileName).c_str()));
          matched[key] = true;
          continue;
        }
      } else if (IsDir(t) && !recurse) {
        continue;
      }
      std::wstring path = Join(dst, t.cFileName);
      if (IsDir(t)) {
        ++dirs.extras;
        if (!o_.noDirList) out.Line(Format(L"\t*EXTRA Dir \t\t%ls\\", path.c_str()));
      } else {
        ++files.extras;
        bytes.extras += Size(t);
        if (!o_.noFileList) out.Line(Format(L"\t\t*EXTRA File \t\t%llu\t%ls", Size(t), t.cFileName));
      }
      if (o_.purge) {
        bool isDir = IsDir(t), isLink = IsLink(t);
        if (!WithRetries(isDir ? L"Deleting Extra Directory" : L"Deleting Extra File", path,
                         [&] { return Remove(path, isDir, isLink); }))
          ++(isDir ? dirs : files).failed;
        else
          present.erase(key);
      }
    }

    for (const auto& s : source.entries) {
      std::wstring name = s.cFileName;
      std::wstring from = Join(src, name), to = Join(dst, name);
      std::wstring relPath = rel.empty() ? name : rel + L"\\" + name;
      auto it = present.find(Upper(name));
      const WIN32_FIND_DATAW* t = it == present.end() || matched.count(Upper(name)) ? nullptr : it->second;
      bool blocked = it != present.end() && matched.count(Upper(name));
      if (SameText(from, o_.logFull) || SameText(to, o_.logFull)) continue;
      if (IsLink(s)) {
        if (o_.verbose || !o_.noFileList) out.Line(Format(L"\t  *Skipped link \t\t%ls", from.c_str()));
        continue;
      }
      if (IsDir(s)) {
        if (!recurse || blocked) continue;
        if (SameText(from, o_.target)) continue;  // the destination inside the source
        ++dirs.total;
        if (t && IsLink(*t)) continue;  // a link that could not be removed is never walked into
        bool exists = t != nullptr;
        if (!exists) {
          if (!WithRetries(L"Creating Destination Directory", to + L"\\", [&] { return MakeFolder(to, relPath); })) {
            ++dirs.failed;
            continue;
          }
          ++dirs.copied;
          if (!o_.noDirList) out.Line(Format(L"\t  New Dir  \t\t%ls\\", to.c_str()));
        } else {
          ++dirs.skipped;
        }
        Folder(from, to, relPath, exists);
        KeepFolder(s, to);
        continue;
      }
      ++files.total;
      bytes.total += Size(s);
      if (blocked) continue;
      const wchar_t* kind = L"New File";
      if (t) {
        long long diff = Ticks(s.ftLastWriteTime) - Ticks(t->ftLastWriteTime);
        long long slack = o_.fatTimes ? 20000000LL : 0;
        if (Size(s) == Size(*t) && diff <= slack && diff >= -slack) {
          ++files.skipped;
          bytes.skipped += Size(s);
          if ((t->dwFileAttributes & kKeptAttributes) != (s.dwFileAttributes & kKeptAttributes))
            SetFileAttributesW(LongPath(to).c_str(), Attributes(s.dwFileAttributes, kKeptAttributes));
          if (o_.verbose) out.Line(Format(L"\t\t    same\t\t%llu\t%ls", Size(s), name.c_str()));
          continue;
        }
        kind = diff > 0 ? L"Newer" : diff < 0 ? L"Older" : L"Changed";
      }
      if (!o_.noFileList) out.Line(Format(L"\t    %-10ls\t\t%llu\t%ls", kind, Size(s), name.c_str()));
      if (WithRetries(L"Copying File", from, [&] { return CopyOne(from, to, relPath, s, t != nullptr); })) {
        ++files.copied;
        bytes.copied += Size(s);
      } else {
        ++files.failed;
        bytes.failed += Size(s);
      }
    }
  }

  // Makes the destination root with its parents; 0 or the error.
  DWORD MakeRoot(const std::wstring& path) {
    DWORD attr = GetFileAttributesW(LongPath(path).c_str());
    if (attr != INVALID_FILE_ATTRIBUTES) return (attr & FILE_ATTRIBUTE_DIRECTORY) ? 0 : ERROR_ALREADY_EXISTS;
    size_t cut = path.find_last_of(L'\\');
    if (cut != std::wstring::npos && cut > 2) {
      DWORD error = MakeRoot(path.substr(0, cut));
      if (error) return error;
    }
    if (CreateDirectoryW(LongPath(path).c_str(), nullptr)) return 0;
    DWORD error = GetLastError();
    return error == ERROR_ALREADY_EXISTS ? 0 : error;
  }

 private:
  const Options& o_;
  std::vector<std::pair<std::wstring, DWORD>> injected_;
  unsigned tempCount_ = 0;

  void LoadInjected() {
    wchar_t value[4096] = {};
    DWORD n = GetEnvironmentVariableW(L"ORVA_ROBOCOPY_FAIL", value, 4096);
    if (n == 0 || n >= 4096) return;
    std::wstring all = value;
    size_t start = 0;
    while (start <= all.size()) {
      size_t end = all.find(L';', start);
      if (end == std::wstring::npos) end = all.size();
      std::wstring item = all.substr(start, end - start);
      size_t eq = item.rfind(L'=');
      if (eq != std::wstring::npos && eq > 0)
        injected_.emplace_back(item.substr(0, eq), wcstoul(item.c_str() + eq + 1, nullptr, 0));
      start = end + 1;
    }
  }

  DWORD Injected(const std::wstring& rel) const {
    size_t cut = rel.find_last_of(L'\\');
    std::wstring name = cut == std::wstring::npos ? rel : rel.substr(cut + 1);
    for (const auto& [path, code] : injected_)
      if (SameText(path, rel) || (path.find(L'\\') == std::wstring::npos && SameText(path, name))) return code;
    return 0;
  }

  static DWORD Attributes(DWORD attr, DWORD kept) {
    attr &= kept;
    return attr ? attr : FILE_ATTRIBUTE_NORMAL;
  }

  DWORD MakeFolder(const std::wstring& path, const std::wstring& rel) {
    if (DWORD error = Injected(rel)) return error;
    if (CreateDirectoryW(LongPath(path).c_str(), nullptr)) return 0;
    DWORD error = GetLastError();
    return error == ERROR_ALREADY_EXISTS ? 0 : error;
  }

  void KeepFolder(const WIN32_FIND_DATAW& s, const std::wstring& to) {
    HANDLE h = CreateFileW(LongPath(to).c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      SetFileTime(h, &s.ftCreationTime, &s.ftLastAccessTime, &s.ftLastWriteTime);
      CloseHandle(h);
    }
    SetFileAttributesW(LongPath(to).c_str(), Attributes(s.dwFileAttributes, kKeptFolderAttributes));
  }

  // Copies into a work file beside the destination and puts it in place only
  // when complete, so a failed copy leaves the former copy untouched.
  DWORD CopyOne(const std::wstring& from, const std::wstring& to, const std::wstring& rel, const WIN32_FIND_DATAW& s,
                bool replace) {
    if (DWORD error = Injected(rel)) return error;
    size_t cut = to.find_last_of(L'\\');
    std::wstring work = Join(to.substr(0, cut), Format(L"~orvacopy%lu_%u.tmp", GetCurrentProcessId(), ++tempCount_));
    HANDLE in = CreateFileW(LongPath(from).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (in == INVALID_HANDLE_VALUE) return GetLastError();
    HANDLE outFile =
        CreateFileW(LongPath(work).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (outFile == INVALID_HANDLE_VALUE) {
      DWORD error = GetLastError();
      CloseHandle(in);
      return error;
    }
    DWORD error = 0;
    std::vector<char> buffer(1 << 20);
    for (;;) {
      DWORD got = 0, put = 0;
      if (!ReadFile(in, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) {
        error = GetLastError();
        break;
      }
      if (got == 0) break;
      if (!WriteFile(outFile, buffer.data(), got, &put, nullptr) || put != got) {
        error = GetLastError();
        if (error == 0) error = ERROR_WRITE_FAULT;
        break;
      }
    }
    CloseHandle(in);
    if (!error && !SetFileTime(outFile, &s.ftCreationTime, &s.ftLastAccessTime, &s.ftLastWriteTime))
      error = GetLastError();
    CloseHandle(outFile);
    if (!error) {
      if (replace) SetFileAttributesW(LongPath(to).c_str(), FILE_ATTRIBUTE_NORMAL);
      if (!MoveFileExW(LongPath(work).c_str(), LongPath(to).c_str(), MOVEFILE_REPLACE_EXISTING)) error = GetLastError();
    }
    if (error) {
      DeleteFileW(LongPath(work).c_str());
      return error;
    }
    SetFileAttributesW(LongPath(to).c_str(), Attributes(s.dwFileAttributes, kKeptAttributes));
    return 0;
  }

  // Removes a destination entry; a link is removed itself, never walked.
  DWORD Remove(const std::wstring& path, bool isDir, bool isLink) {
    SetFileAttributesW(LongPath(path).c_str(), isDir ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL);
    if (isDir && !isLink) {
      Listing inside = List(path);
      if (inside.error) return inside.error;
      for (const auto& e : inside.entries)
        if (DWORD error = Remove(Join(path, e.cFileName), IsDir(e), IsLink(e))) return error;
    }
    BOOL done = isDir ? RemoveDirectoryW(LongPath(path).c_str()) : DeleteFileW(LongPath(path).c_str());
    if (!done && isDir && isLink) done = DeleteFileW(LongPath(path).c_str());  // how Wine removes a folder link
    return done ? 0 : GetLastError();
  }
};

bool Number(const std::wstring& text, unsigned long* value) {
  if (text.empty() || text.size() > 9) return false;
  for (wchar_t c : text)
    if (c < L'0' || c > L'9') return false;
  *value = wcstoul(text.c_str(), nullptr, 10);
  return true;
}

int Fatal(const std::wstring& text) {
  out.Line(L"");
  out.Line(text);
  return 16;
}

std::wstring Row(const wchar_t* label, const Tally& t) {
  return Format(L"%9ls : %9llu %9llu %9llu %9llu %9llu %9llu", label, t.total, t.copied, t.skipped, t.mismatch,
                t.failed, t.extras);
}

}  // namespace

int wmain() {
  std::vector<std::wstring> args = SplitCommandLine(GetCommandLineW());
  Options o;
  std::vector<std::wstring> paths;
  std::wstring bad;
  int badIndex = 0;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::wstring& arg = args[i];
    if (arg.empty()) continue;
    if (arg[0] != L'/') {
      paths.push_back(arg);
      continue;
    }
    std::wstring up = Upper(arg);
    bool ok = true;
    if (up == L"/S")
      o.subdirs = true;
    else if (up == L"/E")
      o.empty = true;
    else if (up == L"/MIR")
      o.empty = o.purge = true;
    else if (up == L"/PURGE")
      o.purge = true;
    else if (up == L"/NP") {
    } else if (up == L"/TEE")
      o.tee = true;
    else if (up == L"/NJH")
      o.noHeader = true;
    else if (up == L"/NJS")
      o.noSummary = true;
    else if (up == L"/NFL")
      o.noFileList = true;
    else if (up == L"/NDL")
      o.noDirList = true;
    else if (up == L"/XJ") {
    } else if (up == L"/FFT")
      o.fatTimes = true;
    else if (up == L"/V")
      o.verbose = true;
    else if (up.rfind(L"/R:", 0) == 0)
      ok = Number(arg.substr(3), &o.retries);
    else if (up.rfind(L"/W:", 0) == 0)
      ok = Number(arg.substr(3), &o.wait);
    else if (up.rfind(L"/LOG:", 0) == 0) {
      o.log = arg.substr(5);
      ok = !o.log.empty();
    } else if (up.rfind(L"/LOG+:", 0) == 0) {
      o.log = arg.substr(6);
      o.logAppend = true;
      ok = !o.log.empty();
    } else
      ok = false;
    if (!ok && bad.empty()) {
      bad = arg;
      badIndex = static_cast<int>(i) + 1;
    }
    if (ok) o.switches += up + L" ";
  }

  if (!o.log.empty()) o.logFull = FullPath(o.log);
  if (!o.log.empty() && !out.OpenLog(o.logFull, o.logAppend)) {
    DWORD error = GetLastError();
    ConsoleWrite(Format(L"ERROR %lu (0x%08lX) Opening Log File %ls\r\n%ls\r\n", error, error, o.log.c_str(),
                        SystemText(error).c_str()));
    return 16;
  }
  out.SetTee(o.tee);
  if (!bad.empty()) return Fatal(Format(L"ERROR : Invalid Parameter #%d : \"%ls\"", badIndex, bad.c_str()));
  if (paths.size() < 2) return Fatal(L"ERROR : No source and destination folder given.");
  if (paths.size() > 2) return Fatal(Format(L"ERROR : File selections are not supported: \"%ls\"", paths[2].c_str()));
  o.source = FullPath(paths[0]);
  o.target = FullPath(paths[1]);

  SYSTEMTIME started;
  GetLocalTime(&started);
  ULONGLONG startTicks = GetTickCount64();
  std::wstring rule(78, L'-');
  if (!o.noHeader) {
    out.Line(L"");
    out.Line(rule + L"-");
    out.Line(L"   ROBOCOPY     ::     Orvanta stand-in");
    out.Line(rule + L"-");
    out.Line(L"");
    out.Line(L"  Started : " + LongDate(started));
    out.Line(L"   Source : " + o.source + L"\\");
    out.Line(L"     Dest : " + o.target + L"\\");
    out.Line(L"");
    out.Line(L"    Files : *.*");
    out.Line(L"");
    out.Line(L"  Options : *.* " + o.switches);
    out.Line(L"");
    out.Line(rule);
    out.Line(L"");
  }

  std::wstring srcUp = Upper(o.source) + L"\\", dstUp = Upper(o.target) + L"\\";
  if (srcUp == dstUp) return Fatal(L"ERROR : Source and destination are the same folder.");
  if (o.purge && srcUp.rfind(dstUp, 0) == 0)
    return Fatal(L"ERROR : The source lies inside the destination; purging would delete it.");

  Mirror mirror(o);
  bool sourceThere = mirror.WithRetries(L"Accessing Source Directory", o.source + L"\\", [&] {
    DWORD attr = GetFileAttributesW(LongPath(o.source).c_str());
    if (attr == INVALID_FILE_ATTRIBUTES)
      return GetLastError() == ERROR_PATH_NOT_FOUND ? DWORD(ERROR_FILE_NOT_FOUND) : GetLastError();
    return (attr & FILE_ATTRIBUTE_DIRECTORY) ? DWORD(0) : DWORD(ERROR_DIRECTORY);
  });
  if (!sourceThere) return 16;
  bool existed = GetFileAttributesW(LongPath(o.target).c_str()) != INVALID_FILE_ATTRIBUTES;
  if (!mirror.WithRetries(L"Creating Destination Directory", o.target + L"\\",
                          [&] { return mirror.MakeRoot(o.target); }))
    return 16;
  ++mirror.dirs.total;
  ++(existed ? mirror.dirs.skipped : mirror.dirs.copied);
  mirror.Folder(o.source, o.target, L"", existed);

  if (!o.noSummary) {
    ULONGLONG seconds = (GetTickCount64() - startTicks) / 1000;
    SYSTEMTIME ended;
    GetLocalTime(&ended);
    out.Line(L"");
    out.Line(rule);
    out.Line(L"");
    out.Line(L"               Total    Copied   Skipped  Mismatch    FAILED    Extras");
    out.Line(Row(L"Dirs", mirror.dirs));
    out.Line(Row(L"Files", mirror.files));
    out.Line(Row(L"Bytes", mirror.bytes));
    out.Line(Format(L"%9ls : %3llu:%02llu:%02llu", L"Times", seconds / 3600, seconds / 60 % 60, seconds % 60));
    out.Line(L"");
    out.Line(L"   Ended : " + LongDate(ended));
  }
  int code = 0;
  if (mirror.files.copied) code |= 1;
  if (mirror.files.extras || mirror.dirs.extras) code |= 2;
  if (mirror.files.mismatch || mirror.dirs.mismatch) code |= 4;
  if (mirror.files.failed || mirror.dirs.failed) code |= 8;
  return code;
}
