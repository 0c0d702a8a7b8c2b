#include "details_pane.h"

#include <objbase.h>

#include "core/job_view_text.h"
#include "image_header_reader.h"
#include "orva_manager_dlg.h"
#include "wmi_query.h"

namespace orva::manager {

namespace {

int NativeArchitecture() {
  SYSTEM_INFO info{};
  using NativeInfo = void(WINAPI*)(LPSYSTEM_INFO);
  auto native = reinterpret_cast<NativeInfo>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetNativeSystemInfo")));
  if (native)
    native(&info);
  else
    GetSystemInfo(&info);
  return info.wProcessorArchitecture;
}

DWORD Attributes(const std::string& path) { return GetFileAttributesA(path.c_str()); }

class Win32DetailsDisk : public DetailsDisk {
 public:
  bool PathExists(const std::string& path) override { return Attributes(path) != INVALID_FILE_ATTRIBUTES; }
  bool FileExists(const std::string& path) override {
    const DWORD a = Attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
  }
  int64_t FreeBytes(const std::string& root) override { return DiskFreeBytes(root); }
  int64_t FileSize(const std::string& pattern) override { return FoundFileSize(pattern); }
  bool ImageIncrements(const std::string& path, int32_t& count, std::vector<std::string>& names) override {
    FileStream file;
    if (!file.Open(path.c_str(), "rb")) return false;
    TavImageHeader header;
    ReadImageHeader(file, header);  // a header that does not read lists nothing
    file.Close();
    count = static_cast<int32_t>(header.increments.size());
    names = AnsiIncrements(header);
    return true;
  }
};

}  // namespace

std::string QueryOsCaption() {
  const HRESULT init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  std::vector<std::string> captions;
  const std::string error = orva::platform::WmiStrings(L"SELECT * FROM Win32_OperatingSystem", L"Caption", captions);
  if (SUCCEEDED(init)) CoUninitialize();
  return OsCaptionText(error, captions, error.empty() ? NativeArchitecture() : -1);
}

int64_t DiskFreeBytes(const std::string& root) {
  using FreeSpace = BOOL(WINAPI*)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);
  auto query = reinterpret_cast<FreeSpace>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetDiskFreeSpaceExA")));
  ULARGE_INTEGER caller{}, total{}, free{};
  if (!query || !query(root.c_str(), &caller, &total, &free)) return 0;
  return free.QuadPart > static_cast<ULONGLONG>(INT64_MAX) ? INT64_MAX : static_cast<int64_t>(free.QuadPart);
}

int64_t FoundFileSize(const std::string& pattern) {
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA(pattern.c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return 0;
  int64_t size = 0;
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;  // the dot entries too
    size = static_cast<int64_t>((static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow);
  } while (FindNextFileA(find, &found));
  FindClose(find);
  return size;
}

void FitColumnWidths(CReportListCtrl& list, const int* percents) {
  if (!list.IsWindow()) return;
  RECT r{};
  list.GetWindowRect(&r);
  SCROLLINFO scroll{};
  scroll.cbSize = sizeof scroll;
  scroll.fMask = SIF_ALL;
  const bool scrolls = ::GetScrollInfo(list.m_hWnd, SB_VERT, &scroll) && scroll.nPage != 0 &&
                       scroll.nMax >= static_cast<int>(scroll.nPage);
  const bool edged = (list.GetExStyle() & (WS_EX_CLIENTEDGE | WS_EX_STATICEDGE)) != 0;
  std::vector<int> shares;
  for (; *percents; ++percents) shares.push_back(*percents);
  const std::vector<int> widths = orva::manager::FitColumnWidths(
      r.right - r.left, shares, scrolls ? GetSystemMetrics(SM_CXVSCROLL) : 0, edged ? GetSystemMetrics(SM_CXEDGE) : 0);
  for (size_t i = 0; i < widths.size() && static_cast<int>(i) < list.GetColumnCount(); ++i)
    list.SetColumnWidth(static_cast<int>(i), widths[i]);
  list.RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

void FillDetailsList(CReportListCtrl& list, const std::vector<DetailsRow>& rows) {
  list.SendMessage(WM_SETREDRAW, FALSE, 0);
  list.DeleteAllItems();
  int n = 0;
  for (const DetailsRow& row : rows) {
    const int item = list.InsertItem(n++, row.label.c_str(), row.image);
    list.SetItemState(item, INDEXTOSTATEIMAGEMASK(1), LVIS_STATEIMAGEMASK);
    list.SetItemText(item, 1, row.value.c_str());
  }
  list.SendMessage(WM_SETREDRAW, TRUE, 0);
  list.RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

// Mode 0: the computer (the history list is emptied too); mode 1: every job
// of the name.
void COrvaManagerDlg::ShowDetails(const std::string& name, int mode) {
  const std::vector<JobRecord> jobs = JobTable().Entries();  // a copy, taken under the table's lock
  char exe[MAX_PATH + 1] = {};
  GetModuleFileNameA(nullptr, exe, MAX_PATH);
  const std::string parent = ParentFolder(exe);
  Win32DetailsDisk disk;
  std::vector<DetailsRow> rows;
  if (mode == 0) {
    rows = SystemRows(QueryOsCaption(), jobs, parent, ManagerOptions().repositories, disk);
    m_history.DeleteAllItems();
  } else {
    rows = JobRows(jobs, name, parent, disk);
  }
  FillDetailsList(m_details, rows);
}

}  // namespace orva::manager
