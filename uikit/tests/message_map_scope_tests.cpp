// Message maps declared in a namespace that sees neither the framework nor
// the kit: the macros name the framework's types in full. Dispatched without
// a window, straight through the object's map.
#include <gtest/gtest.h>
#include <windows.h>
#include "framework.h"
#include "fw_menu.h"

namespace elsewhere {

const UINT kProbeMessage = RegisterWindowMessageW(L"OrvaMessageMapScopeProbe");

class Probe : public ::orva::fw::CWnd {
 public:
  UINT_PTR timer = 0;
  int commands = 0;
  POINT hit{};
  LPARAM registered = 0;

 protected:
  void OnTimer(UINT_PTR id) { timer = id; }
  void OnRun() { ++commands; }
  LRESULT OnNcHitTest(::orva::fw::CPoint p) {
    hit = p;
    return HTCAPTION;
  }
  LRESULT OnProbe(WPARAM, LPARAM lParam) {
    registered = lParam;
    return 7;
  }
  LRESULT OnPrivate(WPARAM wParam, LPARAM) { return (LRESULT)wParam * 2; }
  // Only compiled: their messages need windows.
  BOOL OnEraseBkgnd(::orva::fw::CDC*) { return TRUE; }
  HBRUSH OnCtlColor(::orva::fw::CDC*, ::orva::fw::CWnd*, UINT) { return nullptr; }
  HBRUSH CtlColor(::orva::fw::CDC*, UINT) { return nullptr; }
  void OnInitMenuPopup(::orva::fw::CMenu*, UINT, BOOL) {}
  void OnCustomDraw(NMHDR*, LRESULT*) {}
  BOOL OnSetCursor(::orva::fw::CWnd*, UINT, UINT) { return TRUE; }
  void OnContextMenu(::orva::fw::CWnd*, ::orva::fw::CPoint) {}

  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(Probe, ::orva::fw::CWnd)
ON_WM_TIMER()
ON_COMMAND(42, OnRun)
ON_WM_NCHITTEST()
ON_REGISTERED_MESSAGE(kProbeMessage, OnProbe)
ON_MESSAGE(WM_APP + 5, OnPrivate)
ON_WM_ERASEBKGND()
ON_WM_CTLCOLOR()
ON_WM_CTLCOLOR_REFLECT()
ON_WM_INITMENUPOPUP()
ON_NOTIFY_REFLECT(NM_CUSTOMDRAW, OnCustomDraw)
ON_WM_SETCURSOR()
ON_WM_CONTEXTMENU()
END_MESSAGE_MAP()

}  // namespace elsewhere

TEST(MessageMapScope, MapsOutsideTheFrameworkNamespaceDispatch) {
  elsewhere::Probe probe;
  LRESULT result = 0;
  EXPECT_TRUE(probe.OnWndMsg(WM_TIMER, 9, 0, &result));
  EXPECT_EQ(probe.timer, 9u);
  EXPECT_TRUE(probe.OnWndMsg(WM_COMMAND, MAKEWPARAM(42, 0), 0, &result));
  EXPECT_EQ(probe.commands, 1);
  EXPECT_TRUE(probe.OnWndMsg(WM_NCHITTEST, 0, MAKELPARAM(-3, 40), &result));
  EXPECT_EQ(result, HTCAPTION);
  EXPECT_EQ(probe.hit.x, -3);
  EXPECT_EQ(probe.hit.y, 40);
  EXPECT_TRUE(probe.OnWndMsg(elsewhere::kProbeMessage, 0, 11, &result));
  EXPECT_EQ(result, 7);
  EXPECT_EQ(probe.registered, 11);
  EXPECT_TRUE(probe.OnWndMsg(WM_APP + 5, 21, 0, &result));
  EXPECT_EQ(result, 42);
  EXPECT_FALSE(probe.OnWndMsg(WM_COMMAND, MAKEWPARAM(43, 0), 0, &result));
}
