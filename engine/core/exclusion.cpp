#include "core/exclusion.h"

#include "core/wide.h"

namespace orva {

namespace {
std::wstring Normal(const std::wstring& s) { return ToUpper(!s.empty() && s[0] == L'\\' ? s.substr(1) : s); }
}  // namespace

bool IsExcluded(const std::wstring& key, const std::vector<std::wstring>& patterns) {
  const std::wstring k = Normal(key);
  if (k.empty()) return false;
  for (const auto& p : patterns)
    if (Normal(p) == k) return true;
  return false;
}

}  // namespace orva
