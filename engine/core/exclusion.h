#pragma once
#include <string>
#include <vector>

namespace orva {

// True when a pattern names the key: equal case-insensitively, a leading
// backslash on either side ignored. Keys are a root object's name or a
// deeper object's relative path ("\Data\Sub").
bool IsExcluded(const std::wstring& key, const std::vector<std::wstring>& patterns);

}  // namespace orva
