#include "progress_label.h"

#include <cstdio>
#include <cstring>

namespace orva::ui {

std::string ProgressLabelText(const char* format, int percent) {
  const char* f = format && *format ? format : "%d%%";
  std::string out;
  for (const char* p = f; *p;) {
    if (*p != '%') {
      out += *p++;
      continue;
    }
    if (p[1] == '%') {
      out += '%';
      p += 2;
      continue;
    }
    // %[flags][width]d or i; flags, width and the conversion's whole length
    // (leading zeros of the width included) are capped so that it fits its
    // buffer and the text stays small: a longer one is left as written.
    const int kMaxFlags = 8;
    const size_t kMaxConversion = 64;
    const char* q = p + 1;
    while (*q && strchr("-+ 0#", *q) && q - p <= kMaxFlags) ++q;
    int width = 0;
    while (*q >= '0' && *q <= '9') {
      if (width < 1000) width = width * 10 + (*q - '0');
      ++q;
    }
    const size_t n = (size_t)(q - p);  // up to the letter
    if ((*q == 'd' || *q == 'i') && width <= 64 && n + 1 <= kMaxConversion) {
      char spec[kMaxConversion + 1], text[96];
      memcpy(spec, p, n);
      spec[n] = 'd';
      spec[n + 1] = 0;
      snprintf(text, sizeof(text), spec, percent);
      out += text;
      p = q + 1;
    } else {
      out += *p++;  // not a conversion we fill: shown as written
    }
  }
  return out;
}

}  // namespace orva::ui
