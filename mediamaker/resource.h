// Resource ids of OrvaMediaMaker.
#pragma once
// The program's icon (IDR_MAINFRAME), its message and disk icons and the skin's pictures.
#include "media_art_ids.h"
#define IDD_ORVAMEDIAMAKER_DIALOG 102
#define IDD_PROGRESS 130
#define IDD_USB_BROWSE 131

#define IDC_BUILD 1
#define IDC_EXIT 2
#define IDC_ISO_BROWSE 3
#define IDC_USB_BROWSE 4
#define IDC_RESTORE_OK 5

#define IDC_BACKUP_LIST 1000
#define IDC_MEDIUM_USB 1001
#define IDC_MEDIUM_ISO 1002
#define IDC_BACKUP_SIZE 1003
#define IDC_USB_PATH 1005
#define IDC_TITLE 1006
#define IDC_SELECT_LABEL 1007
#define IDC_ISO_NOTE 1009
#define IDC_PATH_LABEL 1011
#define IDC_NAME_LABEL 1013
#define IDC_ISO_PATH 1014
#define IDC_MEDIUM_GROUP 1019
#define IDC_CREATE_GROUP 1023
#define IDC_RESTORE_GROUP 1024
#define IDC_RESTORE_TEXT 1025
#define IDC_DOWNLOAD 1026

// Progress dialog.
#define IDC_PROGRESS_TEXT 1012
#define IDC_PROGRESS_BAR 1013

// Disk browser.
#define IDC_SHOW_LOCAL 1017
#define IDC_DISK_LIST 1018
#define IDC_DISK_NOTE 1022
