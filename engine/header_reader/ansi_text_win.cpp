#include <algorithm>

#include "image_header_reader.h"
#include "system_text.h"

std::string ToAnsiText(const std::wstring& text) {
  return orva::platform::WideToAnsi(std::wstring_view(text).substr(0, std::min(text.find(L'\0'), text.size())));
}
