#pragma once
#define IDD_CELL_EDITORS 310
#define IDC_CELL_LIST 3101
#define IDC_CELL_OTHER 3102
