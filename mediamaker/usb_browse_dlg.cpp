#include "usb_browse_dlg.h"
#include "media_message.h"

#include <objbase.h>
#include <wbemidl.h>
#include <cstdlib>
#include "core/media_build.h"
#include "resource.h"
#include "skin_cache.h"

namespace orva::media {

namespace {
const COLORREF kBackground = 0xFEFFFF;

CString PropertyText(IWbemClassObject* object, const wchar_t* name) {
  VARIANT v;
  VariantInit(&v);
  CString out;
  if (SUCCEEDED(object->Get(name, 0, &v, nullptr, nullptr)) && v.vt != VT_NULL && v.vt != VT_EMPTY &&
      SUCCEEDED(VariantChangeType(&v, &v, 0, VT_BSTR)) && v.bstrVal)
    out = FromWideText(v.bstrVal);
  VariantClear(&v);
  return out;
}

CString Error(const char* what, HRESULT hr) {
  CString text;
  text.Format("WMI ERROR\n%s. Error code = %x", what, (unsigned)hr);
  return text;
}
}  // namespace

CString QueryDisks(int mode, std::vector<DiskEntry>& disks) {
  // COM is the UI thread's, initialised once at start-up as a single-threaded
  // apartment (the folder picker needs that); the query runs inside it.
  IWbemLocator* locator = nullptr;
  IWbemServices* services = nullptr;
  IEnumWbemClassObject* found = nullptr;
  CString result = "SUCCESS";
  // Security can be set once per process: a second query finds it set.
  HRESULT hr = CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                                    RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
  if (FAILED(hr) && hr != RPC_E_TOO_LATE) {
    result = Error("Failed to initialize security", hr);
  } else if (FAILED(hr = CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                                          (void**)&locator))) {
    result = Error("Failed to create IWbemLocator object", hr);
  } else {
    BSTR ns = SysAllocString(L"ROOT\\CIMV2");
    hr = locator->ConnectServer(ns, nullptr, nullptr, nullptr, 0, nullptr, nullptr, &services);
    SysFreeString(ns);
    if (FAILED(hr)) {
      result = Error("Could not connect", hr);
    } else if (FAILED(hr =
                          CoSetProxyBlanket(services, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                                            RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE))) {
      result = Error("Could not set proxy blanket", hr);
    } else {
      BSTR language = SysAllocString(L"WQL");
      BSTR query = SysAllocString(mode == 1 ? L"SELECT * FROM Win32_LogicalDisk where DriveType = 3 or DriveType = 2"
                                            : L"SELECT * FROM Win32_LogicalDisk where DriveType = 2");
      hr = services->ExecQuery(language, query, WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY, nullptr, &found);
      SysFreeString(language);
      SysFreeString(query);
      if (FAILED(hr)) {
        result = Error("Query for Disk Information Query failed", hr);
      } else {
        disks.clear();
        for (;;) {
          IWbemClassObject* object = nullptr;
          ULONG got = 0;
          if (FAILED(found->Next(WBEM_INFINITE, 1, &object, &got)) || got == 0 || !object) break;
          DiskEntry e;
          e.caption = PropertyText(object, L"Caption");
          e.serial = PropertyText(object, L"VolumeSerialNumber");
          e.fileSystem = PropertyText(object, L"FileSystem");
          e.size = PropertyText(object, L"Size");
          disks.push_back(e);
          object->Release();
        }
      }
    }
  }
  if (found) found->Release();
  if (services) services->Release();
  if (locator) locator->Release();
  return result;
}

BEGIN_MESSAGE_MAP(CUsbBrowseDlg, CFixSkinDialog)
ON_WM_CTLCOLOR()
ON_BN_CLICKED(IDC_SHOW_LOCAL, OnToggle)
ON_BN_CLICKED(IDOK, OnOk)
END_MESSAGE_MAP()

CUsbBrowseDlg::CUsbBrowseDlg(CWnd* parent) : CFixSkinDialog(IDD_USB_BROWSE, parent) {}

CUsbBrowseDlg::~CUsbBrowseDlg() {
  if (m_images) ImageList_Destroy(m_images);
}

void CUsbBrowseDlg::DoDataExchange(CDataExchange* dx) {
  CFixSkinDialog::DoDataExchange(dx);
  DDX_Control(dx, IDOK, m_okButton);
  DDX_Control(dx, IDCANCEL, m_cancelButton);
  DDX_Check(dx, IDC_SHOW_LOCAL, m_showLocal);
}

BOOL CUsbBrowseDlg::OnInitDialog() {
  CFixSkinDialog::OnInitDialog();
  m_backBrush.CreateSolidBrush(kBackground);
  UseMediaMessageLook();
  CSkinCache& skin = SkinCache();
  for (auto [button, icons] : {std::pair<CSkinButton*, int>{&m_okButton, 3}, {&m_cancelButton, 4}}) {
    button->SetBitmapImages(skin.GetBitmap(20), skin.GetColor(0), nullptr, 0);
    button->SetIconImages(skin.GetIcon(icons, 0), nullptr, 5, 0);
    button->SetFont(skin.GetFont(0));
  }
  SetWindowText("USB Browse");
  SetDlgItemText(IDC_DISK_NOTE, "Select an USB disk or local disk.");
  SetDlgItemText(IDC_SHOW_LOCAL, "Show a local disk");
  SetDlgItemText(IDOK, "OK");
  SetDlgItemText(IDCANCEL, "Cancel");

  m_list.Attach(::GetDlgItem(m_hWnd, IDC_DISK_LIST));
  m_list.SetExtendedStyle(LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
  m_list.InsertColumn(0, "Name", LVCFMT_CENTER, 50);
  m_list.InsertColumn(1, "Size", LVCFMT_LEFT, 65);
  m_list.InsertColumn(2, "FileSystem", LVCFMT_CENTER, 70);
  m_list.InsertColumn(3, "Serial Number", LVCFMT_LEFT, 100);
  m_images = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 1, 1);
  HICON disk = (HICON)LoadImageW(FwGetResourceHandle(), MAKEINTRESOURCEW(IDI_DISK), IMAGE_ICON, 16, 16, 0);
  if (disk) {
    ImageList_AddIcon(m_images, disk);
    DestroyIcon(disk);
  }
  m_list.SetImageList(m_images);
  m_diskCount = 0;
  OnToggle();
  return TRUE;
}

HBRUSH CUsbBrowseDlg::OnCtlColor(CDC* dc, CWnd* wnd, UINT kind) {
  if (kind == CTLCOLOR_STATIC || kind == CTLCOLOR_DLG) {
    dc->SetBkMode(TRANSPARENT);
    return (HBRUSH)m_backBrush.m_hObject;
  }
  return CFixSkinDialog::OnCtlColor(dc, wnd, kind);
}

void CUsbBrowseDlg::OnToggle() {
  UpdateData(TRUE);
  if (m_showLocal) {
    Query(1);
    SetDlgItemText(IDC_SHOW_LOCAL, "Hide a local disk");
  } else {
    Query(0);
    SetDlgItemText(IDC_SHOW_LOCAL, "Show a local disk");
  }
  UpdateData(FALSE);
}

void CUsbBrowseDlg::Query(int mode) {
  std::vector<DiskEntry> disks;
  if (QueryDisks(mode, disks) != "SUCCESS") return;  // the list keeps what it showed
  m_disks = disks;
  m_diskCount = (int)m_disks.size();
  m_list.DeleteAllItems();
  for (const DiskEntry& d : m_disks) {
    int64_t bytes = d.size.IsEmpty() ? 0 : _strtoi64(d.size, nullptr, 10);
    std::string size = orva::media::DiskSizeText(bytes);
    if (size == "0 MB") continue;  // no medium, or under 1 MiB
    CString row[4] = {d.caption, size.c_str(), d.fileSystem, d.serial};
    m_list.AddRow(row, 4);
  }
}

void CUsbBrowseDlg::OnOk() {
  int row = m_list.GetFirstSelected();
  m_result = row >= 0 ? m_list.GetItemText(row, 0) : CString();
  EndDialog(IDOK);
}

}  // namespace orva::media
