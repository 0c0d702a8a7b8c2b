#pragma once
#define IDS_TEST_TEXT 501
#define IDS_TEST_CAPTION 502
#define IDS_TEST_CUSTOM 503
#define IDI_TEST_ICON 227
