// The dialog of one message box call: strings and icon loaded, the text
// measured in the message font, the controls laid out in pixels and then
// written as an in-memory dialog template. Also holds the run-time state
// that the box's dialog procedure works on.
#pragma once
#include <windows.h>
#include <string>
#include <vector>
#include "fw_types.h"
#include "message_box.h"

namespace orva::ui {
using namespace orva::fw;

// One control of the box.
class CMsgBoxItem {
 public:
  enum Kind : WORD { Button = 0x80, Edit = 0x81, Static = 0x82, CheckBox = 0x180 };
  static constexpr DWORD kStaticStyle = WS_CHILD | WS_VISIBLE;
  static constexpr DWORD kButtonStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP;
  static constexpr DWORD kCheckBoxStyle = kButtonStyle | BS_AUTOCHECKBOX;
  static constexpr DWORD kEditStyle = kButtonStyle | ES_MULTILINE;

  CMsgBoxItem(Kind kind, int id, const CRect& pixels, const std::wstring& text, bool isDefault = false);
  virtual ~CMsgBoxItem() = default;

  // The class atom written into the template.
  WORD ClassAtom() const { return kind == CheckBox ? (WORD)Button : (WORD)kind; }

  Kind kind;
  DWORD style = 0;
  DWORD exStyle = 0;
  short x = 0, y = 0, cx = 0, cy = 0;  // dialog units
  WORD id = 0;
  CRect pixels;  // as laid out
  std::wstring text;
};

// What the layout reads from the system; a test gives fixed numbers.
class CMsgBoxMeasure {
 public:
  virtual ~CMsgBoxMeasure() = default;
  virtual int TextWidth(const std::wstring& text) const = 0;                 // one line
  virtual CSize WrappedText(const std::wstring& text, int width) const = 0;  // word-wrapped
  virtual int LineHeight() const = 0;
  virtual DWORD DialogBaseUnits() const { return GetDialogBaseUnits(); }
  virtual int ScreenWidth() const { return GetSystemMetrics(SM_CXSCREEN); }
  virtual int ScreenHeight() const { return GetSystemMetrics(SM_CYSCREEN); }
  virtual int IconWidth() const { return GetSystemMetrics(SM_CXICON); }
  virtual int IconHeight() const { return GetSystemMetrics(SM_CYICON); }
};

// A button of the row: its caption (an index of CMsgBoxTemplate's captions,
// or kCustomCaption for the caller's own caption of its id) and its id.
struct CMsgBoxButton {
  int caption;
  int id;
  bool operator==(const CMsgBoxButton&) const = default;
};

// The buttons of a box in row order, and what Esc and the Close item do
// (FlagHasCancel, FlagSingleOk or neither).
struct CMsgBoxButtonSet {
  std::vector<CMsgBoxButton> buttons;
  UINT flags = 0;
};

class CMsgBoxTemplate {
 public:
  // Caption indices.
  enum {
    CapAbort,
    CapCancel,
    CapContinue,
    CapDontAsk,
    CapDontTell,
    CapDontShow,
    CapHelp,
    CapIgnore,
    CapIgnoreAll,
    CapNo,
    CapNoToAll,
    CapOk,
    CapReport,
    CapRetry,
    CapSkip,
    CapSkipAll,
    CapTryAgain,
    CapYes,
    CapYesToAll
  };
  // Flag word.
  enum { FlagAsk = 1, FlagTell = 2, FlagShow = 4, FlagHasCancel = 8, FlagSingleOk = 16 };

  static constexpr int kMaxItems = 20;
  static constexpr int kMaxTextChars = 65535;
  static constexpr int kMaxCaptionChars = 1023;  // in the template's title
  static constexpr int kMaxButtonChars = 99;
  static constexpr int kMaxCustomChars = 259;
  static constexpr int kMaxCustomButtons = 4;
  static constexpr int kCustomCaption = -1;

  // The box: a centred modal popup with a caption and the Close item.
  static constexpr DWORD kDialogStyle = WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_CENTER | DS_MODALFRAME;
  // Sizes in dialog units; the modern look adds its extras to the button's.
  static constexpr int kButtonWidthDlu = 38;
  static constexpr int kButtonHeightDlu = 12;
  static constexpr int kModernExtraWidthDlu = 6;
  static constexpr int kModernExtraHeightDlu = 1;
  static constexpr int kCountdownWidthDlu = 13;  // room for " = 10" on every button
  static constexpr int kCheckBoxHeightDlu = 10;
  static constexpr int kButtonGap = 6;  // pixels between neighbouring buttons

  static const wchar_t* const kDefaultCaptions[SMB_CAPTION_COUNT];
  static const UINT kCaptionStringIds[SMB_CAPTION_COUNT];

  // `params` has been copied and clamped by the caller; text and caption
  // may be string ids. A null `measure` measures in the message font.
  CMsgBoxTemplate(HWND owner, LPCSTR text, LPCSTR caption, UINT style, const MessageBoxParams& params,
                  const CMsgBoxMeasure* measure = nullptr);
  virtual ~CMsgBoxTemplate();
  CMsgBoxTemplate(const CMsgBoxTemplate&) = delete;
  CMsgBoxTemplate& operator=(const CMsgBoxTemplate&) = delete;

  // The template as CreateDialogIndirectParam reads it.
  std::vector<BYTE> Serialize() const;
  // The same in a zero-initialised movable local block; null when it cannot be had.
  HLOCAL CreateTemplateBlock() const;

  const std::vector<CMsgBoxItem*>& Items() const { return m_items; }
  const CMsgBoxItem* FindItem(int id) const;
  bool HasButton(int id) const;

  // The call.
  HWND m_owner = nullptr;
  UINT m_style = 0;
  CString m_textAnsi;  // as the caller gave it (for the Report callback)
  std::wstring m_text;
  std::wstring m_caption;
  MessageBoxParams m_params;
  bool m_rightButtons = false, m_modern = false, m_narrow = false;
  COLORREF m_textColor = SMB_DEFAULT_COLOR, m_backgroundColor = SMB_DEFAULT_COLOR;

  // Built.
  HFONT m_font = nullptr;
  bool m_ownsFont = false;
  HBRUSH m_brush = nullptr;
  HICON m_icon = nullptr;
  bool m_ownsIcon = false;
  std::wstring m_captions[SMB_CAPTION_COUNT];
  std::vector<std::wstring> m_customCaptions;
  int m_captionWidths[SMB_CAPTION_COUNT] = {};
  CRect m_textRect;
  CRect m_dialogRect;  // pixels
  DWORD m_dlgStyle = 0, m_dlgExStyle = 0;
  short m_dlgX = 0, m_dlgY = 0, m_dlgCx = 0, m_dlgCy = 0;
  int m_baseX = 8, m_baseY = 16;

  // Metrics (pixels).
  int m_minButtonWidth = 0, m_buttonHeight = 0, m_countdownExtra = 0, m_checkBoxHeight = 0;
  int m_lineHeight = 0;

  // Run time.
  UINT m_flags = 0;
  int m_buttonCount = 0;
  int m_defaultOrdinal = 1;
  int m_defaultId = IDOK;
  int m_textId = SMB_ID_TEXT;
  int m_nextTextId = SMB_ID_TEXT;
  int m_result = -1;
  bool m_done = false;
  int m_timeoutLeft = 0, m_disabledLeft = 0;
  bool m_countdownRunning = false, m_disabledRunning = false;
  bool m_defaultCaptionSaved = false;
  std::wstring m_savedDefaultCaption;
  HWND m_hwnd = nullptr;

  UINT RememberBit() const;
  // WM_CTLCOLORSTATIC of one of the box's statics (`messageText`: the message
  // text): sets the colours on `dc` and returns the brush; null leaves the
  // control to the dialog's default colours.
  HBRUSH ColorStatic(HDC dc, bool messageText) const;

  // The row of a box of `style` (type, the to-all bits and MB_HELP) with
  // `customButtons` captions of the caller's (which replace the type's set)
  // and a Report button when `report`.
  static CMsgBoxButtonSet ButtonSet(UINT style, int customButtons, bool report);
  // The position (from 1) of the default button that MB_DEFBUTTON* asks for.
  static int DefaultOrdinal(UINT style);
  // FlagAsk, FlagTell or FlagShow: the first remember bit of the style.
  static UINT RememberFlag(UINT style);

 private:
  void LoadTexts(LPCSTR text, LPCSTR caption);
  void LoadIconImage();
  // The layout in steps: metrics, the message (icon and text), the button
  // row and the check box, then the box's size in dialog units.
  void Layout(const CMsgBoxMeasure& measure);
  void SetMetrics(const CMsgBoxMeasure& measure);
  int TextWidthLimit(const CMsgBoxMeasure& measure) const;
  // Adds the icon and the text; `box` gets its first width. Returns the icon's bottom.
  int LayOutMessage(const CMsgBoxMeasure& measure, CRect& box);
  std::vector<int> ButtonWidths(const CMsgBoxMeasure& measure, const std::vector<CMsgBoxButton>& buttons) const;
  void LayOutButtons(const CMsgBoxMeasure& measure, const std::vector<CMsgBoxButton>& buttons, int top, CRect& box);
  const std::wstring& CaptionOf(const CMsgBoxButton& button) const;
  int ButtonWidth(const CMsgBoxMeasure& measure, const std::wstring& caption) const;
  void AddItem(CMsgBoxItem* item);
  void ToDialogUnits(CMsgBoxItem& item) const;

  std::vector<CMsgBoxItem*> m_items;
};

// Loads string `id` of `instance` as UTF-16, at most `maxChars` characters.
std::wstring SmbLoadString(HINSTANCE instance, UINT id, int maxChars);
// The first `maxChars` characters of a caller's text (ANSI or UTF-8) as UTF-16.
std::wstring SmbWideText(const char* text, int maxChars);
// Splits custom captions at "\n": at most four, each at most 99 characters.
std::vector<std::wstring> SmbSplitCustomCaptions(const std::wstring& text);

}  // namespace orva::ui
