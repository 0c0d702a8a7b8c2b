// The details pane of the main window: the system caption, the disk facts
// it shows, and the column fitting of the window's report lists. The rows
// themselves come from core/details_text.
#pragma once
#include <winsock2.h>
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/details_text.h"
#include "report_list.h"

namespace orva::manager {
using namespace orva::fw;
using namespace orva::ui;

// The operating system's WMI caption, a blank and "[64bit]" or "[32bit]";
// the "WMI ERROR\n..." text when WMI fails.
std::string QueryOsCaption();

// Total free bytes of the disk of `root` (GetDiskFreeSpaceExA, looked up at
// run time); 0 when it cannot be had.
int64_t DiskFreeBytes(const std::string& root);

// Length of the last file (not a folder) that a search for `pattern`
// finds; 0 when none.
int64_t FoundFileSize(const std::string& pattern);

// Sizes the columns of a report list: each percentage of a zero-ended list
// gives its column that share of the list's width; the next column takes
// what is left after the scroll bar and the edges. Then redraws the list.
void FitColumnWidths(CReportListCtrl& list, const int* percents);

// Replaces the rows of a two-column list.
void FillDetailsList(CReportListCtrl& list, const std::vector<orva::manager::DetailsRow>& rows);

}  // namespace orva::manager
