#include "core/run_guard.h"

#include <exception>
#include <new>
#include <vector>

#include "core/output.h"
#include "core/platform.h"
#include "core/progress.h"
#include "core/run_log.h"
#include "core/wide.h"

namespace orva {

namespace {

std::vector<std::wstring>& WorkFiles() {
  static std::vector<std::wstring> files;
  return files;
}

std::wstring Widened(const char* text) {
  std::wstring out;
  for (const char* c = text; c && *c; ++c) out.push_back(static_cast<unsigned char>(*c) < 0x80 ? *c : L'?');
  return out;
}

void Failed(const std::wstring& why) {
  ++Counters().fatalErrors;
  Say(Fmt(L"  SYSTEM Error : The imaging process cannot go on (%ls).\n", why.c_str()));
  for (const auto& path : WorkFiles()) RemoveFileByName(path);
  WorkFiles().clear();
}

}  // namespace

void AddWorkFile(const std::wstring& path) { WorkFiles().push_back(path); }
void ClearWorkFiles() { WorkFiles().clear(); }

bool GuardRun(const std::function<bool()>& run) {
  try {
    return run();
  } catch (const RunCancelled&) {
    throw;
  } catch (const std::bad_alloc&) {
    Failed(L"out of memory");
  } catch (const std::exception& e) {
    Failed(Widened(e.what()));
  } catch (...) {
    Failed(L"unknown exception");
  }
  return true;
}

}  // namespace orva
