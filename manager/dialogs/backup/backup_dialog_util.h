// Pieces that the start-backup, one-click and add-image dialogs share.
#pragma once
#include <initializer_list>
#include <string>
#include <vector>

#include "framework.h"
#include "report_list.h"

namespace orva::ui {
class CSkinButton;
}  // namespace orva::ui

namespace orva::manager::backup {
using namespace orva::fw;
using namespace orva::ui;

// Space of a drive ("C:"): selector 0 the used bytes, 1 the total; empty
// when GetDiskFreeSpaceExA is missing or fails, and for another selector.
std::string DriveSpaceText(const std::string& drive, int selector);

// The roots of the fixed drives, "C:", "D:", ...
std::vector<std::string> FixedDrives();

// The list's columns get their percentages of its window width, the last
// one the rest, less the vertical scroll bar when it shows and the edges.
void FitColumns(CListCtrl& list, std::initializer_list<int> percents);

// Row height, fonts, header height, grid colour and full-row selection.
void SetUpReportList(CReportListCtrl& list, COLORREF grid);

// A skin button with face bitmap `face` keyed by skin colour 0 and the icon
// of `iconSet` at `iconSize` (0: 16 pixels, 2: 32 pixels).
void SkinButton(CSkinButton& button, int face, int iconSet, int iconSize, int margin);

// Appends a row of two cells.
void AddRow(CReportListCtrl& list, int image, const std::string& label, const std::string& value);

}  // namespace orva::manager::backup
