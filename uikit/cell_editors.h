// The in-place editors of the report list: a drop-down list, a text box
// (with an up-down button for ranged numbers) and a date-and-time picker,
// opened over a cell and closed by Enter, Escape, Tab, loss of focus or the
// close of their drop-down. Each kind exists at most once in the process.
#pragma once
#include "fw_more_controls.h"
#include "report_list.h"

namespace orva::ui {
using namespace orva::fw;

class CCellSpinBox : public CSpinButtonCtrl {
 protected:
  void OnDeltaPos(NMHDR* nm, LRESULT* result);
  DECLARE_MESSAGE_MAP()
};

class CCellEditBox : public CEdit {
 public:
  ~CCellEditBox() override;
  CCellEditBox& SetMinimum(int value) {
    m_minimum = value;
    return *this;
  }
  CCellEditBox& SetMaximum(int value) {
    m_maximum = value;
    return *this;
  }
  int GetMinimum() const { return m_minimum; }
  int GetMaximum() const { return m_maximum; }
  UINT GetLastKey() const { return m_lastKey; }
  // Digits only, held within minimum and maximum.
  bool IsRanged() const { return m_minimum >= 0 && m_maximum >= 0; }
  BOOL PreTranslateMessage(MSG* msg) override;

 protected:
  void OnKillFocus(CWnd* next);
  int OnCreate(LPCREATESTRUCT cs);
  LRESULT OnSpinDelta(WPARAM up, LPARAM);
  void OnPaint();

  int m_minimum = -1;
  int m_maximum = -1;
  UINT m_lastKey = 0;
  DECLARE_MESSAGE_MAP()
};

class CCellDateBox : public CDateTimeCtrl {
 public:
  UINT GetLastKey() const { return m_lastKey; }
  // The drop-down calendar is showing (or is about to: it takes the focus `focusTo`).
  bool IsCalendarOpen(HWND focusTo = nullptr) const;
  BOOL PreTranslateMessage(MSG* msg) override;

 protected:
  void OnKillFocus(CWnd* next);
  void OnCloseUp(NMHDR* nm, LRESULT* result);
  int OnCreate(LPCREATESTRUCT cs);
  void EndEdit();

  UINT m_lastKey = 0;
  DECLARE_MESSAGE_MAP()
};

class CCellComboBox : public CComboBox {
 public:
  UINT GetLastKey() const { return m_lastKey; }
  BOOL PreTranslateMessage(MSG* msg) override;

 protected:
  void OnKillFocus(CWnd* next);
  void OnCloseUp();
  void EndEdit();

  UINT m_lastKey = 0;
  DECLARE_MESSAGE_MAP()
};

// The shared instances: each getter creates its instance on first use
// (nullptr when that fails); each destroyer destroys the window and the object.
CCellEditBox* GetCellEditBox();
CCellDateBox* GetCellDateBox();
CCellComboBox* GetCellComboBox();
CCellSpinBox* GetCellSpinBox();
// Without the instance, the getters above do not create one.
CCellEditBox* PeekCellEditBox();
CCellDateBox* PeekCellDateBox();
CCellComboBox* PeekCellComboBox();
CCellSpinBox* PeekCellSpinBox();
void DestroyCellEditBox();
void DestroyCellDateBox();
void DestroyCellComboBox();
void DestroyCellSpinBox();

// Makes these editors the report lists' editors (once, at program start).
void InstallCellEditors();

// Seconds since 1970 and the local time the picker shows; false when the
// value has no local time.
bool CellTimeToLocal(__int64 seconds, SYSTEMTIME& local);
bool CellLocalToTime(const SYSTEMTIME& local, __int64& seconds);

}  // namespace orva::ui
