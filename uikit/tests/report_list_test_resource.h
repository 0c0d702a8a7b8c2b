#pragma once
#define IDD_REPORT_LIST 300
#define IDC_REPORT_LIST 3001
#define IDC_EMPTY_LIST 3002
