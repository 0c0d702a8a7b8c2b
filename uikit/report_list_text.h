// Texts and orderings of the report list that need no window.
#pragma once
#include "framework.h"

namespace orva::ui {
using namespace orva::fw;

// The label of a progress cell: ProgressLabelText (progress_label.h).
CString FormatProgressLabel(const CString& format, int percent);

// What a row is sorted by: the text of the sort column, then column 0.
struct ReportSortKey {
  CString text;
  CString first;
};

// Orders two rows for sorting: byte-wise on the sort text, then on the
// column-0 text; descending reverses that. Rows without a key (no cell
// records) come after every row with one, in both directions, so that the
// result is a strict weak order whatever the list holds.
int CompareReportSortKeys(const ReportSortKey* a, const ReportSortKey* b, BOOL ascending);

}  // namespace orva::ui
