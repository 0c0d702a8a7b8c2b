#include "os_caption.h"

#include <windows.h>
#include <objbase.h>

#include <vector>

#include "system_text.h"
#include "wmi_query.h"

namespace orva::platform {
namespace {

// The WMI caption; COM is initialised by the caller.
std::string WmiCaption() {
  std::vector<std::string> captions;
  std::string error = WmiStrings(L"SELECT * FROM Win32_OperatingSystem", L"Caption", captions);
  if (!error.empty()) return error;
  std::string caption;
  for (const auto& c : captions) caption = c + " ";
  if (caption.empty()) return "WMI ERROR\nThe query returned no operating system";
  return caption;
}

std::string RegistryProductName() {
  wchar_t name[256] = {};
  DWORD size = sizeof name;
  if (RegGetValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", L"ProductName",
                   RRF_RT_REG_SZ, nullptr, name, &size) != ERROR_SUCCESS)
    return {};
  std::string text = WideToAnsi(name);
  // The WMI caption names the maker first.
  if (!text.empty() && text.rfind("Microsoft", 0) != 0) text = "Microsoft " + text;
  return text.empty() ? text : text + " ";
}

std::string ArchitectureTag() {
  SYSTEM_INFO info{};
  GetNativeSystemInfo(&info);
  if (info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64) return "[64bit]";
  if (info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_INTEL) return "[32bit]";
  return {};
}

}  // namespace

std::string QueryOsCaptionUncached() {
  std::string caption;
  const HRESULT init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  if (FAILED(init) && init != RPC_E_CHANGED_MODE) {
    caption = WmiError("Failed to initialize COM library", init);
  } else {
    caption = WmiCaption();
    if (SUCCEEDED(init)) CoUninitialize();
  }
  if (caption.rfind("WMI ERROR\n", 0) == 0) {
    std::string product = RegistryProductName();
    if (!product.empty()) caption = product;
  }
  return caption + ArchitectureTag();
}

const std::string& QueryOsCaption() {
  static CaptionCache cache(QueryOsCaptionUncached);
  return cache.Get();
}

}  // namespace orva::platform
