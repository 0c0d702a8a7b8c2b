// The framework layer of the GUI programs, over plain Win32.
#pragma once
#include "fw_types.h"
#include "fw_string.h"
#include "fw_gdi.h"
#include "fw_window.h"
#include "fw_controls.h"
#include "fw_listctrl.h"
#include "fw_app.h"
