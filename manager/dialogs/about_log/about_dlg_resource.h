#pragma once
#define IDD_ABOUTBOX 100
#include "manager_art_ids.h"  // IDB_ABOUT_PICTURE
#define IDC_ABOUT_NAME 1047
#define IDC_ABOUT_LINK 1057
#define IDC_ABOUT_PICTURE 1058
#define IDC_ABOUT_BUILD_LABEL 1059
#define IDC_ABOUT_BUILD 1060
