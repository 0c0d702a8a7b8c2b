#pragma once
// The main dialog's share of the viewer's resources, as the manager has them.
#define IDR_TEST_FIRST_POPUP_ITEM 32799
