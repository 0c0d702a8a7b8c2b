#pragma once
#define IDD_LOG_VIEWER 144
#define IDC_LOG_LIST 1039
// Shared with the main dialog's resources: the row icon and the context menus.
#include "manager_art_ids.h"
#define IDI_LOG_ROW IDI_TREE_LIST
#define IDR_LIST_MENUS 179
#define ID_LOG_CLEAR 32807
