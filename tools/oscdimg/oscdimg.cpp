// Orvanta's stand-in for OSCDIMG, for test machines under Wine. On Windows
// the real tool shipped beside the programs is used.
//
//   oscdimg [-m] [-n] [-o] [-h] [-l<label>] -b<bootfile> <source folder> <image file>
//
// Writes an ISO 9660 image with a Joliet tree (UCS-2 names) and an El Torito
// boot catalog with one no-emulation entry that loads the boot file. -n allows
// long primary names, -o stores files of equal content once, -m is accepted
// (no size limit applies anyway), -h is accepted (hidden files are always
// included, flagged hidden). The image is written under a work name beside the
// target and renamed when complete: after an error no target is left.
// Files of 4 GiB and more cannot be stored and stop the run.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "../common/tool_text.h"

using namespace orva_tools;

namespace {

constexpr uint32_t kSector = 2048;

struct Failure {
  std::wstring text;
};

struct Node {
  std::wstring name, path;
  bool dir = false, hidden = false;
  uint64_t size = 0;
  FILETIME written{};
  std::vector<std::unique_ptr<Node>> children;
  Node* parent = nullptr;
  std::string id[2];  // primary and Joliet identifiers, as recorded
  std::vector<Node*> sorted[2];
  uint32_t extent = 0;  // file data
  uint32_t dirExtent[2] = {0, 0}, dirSize[2] = {0, 0};
  uint16_t number[2] = {0, 0};
  Node* same = nullptr;  // a file of equal content that holds the data
};

struct Settings {
  std::wstring source, target, boot, label = L"CDROM";
  bool longNames = false, optimize = false;
};

void Say(const std::wstring& line) { ConsoleWrite(line + L"\r\n"); }

// ---- names ----

char DChar(wchar_t c) {
  if (c >= L'a' && c <= L'z') return static_cast<char>(c - L'a' + 'A');
  if ((c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') || c == L'_') return static_cast<char>(c);
  return '_';
}

std::string DChars(const std::wstring& text, size_t limit) {
  std::string out;
  for (wchar_t c : text) {
    if (out.size() == limit) break;
    out += DChar(c);
  }
  return out;
}

std::string Ucs2(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) {
    out += static_cast<char>(c >> 8);
    out += static_cast<char>(c & 0xFF);
  }
  return out;
}

wchar_t JolietChar(wchar_t c) {
  if (c < 0x20 || c == L'*' || c == L'/' || c == L':' || c == L';' || c == L'?' || c == L'\\') return L'_';
  return c;
}

// Splits an identifier into name and extension for ordering.
void SplitId(const std::string& id, bool wide, std::string* name, std::string* ext) {
  size_t step = wide ? 2 : 1, dot = std::string::npos, semi = id.size();
  for (size_t i = 0; i + step <= id.size(); i += step) {
    char c = id[i + step - 1];
    bool high = !wide || id[i] == 0;
    if (high && c == '.' && dot == std::string::npos) dot = i;
    if (high && c == ';') {
      semi = i;
      break;
    }
  }
  if (wide) {  // the last dot of a Joliet name parts name and extension
    for (size_t i = 0; i + 2 <= semi; i += 2)
      if (id[i] == 0 && id[i + 1] == '.') dot = i;
  }
  if (dot == std::string::npos || dot > semi) {
    *name = id.substr(0, semi);
    ext->clear();
  } else {
    *name = id.substr(0, dot);
    *ext = id.substr(dot + step, semi - dot - step);
  }
}

int PaddedCompare(const std::string& a, const std::string& b, char pad) {
  size_t n = std::max(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    unsigned char x = i < a.size() ? a[i] : pad, y = i < b.size() ? b[i] : pad;
    if (x != y) return x < y ? -1 : 1;
  }
  return 0;
}

bool IdLess(const std::string& a, const std::string& b, bool wide) {
  std::string an, ae, bn, be;
  SplitId(a, wide, &an, &ae);
  SplitId(b, wide, &bn, &be);
  char pad = wide ? 0 : ' ';
  int c = PaddedCompare(an, bn, pad);
  if (c == 0) c = PaddedCompare(ae, be, pad);
  return c < 0;
}

void NameChildren(Node& dir, const Settings& s) {
  std::set<std::string> used[2];
  for (auto& child : dir.children) {
    Node& c = *child;
    // Primary: d-characters, 8.3 or (with -n) up to 31 characters.
    std::wstring base = c.name, ext;
    size_t dot = c.name.find_last_of(L'.');
    if (!c.dir && dot != std::wstring::npos) {
      base = c.name.substr(0, dot);
      ext = c.name.substr(dot + 1);
    }
    size_t extMax = s.longNames ? 10 : 3, nameMax = s.longNames ? (c.dir ? 31 : 30) : 8;
    std::string e = DChars(ext, extMax);
    std::string b = DChars(base, c.dir ? nameMax : nameMax - (s.longNames ? e.size() : 0));
    std::string id;
    for (int n = 0;; ++n) {
      std::string tryBase = b;
      if (n > 0) {
        std::string tail(1, '~');
        tail += std::to_string(n);
        size_t room = (c.dir ? nameMax : nameMax - (s.longNames ? e.size() : 0));
        tryBase = b.substr(0, std::min(b.size(), room > tail.size() ? room - tail.size() : 0)) + tail;
      }
      id = c.dir ? tryBase : tryBase + "." + e + ";1";
      if (used[0].insert(id).second) break;
    }
    c.id[0] = id;

    // Joliet: the name itself, in UCS-2 big-endian.
    std::wstring wide;
    for (wchar_t ch : c.name) wide += JolietChar(ch);
    if (wide.size() > 103) throw Failure{L"The name is longer than 103 characters and cannot be recorded: " + c.path};
    for (int n = 0;; ++n) {
      std::wstring tryName = wide;
      if (n > 0) {
        size_t at = c.dir ? tryName.size() : std::min(tryName.size(), tryName.find_last_of(L'.'));
        tryName.insert(at, L"~" + std::to_wstring(n));
      }
      if (used[1].insert(Ucs2(Upper(tryName))).second) {
        c.id[1] = Ucs2(c.dir ? tryName : tryName + L";1");
        break;
      }
    }
  }
  for (int t = 0; t < 2; ++t) {
    for (auto& child : dir.children) dir.sorted[t].push_back(child.get());
    bool wide = t == 1;
    std::sort(dir.sorted[t].begin(), dir.sorted[t].end(),
              [&](const Node* a, const Node* b) { return IdLess(a->id[t], b->id[t], wide); });
  }
}

// ---- scanning ----

struct Counts {
  uint64_t files = 0, dirs = 0;
};

void Scan(Node& dir, const Settings& s, const std::wstring& skip1, const std::wstring& skip2, Counts& counts) {
  WIN32_FIND_DATAW f;
  HANDLE find =
      FindFirstFileExW(LongPath(Join(dir.path, L"*")).c_str(), FindExInfoBasic, &f, FindExSearchNameMatch, nullptr, 0);
  if (find == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) return;
    throw Failure{L"Cannot read the folder " + dir.path + L": " + SystemText(error)};
  }
  do {
    if (wcscmp(f.cFileName, L".") == 0 || wcscmp(f.cFileName, L"..") == 0) continue;
    std::wstring path = Join(dir.path, f.cFileName);
    if (f.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      Say(L"WARNING: link not followed, left out: " + path);
      continue;
    }
    if (SameText(path, skip1) || SameText(path, skip2)) continue;
    auto node = std::make_unique<Node>();
    node->name = f.cFileName;
    node->path = path;
    node->parent = &dir;
    node->dir = (f.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    node->hidden = (f.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) != 0;
    node->written = f.ftLastWriteTime;
    node->size = (static_cast<uint64_t>(f.nFileSizeHigh) << 32) | f.nFileSizeLow;
    if (!node->dir && node->size > 0xFFFFFFFFull)
      throw Failure{L"The file is 4 GiB or larger, which an ISO 9660 extent cannot hold: " + path};
    ++(node->dir ? counts.dirs : counts.files);
    dir.children.push_back(std::move(node));
  } while (FindNextFileW(find, &f));
  DWORD last = GetLastError();
  FindClose(find);
  if (last != ERROR_NO_MORE_FILES) throw Failure{L"Cannot read the folder " + dir.path + L": " + SystemText(last)};
  for (auto& child : dir.children)
    if (child->dir) Scan(*child, s, skip1, skip2, counts);
  NameChildren(dir, s);
}

// ---- file content for -o ----

HANDLE OpenRead(const std::wstring& path) {
  HANDLE h = CreateFileW(LongPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (h == INVALID_HANDLE_VALUE) throw Failure{L"Cannot open " + path + L": " + SystemText(GetLastError())};
  return h;
}

DWORD ReadSome(HANDLE h, std::vector<char>& buffer, const std::wstring& path, uint64_t most = UINT64_MAX) {
  DWORD got = 0;
  DWORD want = static_cast<DWORD>(std::min<uint64_t>(buffer.size(), most));
  if (!ReadFile(h, buffer.data(), want, &got, nullptr))
    throw Failure{L"Cannot read " + path + L": " + SystemText(GetLastError())};
  return got;
}

uint64_t Digest(const Node& n) {
  HANDLE h = OpenRead(n.path);
  std::vector<char> buffer(1 << 20);
  uint64_t hash = 1469598103934665603ull;
  try {
    while (DWORD got = ReadSome(h, buffer, n.path))
      for (DWORD i = 0; i < got; ++i) hash = (hash ^ static_cast<unsigned char>(buffer[i])) * 1099511628211ull;
  } catch (...) {
    CloseHandle(h);
    throw;
  }
  CloseHandle(h);
  return hash;
}

bool SameBytes(const Node& a, const Node& b) {
  HANDLE ha = OpenRead(a.path), hb = INVALID_HANDLE_VALUE;
  bool same = true;
  try {
    hb = OpenRead(b.path);
    std::vector<char> x(1 << 20), y(1 << 20);
    for (;;) {
      DWORD gx = ReadSome(ha, x, a.path), gy = ReadSome(hb, y, b.path);
      if (gx != gy || memcmp(x.data(), y.data(), gx) != 0) {
        same = false;
        break;
      }
      if (gx == 0) break;
    }
  } catch (...) {
    CloseHandle(ha);
    if (hb != INVALID_HANDLE_VALUE) CloseHandle(hb);
    throw;
  }
  CloseHandle(ha);
  CloseHandle(hb);
  return same;
}

// ---- layout ----

uint32_t Sectors(uint64_t bytes) { return static_cast<uint32_t>((bytes + kSector - 1) / kSector); }

uint32_t RecordLength(size_t idLength) { return static_cast<uint32_t>(33 + idLength + (idLength % 2 == 0 ? 1 : 0)); }

uint32_t DirectoryBytes(const Node& dir, int t) {
  uint32_t pos = 0, sectors = 1;
  auto add = [&](uint32_t len) {
    if (pos + len > kSector) {
      ++sectors;
      pos = 0;
    }
    pos += len;
  };
  add(34);
  add(34);
  for (const Node* c : dir.sorted[t]) add(RecordLength(c->id[t].size()));
  return sectors * kSector;
}

std::vector<Node*> Breadth(Node& root, int t) {
  std::vector<Node*> order{&root};
  for (size_t i = 0; i < order.size(); ++i)
    for (Node* c : order[i]->sorted[t])
      if (c->dir) order.push_back(c);
  for (size_t i = 0; i < order.size(); ++i) order[i]->number[t] = static_cast<uint16_t>(i + 1);
  return order;
}

uint32_t PathTableBytes(const std::vector<Node*>& dirs, int t) {
  uint32_t size = 0;
  for (const Node* d : dirs) {
    size_t len = d->parent ? d->id[t].size() : 1;
    size += static_cast<uint32_t>(8 + len + (len % 2));
  }
  return size;
}

void Files(Node& dir, std::vector<Node*>& out) {
  for (Node* c : dir.sorted[0]) {
    if (c->dir)
      Files(*c, out);
    else
      out.push_back(c);
  }
}

// ---- bytes ----

void Le16(uint8_t* p, uint32_t v) {
  p[0] = v & 0xFF;
  p[1] = (v >> 8) & 0xFF;
}
void Be16(uint8_t* p, uint32_t v) {
  p[0] = (v >> 8) & 0xFF;
  p[1] = v & 0xFF;
}
void Le32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = (v >> (8 * i)) & 0xFF;
}
void Be32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = (v >> (8 * (3 - i))) & 0xFF;
}
void Both16(uint8_t* p, uint32_t v) {
  Le16(p, v);
  Be16(p + 2, v);
}
void Both32(uint8_t* p, uint32_t v) {
  Le32(p, v);
  Be32(p + 4, v);
}

void RecordDate(uint8_t* p, const FILETIME& ft) {
  SYSTEMTIME t{};
  if (!FileTimeToSystemTime(&ft, &t) || t.wYear < 1900 || t.wYear > 2155) {
    t = {};
    t.wYear = 1980;
    t.wMonth = 1;
    t.wDay = 1;
  }
  p[0] = static_cast<uint8_t>(t.wYear - 1900);
  p[1] = static_cast<uint8_t>(t.wMonth);
  p[2] = static_cast<uint8_t>(t.wDay);
  p[3] = static_cast<uint8_t>(t.wHour);
  p[4] = static_cast<uint8_t>(t.wMinute);
  p[5] = static_cast<uint8_t>(t.wSecond);
  p[6] = 0;  // UTC
}

void VolumeDate(uint8_t* p, const SYSTEMTIME* t) {
  char text[18] = "0000000000000000";
  if (t)
    snprintf(text, sizeof text, "%04u%02u%02u%02u%02u%02u%02u", t->wYear, t->wMonth, t->wDay, t->wHour, t->wMinute,
             t->wSecond, t->wMilliseconds / 10);
  memcpy(p, text, 16);
  p[16] = 0;
}

uint32_t PutRecord(uint8_t* p, uint32_t extent, uint32_t size, const FILETIME& when, uint8_t flags,
                   const std::string& id) {
  uint32_t len = RecordLength(id.size());
  memset(p, 0, len);
  p[0] = static_cast<uint8_t>(len);
  Both32(p + 2, extent);
  Both32(p + 10, size);
  RecordDate(p + 18, when);
  p[25] = flags;
  Both16(p + 28, 1);
  p[32] = static_cast<uint8_t>(id.size());
  memcpy(p + 33, id.data(), id.size());
  return len;
}

class Writer {
 public:
  explicit Writer(HANDLE h) : h_(h) {}
  void Put(const void* data, size_t size) {
    DWORD done = 0;
    if (!WriteFile(h_, data, static_cast<DWORD>(size), &done, nullptr) || done != size)
      throw Failure{L"Cannot write the image: " + SystemText(GetLastError())};
    pos_ += size;
  }
  void PadSector() {
    static const char zeros[kSector] = {};
    if (pos_ % kSector) Put(zeros, kSector - pos_ % kSector);
  }
  void At(uint32_t lba) {
    if (pos_ != static_cast<uint64_t>(lba) * kSector) throw Failure{L"Internal layout error."};
  }

 private:
  HANDLE h_;
  uint64_t pos_ = 0;
};

void CopyData(Writer& w, const std::wstring& path, uint64_t size) {
  HANDLE h = OpenRead(path);
  std::vector<char> buffer(1 << 20);
  uint64_t left = size;
  try {
    while (left > 0) {
      DWORD got = ReadSome(h, buffer, path, left);
      if (got == 0) break;
      w.Put(buffer.data(), got);
      left -= got;
    }
    if (left > 0 || ReadSome(h, buffer, path) != 0)
      throw Failure{L"The file changed while the image was written: " + path};
  } catch (...) {
    CloseHandle(h);
    throw;
  }
  CloseHandle(h);
  w.PadSector();
}

struct Image {
  Node root;
  std::vector<Node*> dirs[2];
  std::vector<Node*> files;
  uint32_t pathTable[2] = {0, 0}, lPath[2] = {0, 0}, mPath[2] = {0, 0};
  uint32_t catalog = 20, bootExtent = 0, bootSize = 0, total = 0;
};

void PutDescriptor(Writer& w, const Image& im, int t, const Settings& s, const SYSTEMTIME& now) {
  uint8_t d[kSector] = {};
  d[0] = t == 0 ? 1 : 2;
  memcpy(d + 1, "CD001", 5);
  d[6] = 1;
  auto text = [&](int offset, int length, const std::wstring& value, bool dchars) {
    if (t == 0) {
      std::string a = dchars ? DChars(value, length) : Narrow(value);
      a.resize(length, ' ');
      memcpy(d + offset, a.data(), length);
    } else {
      std::string u = Ucs2(value.substr(0, length / 2));
      while (u.size() + 2 <= static_cast<size_t>(length)) u += std::string("\0 ", 2);
      u.resize(length, 0);
      memcpy(d + offset, u.data(), length);
    }
  };
  text(8, 32, L"", false);
  text(40, 32, s.label, true);
  Both32(d + 80, im.total);
  if (t == 1) memcpy(d + 88, "%/E", 3);
  Both16(d + 120, 1);
  Both16(d + 124, 1);
  Both16(d + 128, kSector);
  Both32(d + 132, im.pathTable[t]);
  Le32(d + 140, im.lPath[t]);
  Be32(d + 148, im.mPath[t]);
  PutRecord(d + 156, im.root.dirExtent[t], im.root.dirSize[t], im.root.written, 2, std::string(1, '\0'));
  text(190, 128, L"", false);
  text(318, 128, L"", false);
  text(446, 128, L"", false);
  text(574, 128, L"ORVANTA OSCDIMG STAND-IN", false);
  text(702, 37, L"", false);
  text(739, 37, L"", false);
  text(776, 37, L"", false);
  VolumeDate(d + 813, &now);
  VolumeDate(d + 830, &now);
  VolumeDate(d + 847, nullptr);
  VolumeDate(d + 864, nullptr);
  d[881] = 1;
  w.Put(d, kSector);
}

void PutPathTable(Writer& w, const Image& im, int t, bool big) {
  std::vector<uint8_t> table;
  for (const Node* dir : im.dirs[t]) {
    std::string id = dir->parent ? dir->id[t] : std::string(1, '\0');
    size_t at = table.size();
    table.resize(at + 8 + id.size() + id.size() % 2, 0);
    uint8_t* p = table.data() + at;
    p[0] = static_cast<uint8_t>(id.size());
    if (big) {
      Be32(p + 2, dir->dirExtent[t]);
      Be16(p + 6, dir->parent ? dir->parent->number[t] : 1);
    } else {
      Le32(p + 2, dir->dirExtent[t]);
      Le16(p + 6, dir->parent ? dir->parent->number[t] : 1);
    }
    memcpy(p + 8, id.data(), id.size());
  }
  w.Put(table.data(), table.size());
  w.PadSector();
}

void PutDirectory(Writer& w, const Node& dir, int t) {
  std::vector<uint8_t> data(dir.dirSize[t], 0);
  uint32_t pos = 0;
  auto add = [&](uint32_t extent, uint32_t size, const FILETIME& when, uint8_t flags, const std::string& id) {
    uint32_t len = RecordLength(id.size());
    if (pos % kSector + len > kSector) pos = (pos / kSector + 1) * kSector;
    pos += PutRecord(data.data() + pos, extent, size, when, flags, id);
  };
  const Node& up = dir.parent ? *dir.parent : dir;
  add(dir.dirExtent[t], dir.dirSize[t], dir.written, 2, std::string(1, '\0'));
  add(up.dirExtent[t], up.dirSize[t], up.written, 2, std::string(1, '\1'));
  for (const Node* c : dir.sorted[t]) {
    uint8_t flags = (c->dir ? 2 : 0) | (c->hidden ? 1 : 0);
    if (c->dir)
      add(c->dirExtent[t], c->dirSize[t], c->written, flags, c->id[t]);
    else
      add(c->same ? c->same->extent : c->extent, static_cast<uint32_t>(c->size), c->written, flags, c->id[t]);
  }
  w.Put(data.data(), data.size());
}

void PutBootRecord(Writer& w, const Image& im) {
  uint8_t d[kSector] = {};
  d[0] = 0;
  memcpy(d + 1, "CD001", 5);
  d[6] = 1;
  memcpy(d + 7, "EL TORITO SPECIFICATION", 23);
  Le32(d + 71, im.catalog);
  w.Put(d, kSector);
}

void PutCatalog(Writer& w, const Image& im) {
  uint8_t d[kSector] = {};
  d[0] = 1;  // validation entry, platform 0 (x86)
  memcpy(d + 4, "ORVANTA", 7);
  d[30] = 0x55;
  d[31] = 0xAA;
  uint32_t sum = 0;
  for (int i = 0; i < 32; i += 2) sum += d[i] | (d[i + 1] << 8);
  Le16(d + 28, (0x10000 - (sum & 0xFFFF)) & 0xFFFF);
  uint8_t* e = d + 32;  // default entry: bootable, no emulation, default segment
  e[0] = 0x88;
  e[1] = 0;
  Le16(e + 6, (im.bootSize + 511) / 512);
  Le32(e + 8, im.bootExtent);
  w.Put(d, kSector);
}

int Usage(const std::wstring& why) {
  Say(L"ERROR: " + why);
  Say(L"Usage: oscdimg [-m] [-n] [-o] [-h] [-l<label>] -b<bootfile> <source folder> <image file>");
  return 1;
}

}  // namespace

int wmain() {
  Say(L"OSCDIMG stand-in (Orvanta): ISO 9660 with Joliet names and an El Torito boot entry");
  Say(L"");
  std::vector<std::wstring> args = SplitCommandLine(GetCommandLineW());
  Settings s;
  std::vector<std::wstring> paths;
  for (const std::wstring& arg : args) {
    if (arg.empty()) continue;
    if (arg[0] != L'-') {
      paths.push_back(arg);
      continue;
    }
    std::wstring up = Upper(arg);
    if (up == L"-M" || up == L"-H" || up == L"-D" || up == L"-J1" || up == L"-J2" || up == L"-G") {
    } else if (up == L"-N" || up == L"-NT") {
      s.longNames = true;
    } else if (up == L"-O") {
      s.optimize = true;
    } else if (up.rfind(L"-L", 0) == 0 && arg.size() > 2) {
      s.label = arg.substr(2);
      if (s.label.size() > 32) return Usage(L"The volume label is longer than 32 characters: " + s.label);
    } else if (up.rfind(L"-B", 0) == 0 && arg.size() > 2) {
      s.boot = arg.substr(2);
    } else {
      return Usage(L"Unknown or incomplete switch: " + arg);
    }
  }
  if (paths.size() != 2) return Usage(L"Give one source folder and one image file.");
  if (s.boot.empty()) return Usage(L"No boot file given (-b).");
  s.source = FullPath(paths[0]);
  s.target = FullPath(paths[1]);
  s.boot = FullPath(s.boot);
  std::wstring work = s.target + Format(L".%lu.tmp", GetCurrentProcessId());

  HANDLE out = INVALID_HANDLE_VALUE;
  try {
    DWORD attr = GetFileAttributesW(LongPath(s.source).c_str());
    if (attr == INVALID_FILE_ATTRIBUTES || !(attr & FILE_ATTRIBUTE_DIRECTORY))
      throw Failure{L"The source folder does not exist: " + s.source};
    WIN32_FILE_ATTRIBUTE_DATA boot{};
    if (!GetFileAttributesExW(LongPath(s.boot).c_str(), GetFileExInfoStandard, &boot) ||
        (boot.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
      throw Failure{L"Cannot open the boot file: " + s.boot};
    uint64_t bootSize = (static_cast<uint64_t>(boot.nFileSizeHigh) << 32) | boot.nFileSizeLow;
    if (bootSize == 0 || bootSize > 0xFFFFull * 512)
      throw Failure{L"The boot file must hold between 1 byte and 32 MiB: " + s.boot};

    Image im;
    im.bootSize = static_cast<uint32_t>(bootSize);
    im.root.path = s.source;
    im.root.dir = true;
    WIN32_FILE_ATTRIBUTE_DATA rootData{};
    GetFileAttributesExW(LongPath(s.source).c_str(), GetFileExInfoStandard, &rootData);
    im.root.written = rootData.ftLastWriteTime;

    Say(L"Scanning source tree");
    Counts counts;
    Scan(im.root, s, s.target, work, counts);
    Say(Format(L"Scanning source tree complete (%llu files in %llu directories)", counts.files, counts.dirs));

    for (int t = 0; t < 2; ++t) {
      im.dirs[t] = Breadth(im.root, t);
      if (im.dirs[t].size() > 0xFFFF) throw Failure{L"Too many folders for the path table."};
      im.pathTable[t] = PathTableBytes(im.dirs[t], t);
    }
    Files(im.root, im.files);

    uint32_t lba = 21;  // 16 primary, 17 boot record, 18 Joliet, 19 terminator, 20 boot catalog
    for (int t = 0; t < 2; ++t) {
      im.lPath[t] = lba;
      lba += Sectors(im.pathTable[t]);
      im.mPath[t] = lba;
      lba += Sectors(im.pathTable[t]);
    }
    for (int t = 0; t < 2; ++t)
      for (Node* d : im.dirs[t]) {
        d->dirSize[t] = DirectoryBytes(*d, t);
        d->dirExtent[t] = lba;
        lba += d->dirSize[t] / kSector;
      }
    im.bootExtent = lba;
    lba += Sectors(im.bootSize);

    if (s.optimize) {
      std::map<std::pair<uint64_t, uint64_t>, std::vector<Node*>> seen;
      std::map<uint64_t, std::vector<Node*>> bySize;
      for (Node* f : im.files)
        if (f->size > 0) bySize[f->size].push_back(f);
      for (auto& [size, group] : bySize) {
        if (group.size() < 2) continue;
        for (Node* f : group) {
          auto& holders = seen[{size, Digest(*f)}];
          for (Node* h : holders)
            if (SameBytes(*h, *f)) {
              f->same = h;
              break;
            }
          if (!f->same) holders.push_back(f);
        }
      }
    }
    uint64_t stored = 0;
    for (Node* f : im.files) {
      if (f->same || f->size == 0) continue;
      f->extent = lba;
      lba += Sectors(f->size);
      stored += f->size;
      if (lba > 0x7FFFFFFFu) throw Failure{L"The image would exceed the ISO 9660 volume size."};
    }
    im.total = lba;
    Say(L"Computing directory information complete");
    Say(Format(L"Image file is %llu bytes", static_cast<unsigned long long>(im.total) * kSector));

    out = CreateFileW(LongPath(work).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) throw Failure{L"Cannot create " + work + L": " + SystemText(GetLastError())};
    Say(Format(L"Writing %llu files in %llu directories to %ls", counts.files, counts.dirs, s.target.c_str()));
    SYSTEMTIME now;
    GetSystemTime(&now);
    Writer w(out);
    static const uint8_t zeros[kSector] = {};
    for (int i = 0; i < 16; ++i) w.Put(zeros, kSector);
    PutDescriptor(w, im, 0, s, now);
    PutBootRecord(w, im);
    PutDescriptor(w, im, 1, s, now);
    uint8_t end[kSector] = {255, 'C', 'D', '0', '0', '1', 1};
    w.Put(end, kSector);
    PutCatalog(w, im);
    for (int t = 0; t < 2; ++t) {
      w.At(im.lPath[t]);
      PutPathTable(w, im, t, false);
      w.At(im.mPath[t]);
      PutPathTable(w, im, t, true);
    }
    for (int t = 0; t < 2; ++t)
      for (Node* d : im.dirs[t]) {
        w.At(d->dirExtent[t]);
        PutDirectory(w, *d, t);
      }
    w.At(im.bootExtent);
    CopyData(w, s.boot, im.bootSize);
    for (Node* f : im.files) {
      if (f->same || f->size == 0) continue;
      w.At(f->extent);
      CopyData(w, f->path, f->size);
    }
    w.At(im.total);
    if (!FlushFileBuffers(out)) throw Failure{L"Cannot write the image: " + SystemText(GetLastError())};
    CloseHandle(out);
    out = INVALID_HANDLE_VALUE;
    if (!MoveFileExW(LongPath(work).c_str(), LongPath(s.target).c_str(), MOVEFILE_REPLACE_EXISTING))
      throw Failure{L"Cannot put the image in place as " + s.target + L": " + SystemText(GetLastError())};
    Say(L"100% complete");
    Say(Format(L"Final image file is %llu bytes (%llu bytes of file data)",
               static_cast<unsigned long long>(im.total) * kSector, stored));
    Say(L"Done.");
    return 0;
  } catch (const Failure& failure) {
    if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
    DeleteFileW(LongPath(work).c_str());
    Say(L"ERROR: " + failure.text);
    Say(L"No image was written.");
    return 1;
  }
}
