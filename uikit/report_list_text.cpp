#include "report_list_text.h"
#include <cstdio>
#include <cstring>

namespace orva::ui {

CString FormatProgressLabel(const CString& format, int percent) {
  const char* f = format.IsEmpty() ? "%d%%" : (const char*)format;
  CString out;
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
    // %[flags][width]d or i; flags and width are capped so the text stays
    // small: a longer run of flags leaves the conversion as written.
    const int kMaxFlags = 8;
    const char* q = p + 1;
    while (*q && strchr("-+ 0#", *q) && q - p <= kMaxFlags) ++q;
    int width = 0;
    while (*q >= '0' && *q <= '9') {
      if (width < 1000) width = width * 10 + (*q - '0');
      ++q;
    }
    if ((*q == 'd' || *q == 'i') && width <= 64) {
      char spec[80], text[96];
      size_t n = (size_t)(q - p);
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

int CompareReportSortKeys(const ReportSortKey* a, const ReportSortKey* b, BOOL ascending) {
  if (!a || !b) return (a ? -1 : 0) + (b ? 1 : 0);
  int r = a->text.Compare(b->text);
  if (r == 0) r = a->first.Compare(b->first);
  r = r < 0 ? -1 : (r > 0 ? 1 : 0);
  return ascending ? r : -r;
}

}  // namespace orva::ui
