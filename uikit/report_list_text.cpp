#include "report_list_text.h"

#include "progress_label.h"

namespace orva::ui {

CString FormatProgressLabel(const CString& format, int percent) { return CString(ProgressLabelText(format, percent)); }

int CompareReportSortKeys(const ReportSortKey* a, const ReportSortKey* b, BOOL ascending) {
  if (!a || !b) return (a ? -1 : 0) + (b ? 1 : 0);
  int r = a->text.Compare(b->text);
  if (r == 0) r = a->first.Compare(b->first);
  r = r < 0 ? -1 : (r > 0 ? 1 : 0);
  return ascending ? r : -r;
}

}  // namespace orva::ui
