#include "msgbox_template.h"
#include <algorithm>
#include <climits>
#include <cstring>

namespace orva::ui {

const wchar_t* const CMsgBoxTemplate::kDefaultCaptions[SMB_CAPTION_COUNT] = {L"&Abort",
                                                                             L"Cancel",
                                                                             L"&Continue",
                                                                             L"Don't ask me again",
                                                                             L"Don't tell me again",
                                                                             L"Don't show again",
                                                                             L"&Help",
                                                                             L"&Ignore",
                                                                             L"I&gnore All",
                                                                             L"&No",
                                                                             L"N&o to All",
                                                                             L"OK",
                                                                             L"Re&port",
                                                                             L"&Retry",
                                                                             L"&Skip",
                                                                             L"S&kip All",
                                                                             L"&Try Again",
                                                                             L"&Yes",
                                                                             L"Y&es to All"};

const UINT CMsgBoxTemplate::kCaptionStringIds[SMB_CAPTION_COUNT] = {
    9005, 9002, 9009, 9010, 9011, 9012, 9006, 9003, 9017, 9008, 9014, 9001, 9016, 9004, 9018, 9019, 9015, 9007, 9013};

namespace {

// Fixed-size fields of the caller's record need not end in a NUL.
CString Bounded(const char* s, size_t size) {
  if (!s) return CString();
  size_t n = strnlen(s, size);
  return CString(s, (int)n);
}

std::wstring Cut(std::wstring s, int maxChars) {
  if ((int)s.size() > maxChars) {
    size_t n = (size_t)maxChars;
    // never leave half of a surrogate pair
    if (n > 0 && s[n - 1] >= 0xD800 && s[n - 1] <= 0xDBFF) --n;
    s.resize(n);
  }
  return s;
}

HINSTANCE OrOwnModule(HINSTANCE h) { return h ? h : GetModuleHandleW(nullptr); }

short ToShort(long v) { return (short)std::clamp<long>(v, SHRT_MIN, SHRT_MAX); }

// Measures in the message font on a display DC.
class CGdiMeasure : public CMsgBoxMeasure {
 public:
  explicit CGdiMeasure(HFONT font) {
    m_dc = CreateDCW(L"DISPLAY", nullptr, nullptr, nullptr);
    if (m_dc && font) m_old = SelectObject(m_dc, font);
  }
  ~CGdiMeasure() override {
    if (m_dc) {
      if (m_old) SelectObject(m_dc, m_old);
      DeleteDC(m_dc);
    }
  }
  int TextWidth(const std::wstring& text) const override {
    SIZE s{};
    if (m_dc && !text.empty()) GetTextExtentPoint32W(m_dc, text.c_str(), (int)text.size(), &s);
    return s.cx;
  }
  CSize WrappedText(const std::wstring& text, int width) const override {
    RECT r{0, 0, width, width};
    if (!m_dc) return CSize();
    DrawTextW(m_dc, text.c_str(), (int)text.size(), &r, DT_NOPREFIX | DT_CALCRECT | DT_EXPANDTABS | DT_WORDBREAK);
    return CSize(r.right - r.left, r.bottom - r.top);
  }
  int LineHeight() const override {
    SIZE s{};
    if (m_dc) GetTextExtentPoint32W(m_dc, L"My", 2, &s);
    return s.cy;
  }

 private:
  HDC m_dc = nullptr;
  HGDIOBJ m_old = nullptr;
};

}  // namespace

std::wstring SmbLoadString(HINSTANCE instance, UINT id, int maxChars) {
  if (id == 0 || id > 0xFFFF) return std::wstring();
  const wchar_t* res = nullptr;
  int n = LoadStringW(OrOwnModule(instance), id, (LPWSTR)&res, 0);
  if (n <= 0 || !res) return std::wstring();
  return Cut(std::wstring(res, (size_t)n), maxChars);
}

std::wstring SmbWideText(const char* text, int maxChars) { return Cut(ToWideText(text), maxChars); }

std::vector<std::wstring> SmbSplitCustomCaptions(const std::wstring& text) {
  std::vector<std::wstring> out;
  size_t start = 0;
  while (start < text.size() && (int)out.size() < CMsgBoxTemplate::kMaxCustomButtons) {
    size_t end = text.find(L'\n', start);
    if (end == std::wstring::npos) end = text.size();
    out.push_back(Cut(text.substr(start, end - start), CMsgBoxTemplate::kMaxButtonChars));
    start = end + 1;
  }
  return out;
}

CMsgBoxItem::CMsgBoxItem(Kind k, int controlId, const CRect& r, const std::wstring& t, bool isDefault)
    : kind(k), id((WORD)controlId), pixels(r), text(t) {
  switch (k) {
    case Button:
      style = kButtonStyle | (isDefault ? BS_DEFPUSHBUTTON : 0);
      break;
    case CheckBox:
      style = kCheckBoxStyle;
      break;
    case Edit:
      style = kEditStyle;
      break;
    default:
      style = kStaticStyle;
      break;
  }
}

CMsgBoxTemplate::CMsgBoxTemplate(HWND owner, LPCSTR text, LPCSTR caption, UINT style, const MessageBoxParams& params,
                                 const CMsgBoxMeasure* measure)
    : m_owner(owner), m_style(style), m_params(params) {
  m_result = -1;
  m_nextTextId = SMB_ID_TEXT;
  m_defaultId = IDOK;
  m_timeoutLeft = std::max(0, m_params.timeoutSeconds);
  m_disabledLeft = std::max(0, m_params.disabledSeconds);

  m_modern = (m_params.options & SMB_OPT_MODERN) != 0;
  m_rightButtons = (m_params.options & SMB_OPT_RIGHT_BUTTONS) != 0 || m_modern;
  m_narrow = (m_params.options & SMB_OPT_NARROW) != 0;
  m_textColor = m_params.textColor;
  m_backgroundColor = m_params.backgroundColor;
  if (m_modern && m_backgroundColor == SMB_DEFAULT_COLOR) m_backgroundColor = GetSysColor(COLOR_WINDOW);
  if (m_backgroundColor != SMB_DEFAULT_COLOR) m_brush = CreateSolidBrush(m_backgroundColor);

  LoadTexts(text, caption);

  NONCLIENTMETRICSW ncm{};
  ncm.cbSize = offsetof(NONCLIENTMETRICSW, iPaddedBorderWidth);
  if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, ncm.cbSize, &ncm, 0))
    m_font = CreateFontIndirectW(&ncm.lfMessageFont);
  m_ownsFont = m_font != nullptr;
  if (!m_font) m_font = (HFONT)GetStockObject(DEFAULT_GUI_FONT);

  LoadIconImage();

  if (measure) {
    Layout(*measure);
  } else {
    CGdiMeasure gdi(m_font);
    Layout(gdi);
  }
}

CMsgBoxTemplate::~CMsgBoxTemplate() {
  if (m_icon && m_ownsIcon) DestroyIcon(m_icon);
  if (m_font && m_ownsFont) DeleteObject(m_font);
  if (m_brush) DeleteObject(m_brush);
  for (CMsgBoxItem* item : m_items) delete item;
}

void CMsgBoxTemplate::LoadTexts(LPCSTR text, LPCSTR caption) {
  HINSTANCE strings = m_params.stringsInstance;
  if (IS_INTRESOURCE(text)) {
    m_text = SmbLoadString(strings, (UINT)(ULONG_PTR)text, kMaxTextChars);
    m_textAnsi = FromWideText(m_text.c_str());
  } else {
    m_text = SmbWideText(text, kMaxTextChars);
    m_textAnsi = text;
  }
  if (IS_INTRESOURCE(caption))
    m_caption = SmbLoadString(strings, (UINT)(ULONG_PTR)caption, kMaxTextChars);
  else
    m_caption = SmbWideText(caption, kMaxTextChars);

  std::wstring custom = SmbLoadString(strings, m_params.customButtonsId, kMaxCustomChars);
  if (custom.empty())
    custom = SmbWideText(Bounded(m_params.customButtons, sizeof(m_params.customButtons)), kMaxCustomChars);
  m_customCaptions = SmbSplitCustomCaptions(custom);
  // "a\n" gives one caption, not an empty second one
  while (!m_customCaptions.empty() && m_customCaptions.back().empty()) m_customCaptions.pop_back();

  std::wstring report = SmbLoadString(strings, m_params.reportCaptionId, kMaxButtonChars);
  if (report.empty())
    report = SmbWideText(Bounded(m_params.reportCaption, sizeof(m_params.reportCaption)), kMaxButtonChars);
  bool reportSet = !report.empty();

  for (int i = 0; i < SMB_CAPTION_COUNT; ++i) m_captions[i] = kDefaultCaptions[i];
  if (reportSet) m_captions[CapReport] = report;
  if (m_params.useButtonCaptions) {
    for (int i = 0; i < SMB_CAPTION_COUNT; ++i) {
      if (i == CapReport && reportSet) continue;
      std::wstring c = SmbWideText(Bounded(m_params.buttonCaptions[i], MAX_PATH), kMaxButtonChars);
      if (!c.empty()) m_captions[i] = c;
    }
  } else if (!(m_style & SMB_NORESOURCE)) {
    for (int i = 0; i < SMB_CAPTION_COUNT; ++i) {
      if (i == CapReport && reportSet) continue;
      std::wstring c = SmbLoadString(strings, kCaptionStringIds[i], kMaxButtonChars);
      if (!c.empty()) m_captions[i] = c;
    }
  }
}

void CMsgBoxTemplate::LoadIconImage() {
  HINSTANCE instance = OrOwnModule(m_params.iconInstance);
  int cx = GetSystemMetrics(SM_CXICON), cy = GetSystemMetrics(SM_CYICON);
  if (m_params.iconId) {
    m_icon = (HICON)LoadImageW(instance, MAKEINTRESOURCEW(m_params.iconId & 0xFFFF), IMAGE_ICON, cx, cy, 0);
    m_ownsIcon = m_icon != nullptr;
    return;
  }
  CString name = Bounded(m_params.iconName, sizeof(m_params.iconName));
  if (!name.IsEmpty()) {
    m_icon = (HICON)LoadImageW(instance, ToWideText(name).c_str(), IMAGE_ICON, cx, cy, 0);
    m_ownsIcon = m_icon != nullptr;
    return;
  }
  LPCWSTR system = nullptr;
  switch (m_style & MB_ICONMASK) {
    case 0:
      break;
    case MB_ICONHAND:
      system = IDI_HAND;
      break;
    case MB_ICONQUESTION:
      system = IDI_QUESTION;
      break;
    case MB_ICONEXCLAMATION:
      system = IDI_EXCLAMATION;
      break;
    case MB_ICONASTERISK:
      system = IDI_ASTERISK;
      break;
    default:
      system = IDI_EXCLAMATION;
      break;
  }
  // the system's shared icons are not ours to destroy
  if (system) m_icon = LoadIconW(nullptr, system);
  m_ownsIcon = false;
}

UINT CMsgBoxTemplate::RememberBit() const {
  if (m_flags & FlagAsk) return SMB_REMEMBER_ASK;
  if (m_flags & FlagTell) return SMB_REMEMBER_TELL;
  if (m_flags & FlagShow) return SMB_REMEMBER_SHOW;
  return 0;
}

int CMsgBoxTemplate::ButtonWidth(const CMsgBoxMeasure& measure, const std::wstring& caption) const {
  return std::max(measure.TextWidth(caption) + 20, m_minButtonWidth) +
         (m_params.timeoutSeconds != 0 ? m_countdownExtra : 0);
}

void CMsgBoxTemplate::ToDialogUnits(CMsgBoxItem& item) const {
  const CRect& r = item.pixels;
  item.x = ToShort((long)r.left * 4 / m_baseX);
  item.y = ToShort((long)r.top * 8 / m_baseY);
  item.cx = ToShort((long)r.Width() * 4 / m_baseX);
  item.cy = ToShort((long)r.Height() * 8 / m_baseY);
}

void CMsgBoxTemplate::AddItem(CMsgBoxItem* item) {
  if ((int)m_items.size() >= kMaxItems) {
    delete item;
    return;
  }
  ToDialogUnits(*item);
  m_items.push_back(item);
}

CMsgBoxButtonSet CMsgBoxTemplate::ButtonSet(UINT style, int customButtons, bool report) {
  CMsgBoxButtonSet set;
  auto add = [&set](int caption, int id) { set.buttons.push_back({caption, id}); };
  if (customButtons > 0) {
    // the caller's captions replace the style's set, and neither Esc nor Close answers
    for (int i = 0; i < std::min(customButtons, kMaxCustomButtons); ++i) add(kCustomCaption, IDCUSTOM1 + i);
  } else {
    const UINT type = style & MB_TYPEMASK;
    switch (type) {
      case MB_OK:
        add(CapOk, IDOK);
        set.flags = FlagSingleOk;
        break;
      case MB_OKCANCEL:
        add(CapOk, IDOK);
        add(CapCancel, IDCANCEL);
        set.flags = FlagHasCancel;
        break;
      case MB_ABORTRETRYIGNORE:
        add(CapAbort, IDABORT);
        add(CapRetry, IDRETRY);
        add(CapIgnore, IDIGNORE);
        break;
      case MB_YESNOCANCEL:
      case MB_YESNO:
        add(CapYes, IDYES);
        if (style & SMB_YESTOALL) add(CapYesToAll, IDYESTOALL);
        add(CapNo, IDNO);
        if (style & SMB_NOTOALL) add(CapNoToAll, IDNOTOALL);
        if (type == MB_YESNOCANCEL) {
          add(CapCancel, IDCANCEL);
          set.flags = FlagHasCancel;
        }
        break;
      case MB_RETRYCANCEL:
        add(CapRetry, IDRETRY);
        add(CapCancel, IDCANCEL);
        set.flags = FlagHasCancel;
        break;
      case MB_CANCELTRYCONTINUE:
        add(CapCancel, IDCANCEL);
        add(CapTryAgain, IDTRYAGAIN);
        add(CapContinue, IDCONTINUE);
        set.flags = FlagHasCancel;
        break;
      case SMB_CONTINUEABORT:
        add(CapContinue, IDCONTINUE);
        add(CapAbort, IDABORT);
        break;
      case SMB_SKIPSKIPALLCANCEL:
        add(CapSkip, IDSKIP);
        add(CapSkipAll, IDSKIPALL);
        add(CapCancel, IDCANCEL);
        set.flags = FlagHasCancel;
        break;
      case SMB_IGNOREIGNOREALLCANCEL:
        add(CapIgnore, IDIGNORE);
        add(CapIgnoreAll, IDIGNOREALL);
        add(CapCancel, IDCANCEL);
        set.flags = FlagHasCancel;
        break;
      default:  // unused types: a plain OK box
        add(CapOk, IDOK);
        set.flags = FlagSingleOk;
        break;
    }
  }
  if (style & MB_HELP) add(CapHelp, SMB_ID_HELP);
  if (report) add(CapReport, SMB_ID_REPORT);
  return set;
}

int CMsgBoxTemplate::DefaultOrdinal(UINT style) {
  const UINT n = (style & MB_DEFMASK) >> 8;  // MB_DEFBUTTON1 is 0, MB_DEFBUTTON2 0x100, ...
  return n <= 5 ? (int)n + 1 : 1;
}

UINT CMsgBoxTemplate::RememberFlag(UINT style) {
  if (style & SMB_REMEMBER_ASK) return FlagAsk;
  if (style & SMB_REMEMBER_TELL) return FlagTell;
  if (style & SMB_REMEMBER_SHOW) return FlagShow;
  return 0;
}

const std::wstring& CMsgBoxTemplate::CaptionOf(const CMsgBoxButton& button) const {
  return button.caption == kCustomCaption ? m_customCaptions[button.id - IDCUSTOM1] : m_captions[button.caption];
}

void CMsgBoxTemplate::SetMetrics(const CMsgBoxMeasure& measure) {
  DWORD dbu = measure.DialogBaseUnits();
  m_baseX = LOWORD(dbu) > 0 ? LOWORD(dbu) : 8;
  m_baseY = HIWORD(dbu) > 0 ? HIWORD(dbu) : 16;
  m_minButtonWidth = MulDiv(kButtonWidthDlu, m_baseX, 4);
  m_buttonHeight = MulDiv(kButtonHeightDlu, m_baseY, 8);
  m_countdownExtra = MulDiv(kCountdownWidthDlu, m_baseX, 4);
  if (m_modern) {
    m_minButtonWidth += MulDiv(kModernExtraWidthDlu, m_baseX, 4);
    m_buttonHeight += MulDiv(kModernExtraHeightDlu, m_baseY, 8);
  }
  m_checkBoxHeight = MulDiv(kCheckBoxHeightDlu, m_baseY, 8);
  m_lineHeight = std::max(1, measure.LineHeight());
}

// The colours come with the background band: a text colour without one has no effect.
HBRUSH CMsgBoxTemplate::ColorStatic(HDC dc, bool messageText) const {
  if (!m_brush) return nullptr;
  SetBkColor(dc, m_backgroundColor);
  SetTextColor(dc, m_textColor != SMB_DEFAULT_COLOR ? m_textColor : GetSysColor(COLOR_WINDOWTEXT));
  return messageText ? m_brush : nullptr;
}

int CMsgBoxTemplate::TextWidthLimit(const CMsgBoxMeasure& measure) const {
  const int screenWidth = measure.ScreenWidth();
  int limit = m_modern ? screenWidth / 2 - 10 : screenWidth / 2 + 80;
  if (m_narrow) limit = screenWidth / 3;
  // Room for an icon the style asks for; the caller's own icon (iconId) takes none.
  if (m_style & MB_ICONMASK) limit -= measure.IconWidth() + 16;
  return std::max(limit, 40);
}

int CMsgBoxTemplate::LayOutMessage(const CMsgBoxMeasure& measure, CRect& box) {
  const int limit = TextWidthLimit(measure);
  CSize text = measure.WrappedText(m_text, limit);
  // A word longer than a line, or more lines than the screen holds, is clipped.
  const int textWidth = std::clamp<int>(text.cx, 0, limit);
  const int maxTextHeight = std::max(m_lineHeight, measure.ScreenHeight() * 2 / 3 / m_lineHeight * m_lineHeight);
  const int textHeight = std::clamp<int>(text.cy, 0, maxTextHeight);

  // 16 pixels in (32 from the top in the modern look), with room right of and under the text
  m_textRect = CRect(16, m_modern ? 32 : 16, textWidth + 12 + 16, textHeight + 5 + (m_modern ? 56 : 24));
  box = CRect(0, 0, m_textRect.Width() + (m_modern ? 32 : 16), 0);

  int iconBottom = 0;
  if (m_icon) {
    const int margin = m_modern ? 24 : 8;
    const int iconW = measure.IconWidth(), iconH = measure.IconHeight();
    m_textRect.OffsetRect(iconW + margin, 0);
    box.right = m_textRect.right + margin;
    CRect iconRect(margin, margin, margin + iconW + 2, margin + iconH + 2);
    AddItem(new CMsgBoxItem(CMsgBoxItem::Static, SMB_ID_ICON, iconRect, std::wstring()));
    iconBottom = iconRect.bottom;
    if (m_modern && textHeight > m_lineHeight) m_textRect.MoveToY(margin);
  }

  m_textId = m_nextTextId++;
  auto* textItem = new CMsgBoxItem(CMsgBoxItem::Static, m_textId, m_textRect, m_text);
  textItem->style |= SS_NOPREFIX;  // measured without prefixes: "&" stays an "&"
  AddItem(textItem);
  return iconBottom;
}

std::vector<int> CMsgBoxTemplate::ButtonWidths(const CMsgBoxMeasure& measure,
                                               const std::vector<CMsgBoxButton>& buttons) const {
  std::vector<int> widths;
  for (const CMsgBoxButton& b : buttons)
    widths.push_back(b.caption == kCustomCaption ? ButtonWidth(measure, CaptionOf(b)) : m_captionWidths[b.caption]);
  const int n = (int)widths.size();
  int rowWidth = kButtonGap * std::max(0, n - 1);
  for (int w : widths) rowWidth += w;
  // Very long captions: the row is narrowed to the screen, the captions are clipped.
  const int maxRow = measure.ScreenWidth() - 64;
  if (n > 0 && rowWidth > maxRow) {
    const int each = std::max(m_minButtonWidth, (maxRow - kButtonGap * (n - 1)) / n);
    for (int& w : widths) w = std::min(w, each);
  }
  return widths;
}

void CMsgBoxTemplate::LayOutButtons(const CMsgBoxMeasure& measure, const std::vector<CMsgBoxButton>& buttons, int top,
                                    CRect& box) {
  const std::vector<int> widths = ButtonWidths(measure, buttons);
  const int n = (int)buttons.size();
  int rowWidth = kButtonGap * std::max(0, n - 1);
  for (int w : widths) rowWidth += w;

  const bool hasCheckBox = (m_flags & (FlagAsk | FlagTell | FlagShow)) != 0;
  const int checkCaption = (m_flags & FlagAsk) ? CapDontAsk : (m_flags & FlagTell) ? CapDontTell : CapDontShow;
  const int checkWidth = m_checkBoxHeight + measure.TextWidth(m_captions[checkCaption]);

  box.bottom = top + m_buttonHeight + 12;
  box.right = std::max((int)box.right, rowWidth + 32);
  if (hasCheckBox && box.Width() < checkWidth) box.right = 16 + checkWidth;

  int x = m_rightButtons ? box.right - rowWidth - 16 : (box.Width() - rowWidth) / 2;
  const CRect row(x, top, x + rowWidth, top + m_buttonHeight);
  for (int i = 0; i < n; ++i) {
    const CMsgBoxButton& b = buttons[i];
    const bool isDefault = i + 1 == m_defaultOrdinal;
    if (isDefault) m_defaultId = b.id;
    AddItem(new CMsgBoxItem(CMsgBoxItem::Button, b.id, CRect(x, top, x + widths[i], top + m_buttonHeight), CaptionOf(b),
                            isDefault));
    x += widths[i] + kButtonGap;
    ++m_buttonCount;
  }

  int rowBottom = row.bottom;
  if (hasCheckBox) {
    const int y = top + m_buttonHeight + 12;
    CRect check(17, y, 17 + checkWidth, y + m_checkBoxHeight);
    AddItem(new CMsgBoxItem(CMsgBoxItem::CheckBox, SMB_ID_CHECKBOX, check, m_captions[checkCaption]));
    rowBottom = check.bottom;
    box.bottom = rowBottom + 8;
    if (box.Width() < checkWidth + 17) box.right = box.left + 17 + checkWidth;
  }
  if (rowBottom >= box.bottom) box.bottom = rowBottom + 16;
  if (box.right < row.right + 16) box.right = row.right + 16;
}

void CMsgBoxTemplate::Layout(const CMsgBoxMeasure& measure) {
  SetMetrics(measure);
  for (int i = 0; i < SMB_CAPTION_COUNT; ++i) m_captionWidths[i] = ButtonWidth(measure, m_captions[i]);
  m_dlgStyle = kDialogStyle | ((m_style & MB_SYSTEMMODAL) ? DS_SYSMODAL : 0);
  m_dlgExStyle = 0;

  CRect box;
  const int iconBottom = LayOutMessage(measure, box);

  const CMsgBoxButtonSet set = ButtonSet(m_style, (int)m_customCaptions.size(), m_params.reportCallback != nullptr);
  m_flags |= set.flags | RememberFlag(m_style);
  m_defaultOrdinal = DefaultOrdinal(m_style);
  if ((int)set.buttons.size() < m_defaultOrdinal) m_defaultOrdinal = 1;

  const int top = std::max(iconBottom, (int)m_textRect.bottom) + ((m_icon || m_brush) ? 14 : 5);
  LayOutButtons(measure, set.buttons, top, box);

  m_dialogRect = box;
  m_dlgX = m_dlgY = 0;
  m_dlgCx = ToShort((long)box.Width() * 4 / m_baseX);
  m_dlgCy = ToShort((long)box.Height() * 8 / m_baseY);
}

const CMsgBoxItem* CMsgBoxTemplate::FindItem(int id) const {
  for (const CMsgBoxItem* item : m_items)
    if (item->id == id) return item;
  return nullptr;
}

bool CMsgBoxTemplate::HasButton(int id) const {
  const CMsgBoxItem* item = FindItem(id);
  return item && item->kind == CMsgBoxItem::Button;
}

namespace {
size_t Align4(size_t n) { return (n + 3) & ~(size_t)3; }

class Writer {
 public:
  explicit Writer(std::vector<BYTE>& out) : m_out(out) {}
  void Word(WORD w) { Put(&w, 2); }
  void Dword(DWORD d) { Put(&d, 4); }
  void Text(const std::wstring& s) {
    Put(s.c_str(), s.size() * 2);
    Word(0);
  }
  void AlignTo4() { m_pos = Align4(m_pos); }
  size_t Pos() const { return m_pos; }

 private:
  void Put(const void* p, size_t n) {
    if (m_pos + n > m_out.size()) return;  // sized beforehand; never past the end
    memcpy(m_out.data() + m_pos, p, n);
    m_pos += n;
  }
  std::vector<BYTE>& m_out;
  size_t m_pos = 0;
};
}  // namespace

std::vector<BYTE> CMsgBoxTemplate::Serialize() const {
  std::wstring title = Cut(m_caption, kMaxCaptionChars);
  size_t size = Align4(2 * title.size() + 24);
  for (size_t i = 0; i < m_items.size(); ++i) {
    size_t item = 24 + 2 * (m_items[i]->text.size() + 1);
    size += i + 1 < m_items.size() ? Align4(item) : item;
  }
  std::vector<BYTE> out(size, 0);
  Writer w(out);
  w.Dword(m_dlgStyle);
  w.Dword(m_dlgExStyle);
  w.Word((WORD)m_items.size());
  w.Word((WORD)m_dlgX);
  w.Word((WORD)m_dlgY);
  w.Word((WORD)m_dlgCx);
  w.Word((WORD)m_dlgCy);
  w.Word(0);  // no menu
  w.Word(0);  // default class
  w.Text(title);
  for (const CMsgBoxItem* item : m_items) {
    w.AlignTo4();
    w.Dword(item->style);
    w.Dword(item->exStyle);
    w.Word((WORD)item->x);
    w.Word((WORD)item->y);
    w.Word((WORD)item->cx);
    w.Word((WORD)item->cy);
    w.Word(item->id);
    w.Word(0xFFFF);
    w.Word(item->ClassAtom());
    w.Text(item->text);
    w.Word(0);  // no creation data
  }
  return out;
}

HLOCAL CMsgBoxTemplate::CreateTemplateBlock() const {
  std::vector<BYTE> bytes = Serialize();
  HLOCAL block = LocalAlloc(LHND, bytes.size());
  if (!block) return nullptr;
  void* p = LocalLock(block);
  if (!p) {
    LocalFree(block);
    return nullptr;
  }
  memcpy(p, bytes.data(), bytes.size());
  LocalUnlock(block);
  return block;
}

}  // namespace orva::ui
