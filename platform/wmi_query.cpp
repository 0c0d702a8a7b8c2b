#include "wmi_query.h"

#include "system_text.h"

#include <windows.h>
#include <wbemidl.h>

#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>

namespace orva::platform {

namespace {

template <typename T>
void Release(T*& p) {
  if (p) p->Release();
  p = nullptr;
}

}  // namespace

std::string WmiError(const char* what, long hr) {
  char text[160];
  std::snprintf(text, sizeof text, "WMI ERROR\n%s. Error code = %lx", what, static_cast<unsigned long>(hr));
  return text;
}

bool RunWithin(std::function<void()> work, std::chrono::milliseconds limit) {
  struct Shared {
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
  };
  auto shared = std::make_shared<Shared>();
  try {
    std::thread([shared, work = std::move(work)] {
      work();
      std::lock_guard lock(shared->m);
      shared->done = true;
      shared->cv.notify_all();
    }).detach();
  } catch (const std::exception&) {
    return false;
  }
  std::unique_lock lock(shared->m);
  return shared->cv.wait_for(lock, limit, [&] { return shared->done; });
}

namespace {

// The query itself, on the calling thread; COM is initialised by the caller.
std::string QueryStrings(const wchar_t* query, const wchar_t* property, std::vector<std::string>& values) {
  values.clear();
  // An earlier security set-up in the process (RPC_E_TOO_LATE) is no failure.
  HRESULT hr = CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                                    RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
  if (FAILED(hr) && hr != RPC_E_TOO_LATE) return WmiError("Failed to initialize security", hr);
  IWbemLocator* locator = nullptr;
  hr = CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                        reinterpret_cast<void**>(&locator));
  if (FAILED(hr)) return WmiError("Failed to create IWbemLocator object", hr);
  IWbemServices* services = nullptr;
  BSTR space = SysAllocString(L"ROOT\\CIMV2");
  hr = locator->ConnectServer(space, nullptr, nullptr, nullptr, 0, nullptr, nullptr, &services);
  SysFreeString(space);
  Release(locator);
  if (FAILED(hr)) return WmiError("Could not connect", hr);
  hr = CoSetProxyBlanket(services, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_CALL,
                         RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
  if (FAILED(hr)) {
    Release(services);
    return WmiError("Could not set proxy blanket", hr);
  }
  IEnumWbemClassObject* rows = nullptr;
  BSTR language = SysAllocString(L"WQL");
  BSTR text = SysAllocString(query);
  hr = services->ExecQuery(language, text, WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY, nullptr, &rows);
  SysFreeString(language);
  SysFreeString(text);
  if (FAILED(hr)) {
    Release(services);
    return WmiError("Query for Disk Information Query failed", hr);
  }
  for (;;) {
    IWbemClassObject* row = nullptr;
    ULONG got = 0;
    if (rows->Next(WBEM_INFINITE, 1, &row, &got) != WBEM_S_NO_ERROR || got == 0) break;
    VARIANT value;
    VariantInit(&value);
    if (SUCCEEDED(row->Get(property, 0, &value, nullptr, nullptr)) && value.vt == VT_BSTR)
      values.push_back(value.bstrVal ? WideToAnsi(value.bstrVal) : std::string());
    VariantClear(&value);
    Release(row);
  }
  Release(rows);
  Release(services);
  return {};
}

}  // namespace

std::string WmiStrings(const wchar_t* query, const wchar_t* property, std::vector<std::string>& values,
                       std::chrono::milliseconds limit) {
  values.clear();
  struct Result {
    std::wstring query, property;
    std::string error;
    std::vector<std::string> values;
  };
  auto result = std::make_shared<Result>();
  result->query = query;
  result->property = property;
  const bool ended = RunWithin(
      [result] {
        const HRESULT init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        if (FAILED(init) && init != RPC_E_CHANGED_MODE) {
          result->error = WmiError("Failed to initialize COM", init);
          return;
        }
        result->error = QueryStrings(result->query.c_str(), result->property.c_str(), result->values);
        if (SUCCEEDED(init)) CoUninitialize();
      },
      limit);
  if (!ended) return "WMI ERROR\nThe query did not answer in time";
  values = std::move(result->values);
  return result->error;
}

}  // namespace orva::platform
