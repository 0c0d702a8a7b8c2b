// The message box's template without a display: the layout as arithmetic
// over a measure of fixed numbers, the button sets, and the template bytes.
#include <gtest/gtest.h>
#include <cstring>
#include <string>
#include <vector>
#include "message_box.h"
#include "msgbox_template.h"
#include "msgbox_template_reader.h"
#include "msgbox_test_resource.h"

using namespace orva::ui;

namespace {

const CString kKorean = SourceText(u8"백업 관리");  // "backup manager", in code page 949
const wchar_t kKoreanW[] = L"\uBC31\uC5C5 \uAD00\uB9AC";

// The string table of the tests, beside the program.
HMODULE TestStrings() {
  static HMODULE strings = [] {
    wchar_t dir[MAX_PATH];
    GetModuleFileNameW(nullptr, dir, MAX_PATH);
    *wcsrchr(dir, L'\\') = 0;
    return LoadLibraryW((std::wstring(dir) + L"\\msgbox_test_strings.dll").c_str());
  }();
  return strings;
}

class FixedMeasure : public CMsgBoxMeasure {
 public:
  int charWidth = 6, line = 13, screenW = 1280, screenH = 1024;
  mutable int lastLimit = 0;
  int TextWidth(const std::wstring& s) const override { return charWidth * (int)s.size(); }
  CSize WrappedText(const std::wstring& s, int width) const override {
    lastLimit = width;
    int lines = 0, widest = 0;
    size_t start = 0;
    while (true) {
      size_t end = s.find(L'\n', start);
      size_t len = (end == std::wstring::npos ? s.size() : end) - start;
      int w = charWidth * (int)len;
      if (w > width) {
        lines += (w + width - 1) / width;
        widest = width;
      } else {
        lines += 1;
        widest = std::max(widest, w);
      }
      if (end == std::wstring::npos) break;
      start = end + 1;
    }
    return CSize(widest, lines * line);
  }
  int LineHeight() const override { return line; }
  DWORD DialogBaseUnits() const override { return MAKELONG(8, 16); }
  int ScreenWidth() const override { return screenW; }
  int ScreenHeight() const override { return screenH; }
  int IconWidth() const override { return 32; }
  int IconHeight() const override { return 32; }
};

std::vector<const CMsgBoxItem*> Buttons(const CMsgBoxTemplate& t) {
  std::vector<const CMsgBoxItem*> out;
  for (const CMsgBoxItem* i : t.Items())
    if (i->kind == CMsgBoxItem::Button) out.push_back(i);
  return out;
}

MessageBoxParams Classic() {
  MessageBoxParams p;  // the look before the modern one
  return p;
}

}  // namespace

// --- layout arithmetic ---------------------------------------------------------

TEST(MsgBoxLayout, OneLineOkWithoutIconIsOneCentredMinimumButton) {
  FixedMeasure m;
  CMsgBoxTemplate t(nullptr, "Hello", "Orvanta", MB_OK, Classic(), &m);
  auto buttons = Buttons(t);
  ASSERT_EQ(buttons.size(), 1u);
  const CMsgBoxItem& ok = *buttons[0];
  EXPECT_EQ(ok.id, IDOK);
  EXPECT_EQ(ok.text, L"OK");
  EXPECT_EQ(ok.pixels.Width(), MulDiv(38, 8, 4));
  EXPECT_EQ(ok.pixels.Height(), MulDiv(12, 16, 8));
  EXPECT_EQ(ok.style, 0x50010000u | BS_DEFPUSHBUTTON);
  // text rectangle: (16, 16) and 30 + 12 wide, 13 + 5 + ... high
  EXPECT_EQ(t.m_textRect, CRect(16, 16, 16 + 30 + 12, 13 + 5 + 24));
  EXPECT_EQ(t.m_dialogRect.right, 76 + 32);
  EXPECT_EQ(ok.pixels.left, (t.m_dialogRect.Width() - ok.pixels.Width()) / 2);
  EXPECT_EQ(ok.pixels.top, t.m_textRect.bottom + 5);
  EXPECT_EQ(t.m_dialogRect.bottom, ok.pixels.bottom + 12);
  EXPECT_EQ(t.m_flags, (UINT)CMsgBoxTemplate::FlagSingleOk);
  EXPECT_EQ(t.m_dlgStyle, 0x90C80880u);
  EXPECT_EQ(t.m_dlgCx, t.m_dialogRect.Width() * 4 / 8);
  EXPECT_EQ(t.m_dlgCy, t.m_dialogRect.Height() * 8 / 16);
  // every control converted the same way
  for (const CMsgBoxItem* i : t.Items()) {
    EXPECT_EQ(i->x, i->pixels.left * 4 / 8);
    EXPECT_EQ(i->y, i->pixels.top * 8 / 16);
    EXPECT_EQ(i->cx, i->pixels.Width() * 4 / 8);
    EXPECT_EQ(i->cy, i->pixels.Height() * 8 / 16);
  }
  const CMsgBoxItem* text = t.FindItem(SMB_ID_TEXT);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(text->ClassAtom(), 0x82);
  EXPECT_EQ(text->style, 0x50000000u | SS_NOPREFIX);
}

TEST(MsgBoxLayout, DefaultButtonByStyleAndItsFallback) {
  FixedMeasure m;
  CMsgBoxTemplate no(nullptr, "?", "c", MB_YESNO | MB_DEFBUTTON2, Classic(), &m);
  EXPECT_EQ(no.m_defaultId, IDNO);
  auto b = Buttons(no);
  ASSERT_EQ(b.size(), 2u);
  EXPECT_EQ(b[0]->text, L"&Yes");
  EXPECT_EQ(b[1]->text, L"&No");
  EXPECT_FALSE(b[0]->style & BS_DEFPUSHBUTTON);
  EXPECT_TRUE(b[1]->style & BS_DEFPUSHBUTTON);
  EXPECT_EQ(no.m_flags, 0u);  // Esc does nothing, Close greyed

  CMsgBoxTemplate fallback(nullptr, "?", "c", MB_YESNO | MB_DEFBUTTON4, Classic(), &m);
  EXPECT_EQ(fallback.m_defaultId, IDYES);
  EXPECT_TRUE(Buttons(fallback)[0]->style & BS_DEFPUSHBUTTON);
}

TEST(MsgBoxLayout, ButtonSetsInRowOrder) {
  FixedMeasure m;
  struct Case {
    UINT style;
    std::vector<int> ids;
    UINT flags;
  } cases[] = {
      {MB_OK, {1}, CMsgBoxTemplate::FlagSingleOk},
      {MB_OKCANCEL, {1, 2}, CMsgBoxTemplate::FlagHasCancel},
      {MB_ABORTRETRYIGNORE, {3, 4, 5}, 0},
      {MB_YESNOCANCEL | SMB_YESTOALL | SMB_NOTOALL, {6, 19, 7, 20, 2}, CMsgBoxTemplate::FlagHasCancel},
      {MB_YESNO | SMB_NOTOALL, {6, 7, 20}, 0},
      {MB_RETRYCANCEL, {4, 2}, CMsgBoxTemplate::FlagHasCancel},
      {MB_CANCELTRYCONTINUE, {2, 10, 11}, CMsgBoxTemplate::FlagHasCancel},
      {SMB_CONTINUEABORT, {11, 3}, 0},
      {SMB_SKIPSKIPALLCANCEL, {14, 15, 2}, CMsgBoxTemplate::FlagHasCancel},
      {SMB_IGNOREIGNOREALLCANCEL, {5, 16, 2}, CMsgBoxTemplate::FlagHasCancel},
      {MB_OKCANCEL | SMB_YESTOALL, {1, 2}, CMsgBoxTemplate::FlagHasCancel},
      {12, {1}, CMsgBoxTemplate::FlagSingleOk},
      {MB_YESNO | MB_HELP, {6, 7, 300}, 0},
  };
  for (const Case& c : cases) {
    CMsgBoxTemplate t(nullptr, "text", "c", c.style, Classic(), &m);
    std::vector<int> ids;
    int lastLeft = -1;
    for (const CMsgBoxItem* b : Buttons(t)) {
      ids.push_back(b->id);
      EXPECT_GT(b->pixels.left, lastLeft);
      EXPECT_EQ(b->ClassAtom(), 0x80);
      lastLeft = b->pixels.left;
    }
    EXPECT_EQ(ids, c.ids) << std::hex << c.style;
    EXPECT_EQ(t.m_flags, c.flags) << std::hex << c.style;
    EXPECT_EQ(t.m_buttonCount, (int)c.ids.size());
    // six pixels between neighbours, the row inside the box
    auto b = Buttons(t);
    for (size_t i = 1; i < b.size(); ++i) EXPECT_EQ(b[i]->pixels.left, b[i - 1]->pixels.right + 6);
    EXPECT_LE(b.back()->pixels.right + 16, t.m_dialogRect.right);
  }
}

TEST(MsgBoxLayout, CustomCaptionsReplaceTheSetAndGiveNoEsc) {
  FixedMeasure m;
  MessageBoxParams p;
  strcpy(p.customButtons, "Backup\nRestore\nA much longer caption");
  CMsgBoxTemplate t(nullptr, "text", "c", MB_OKCANCEL, p, &m);
  auto b = Buttons(t);
  ASSERT_EQ(b.size(), 3u);
  EXPECT_EQ(b[0]->id, 23);
  EXPECT_EQ(b[1]->id, 24);
  EXPECT_EQ(b[2]->id, 25);
  EXPECT_EQ(b[2]->text, L"A much longer caption");
  EXPECT_EQ(b[2]->pixels.Width(), 6 * 21 + 20);
  EXPECT_EQ(b[0]->pixels.Width(), MulDiv(38, 8, 4));
  EXPECT_EQ(t.m_flags, 0u);

  strcpy(p.customButtons, "1\n2\n3\n4\n5\n6\n7\n8\n9\n10");
  CMsgBoxTemplate many(nullptr, "text", "c", MB_OK, p, &m);
  EXPECT_EQ(Buttons(many).size(), 4u);
  EXPECT_EQ(Buttons(many)[3]->id, 26);
}

TEST(MsgBoxLayout, CountdownWidensEveryButton) {
  FixedMeasure m;
  MessageBoxParams p;
  CMsgBoxTemplate plain(nullptr, "text", "c", MB_YESNOCANCEL, p, &m);
  p.timeoutSeconds = 5;
  CMsgBoxTemplate timed(nullptr, "text", "c", MB_YESNOCANCEL, p, &m);
  auto a = Buttons(plain), b = Buttons(timed);
  ASSERT_EQ(a.size(), b.size());
  for (size_t i = 0; i < a.size(); ++i) EXPECT_EQ(b[i]->pixels.Width(), a[i]->pixels.Width() + MulDiv(13, 8, 4));
}

TEST(MsgBoxLayout, LongCheckBoxCaptionWidensTheBox) {
  FixedMeasure m;
  MessageBoxParams p;
  p.useButtonCaptions = TRUE;
  std::string longCaption(80, 'x');
  strcpy(p.buttonCaptions[CMsgBoxTemplate::CapDontAsk], longCaption.c_str());
  CMsgBoxTemplate t(nullptr, "text", "c", MB_OK | SMB_REMEMBER_ASK, p, &m);
  const CMsgBoxItem* check = t.FindItem(SMB_ID_CHECKBOX);
  ASSERT_NE(check, nullptr);
  int cw = MulDiv(10, 16, 8) + 6 * 80;
  EXPECT_EQ(check->pixels, CRect(17, check->pixels.top, 17 + cw, check->pixels.top + MulDiv(10, 16, 8)));
  EXPECT_EQ(check->style, 0x50010003u);
  EXPECT_EQ(check->ClassAtom(), 0x80);
  EXPECT_EQ(check->text, std::wstring(80, L'x'));
  EXPECT_EQ(t.m_dialogRect.right, 17 + cw);
  EXPECT_EQ(t.m_dialogRect.bottom, check->pixels.bottom + 8);
  EXPECT_EQ(t.m_flags & 7, (UINT)CMsgBoxTemplate::FlagAsk);
  EXPECT_EQ(t.RememberBit(), SMB_REMEMBER_ASK);

  // the first of ASK, TELL, SHOW wins; the caption follows it
  CMsgBoxTemplate tell(nullptr, "t", "c", MB_OK | SMB_REMEMBER_TELL | SMB_REMEMBER_SHOW, MessageBoxParams(), &m);
  EXPECT_EQ(tell.FindItem(SMB_ID_CHECKBOX)->text, L"Don't tell me again");
  EXPECT_EQ(tell.RememberBit(), SMB_REMEMBER_TELL);
}

TEST(MsgBoxLayout, ModernLookIconAndNarrowText) {
  FixedMeasure m;
  MessageBoxParams p;
  p.options = SMB_OPT_MODERN;
  std::string text = "one line\nand another";
  CMsgBoxTemplate t(nullptr, text.c_str(), "c", MB_YESNO | MB_ICONQUESTION, p, &m);
  EXPECT_TRUE(t.m_rightButtons);
  EXPECT_NE(t.m_brush, nullptr);  // the window colour behind the text
  EXPECT_EQ(t.m_backgroundColor, GetSysColor(COLOR_WINDOW));
  EXPECT_EQ(t.m_minButtonWidth, MulDiv(38, 8, 4) + MulDiv(6, 8, 4));
  EXPECT_EQ(t.m_buttonHeight, MulDiv(12, 16, 8) + MulDiv(1, 16, 8));
  EXPECT_EQ(m.lastLimit, 1280 / 2 - 10 - 32 - 16);
  const CMsgBoxItem* icon = t.FindItem(SMB_ID_ICON);
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(icon->pixels, CRect(24, 24, 24 + 34, 24 + 34));
  // two lines: the text moves up to the icon's top
  EXPECT_EQ(t.m_textRect.top, 24);
  EXPECT_EQ(t.m_textRect.left, 16 + 32 + 24);
  auto b = Buttons(t);
  EXPECT_EQ(b.back()->pixels.right, t.m_dialogRect.right - 16);  // right-aligned
  EXPECT_EQ(b[0]->pixels.top, std::max(icon->pixels.bottom, t.m_textRect.bottom) + 14);

  // the classic look: margins of 8 around the icon, the row centred
  p.options = 0;
  CMsgBoxTemplate iconClassic(nullptr, "Hello", "c", MB_OKCANCEL | MB_ICONEXCLAMATION, p, &m);
  EXPECT_EQ(m.lastLimit, 1280 / 2 + 80 - 32 - 16);
  EXPECT_EQ(iconClassic.FindItem(SMB_ID_ICON)->pixels, CRect(8, 8, 8 + 34, 8 + 34));
  EXPECT_EQ(iconClassic.m_textRect, CRect(16 + 40, 16, 16 + 40 + 30 + 12, 13 + 5 + 24));
  auto c = Buttons(iconClassic);
  EXPECT_EQ(c[0]->pixels.top, std::max(42, (int)iconClassic.m_textRect.bottom) + 14);
  EXPECT_EQ(c[0]->pixels.left, (iconClassic.m_dialogRect.Width() - (c[1]->pixels.right - c[0]->pixels.left)) / 2);
  EXPECT_FALSE(iconClassic.m_rightButtons);

  p.options = SMB_OPT_NARROW;
  CMsgBoxTemplate narrow(nullptr, "x", "c", MB_OK, p, &m);
  EXPECT_EQ(m.lastLimit, 1280 / 3);
  p.options = 0;
  CMsgBoxTemplate classic(nullptr, "x", "c", MB_OK, p, &m);
  EXPECT_EQ(m.lastLimit, 1280 / 2 + 80);
  EXPECT_EQ(classic.m_brush, nullptr);
}

TEST(MsgBoxColours, TheTextColourTakesEffectOnlyWithABackgroundBrush) {
  FixedMeasure m;
  HDC dc = CreateCompatibleDC(nullptr);
  ASSERT_NE(dc, nullptr);
  const COLORREF red = RGB(200, 0, 0), band = RGB(255, 255, 200), untouched = RGB(1, 2, 3);
  MessageBoxParams p = Classic();
  p.textColor = red;
  CMsgBoxTemplate alone(nullptr, "x", "c", MB_OK, p, &m);
  ASSERT_EQ(alone.m_brush, nullptr);
  SetTextColor(dc, untouched);
  SetBkColor(dc, untouched);
  EXPECT_EQ(alone.ColorStatic(dc, true), nullptr);
  EXPECT_EQ(GetTextColor(dc), untouched);
  EXPECT_EQ(GetBkColor(dc), untouched);

  p.backgroundColor = band;
  CMsgBoxTemplate banded(nullptr, "x", "c", MB_OK, p, &m);
  ASSERT_NE(banded.m_brush, nullptr);
  EXPECT_EQ(banded.ColorStatic(dc, true), banded.m_brush);
  EXPECT_EQ(GetTextColor(dc), red);
  EXPECT_EQ(GetBkColor(dc), band);
  EXPECT_EQ(banded.ColorStatic(dc, false), nullptr);  // other statics keep the dialog's brush
  DeleteDC(dc);
}

TEST(MsgBoxLayout, HelpAndReportJoinTheRowAndCountForTheDefault) {
  FixedMeasure m;
  MessageBoxParams p;
  p.reportCallback = [](LPCSTR, DWORD) {};
  strcpy(p.reportCaption, "Send &report");
  CMsgBoxTemplate t(nullptr, "t", "c", MB_OK | MB_HELP | MB_DEFBUTTON3, p, &m);
  auto b = Buttons(t);
  ASSERT_EQ(b.size(), 3u);
  EXPECT_EQ(b[1]->id, SMB_ID_HELP);
  EXPECT_EQ(b[1]->text, L"&Help");
  EXPECT_EQ(b[2]->id, SMB_ID_REPORT);
  EXPECT_EQ(b[2]->text, L"Send &report");
  EXPECT_EQ(t.m_defaultId, SMB_ID_REPORT);
}

TEST(MsgBoxLayout, ButtonCaptionsFromTheCallerAndFromResources) {
  ASSERT_NE(TestStrings(), nullptr) << "msgbox_test_strings.dll is missing";
  FixedMeasure m;
  MessageBoxParams p;
  p.stringsInstance = TestStrings();
  CMsgBoxTemplate loaded(nullptr, "t", "c", MB_YESNO, p, &m);
  EXPECT_EQ(Buttons(loaded)[0]->text, L"&Oui");
  EXPECT_EQ(Buttons(loaded)[1]->text, L"&No");
  CMsgBoxTemplate noResource(nullptr, "t", "c", MB_YESNO | SMB_NORESOURCE, p, &m);
  EXPECT_EQ(Buttons(noResource)[0]->text, L"&Yes");

  p.useButtonCaptions = TRUE;
  strcpy(p.buttonCaptions[CMsgBoxTemplate::CapNo], kKorean);
  CMsgBoxTemplate own(nullptr, "t", "c", MB_YESNO, p, &m);
  EXPECT_EQ(Buttons(own)[0]->text, L"&Yes");  // the table is not read when the caller names captions
  EXPECT_EQ(Buttons(own)[1]->text, kKoreanW);

  // texts and captions by string id, custom captions by string id
  MessageBoxParams q;
  q.stringsInstance = TestStrings();
  q.customButtonsId = IDS_TEST_CUSTOM;
  strcpy(q.customButtons, "ignored");
  CMsgBoxTemplate ids(nullptr, MAKEINTRESOURCEA(IDS_TEST_TEXT), MAKEINTRESOURCEA(IDS_TEST_CAPTION), MB_OK, q, &m);
  EXPECT_EQ(ids.m_text, L"Text from the string table.");
  EXPECT_EQ(ids.m_caption, L"Caption from the string table");
  ASSERT_EQ(Buttons(ids).size(), 2u);
  EXPECT_EQ(Buttons(ids)[1]->text, L"Second");
  CMsgBoxTemplate missing(nullptr, MAKEINTRESOURCEA(4242), nullptr, MB_OK, q, &m);
  EXPECT_EQ(missing.m_text, L"");
}

// --- button sets ---------------------------------------------------------------

TEST(MsgBoxButtonSet, RowAndEscapeOfEveryStyle) {
  using T = CMsgBoxTemplate;
  const int custom = T::kCustomCaption;
  struct Case {
    UINT style;
    int customButtons;
    bool report;
    std::vector<CMsgBoxButton> row;
    UINT flags;
  } cases[] = {
      {MB_OK, 0, false, {{T::CapOk, IDOK}}, T::FlagSingleOk},
      {MB_OKCANCEL, 0, false, {{T::CapOk, IDOK}, {T::CapCancel, IDCANCEL}}, T::FlagHasCancel},
      {MB_ABORTRETRYIGNORE, 0, false, {{T::CapAbort, IDABORT}, {T::CapRetry, IDRETRY}, {T::CapIgnore, IDIGNORE}}, 0},
      {MB_YESNOCANCEL, 0, false, {{T::CapYes, IDYES}, {T::CapNo, IDNO}, {T::CapCancel, IDCANCEL}}, T::FlagHasCancel},
      {MB_YESNOCANCEL | SMB_YESTOALL | SMB_NOTOALL,
       0,
       false,
       {{T::CapYes, IDYES},
        {T::CapYesToAll, IDYESTOALL},
        {T::CapNo, IDNO},
        {T::CapNoToAll, IDNOTOALL},
        {T::CapCancel, IDCANCEL}},
       T::FlagHasCancel},
      {MB_YESNO, 0, false, {{T::CapYes, IDYES}, {T::CapNo, IDNO}}, 0},
      {MB_YESNO | SMB_YESTOALL, 0, false, {{T::CapYes, IDYES}, {T::CapYesToAll, IDYESTOALL}, {T::CapNo, IDNO}}, 0},
      {MB_RETRYCANCEL, 0, false, {{T::CapRetry, IDRETRY}, {T::CapCancel, IDCANCEL}}, T::FlagHasCancel},
      {MB_CANCELTRYCONTINUE,
       0,
       false,
       {{T::CapCancel, IDCANCEL}, {T::CapTryAgain, IDTRYAGAIN}, {T::CapContinue, IDCONTINUE}},
       T::FlagHasCancel},
      {SMB_CONTINUEABORT, 0, false, {{T::CapContinue, IDCONTINUE}, {T::CapAbort, IDABORT}}, 0},
      {SMB_SKIPSKIPALLCANCEL,
       0,
       false,
       {{T::CapSkip, IDSKIP}, {T::CapSkipAll, IDSKIPALL}, {T::CapCancel, IDCANCEL}},
       T::FlagHasCancel},
      {SMB_IGNOREIGNOREALLCANCEL,
       0,
       false,
       {{T::CapIgnore, IDIGNORE}, {T::CapIgnoreAll, IDIGNOREALL}, {T::CapCancel, IDCANCEL}},
       T::FlagHasCancel},
      // the to-all bits belong to the Yes/No sets only
      {MB_OKCANCEL | SMB_YESTOALL | SMB_NOTOALL,
       0,
       false,
       {{T::CapOk, IDOK}, {T::CapCancel, IDCANCEL}},
       T::FlagHasCancel},
      // unused types are a plain OK box
      {10, 0, false, {{T::CapOk, IDOK}}, T::FlagSingleOk},
      {15, 0, false, {{T::CapOk, IDOK}}, T::FlagSingleOk},
      // Help and Report close the row, Help first
      {MB_YESNO | MB_HELP,
       0,
       true,
       {{T::CapYes, IDYES}, {T::CapNo, IDNO}, {T::CapHelp, SMB_ID_HELP}, {T::CapReport, SMB_ID_REPORT}},
       0},
      {MB_OK, 0, true, {{T::CapOk, IDOK}, {T::CapReport, SMB_ID_REPORT}}, T::FlagSingleOk},
      // the caller's captions replace the set: no Esc and no Close, at most four
      {MB_OKCANCEL, 2, false, {{custom, IDCUSTOM1}, {custom, IDCUSTOM2}}, 0},
      {MB_OK | MB_HELP,
       9,
       true,
       {{custom, IDCUSTOM1},
        {custom, IDCUSTOM2},
        {custom, IDCUSTOM3},
        {custom, IDCUSTOM4},
        {T::CapHelp, SMB_ID_HELP},
        {T::CapReport, SMB_ID_REPORT}},
       0},
  };
  for (const Case& c : cases) {
    CMsgBoxButtonSet set = T::ButtonSet(c.style, c.customButtons, c.report);
    EXPECT_EQ(set.buttons, c.row) << std::hex << c.style << " custom " << c.customButtons;
    EXPECT_EQ(set.flags, c.flags) << std::hex << c.style << " custom " << c.customButtons;
  }
}

TEST(MsgBoxButtonSet, DefaultButtonAndRememberBitsOfAStyle) {
  struct Case {
    UINT style;
    int ordinal;
    UINT remember;
  } cases[] = {
      {MB_OK, 1, 0},
      {MB_DEFBUTTON2 | SMB_REMEMBER_ASK, 2, CMsgBoxTemplate::FlagAsk},
      {MB_DEFBUTTON3 | SMB_REMEMBER_TELL, 3, CMsgBoxTemplate::FlagTell},
      {MB_DEFBUTTON4 | SMB_REMEMBER_SHOW, 4, CMsgBoxTemplate::FlagShow},
      {0x400 | SMB_REMEMBER_MASK, 5, CMsgBoxTemplate::FlagAsk},
      {0x500 | SMB_REMEMBER_TELL | SMB_REMEMBER_SHOW, 6, CMsgBoxTemplate::FlagTell},
      {0x600, 1, 0},
      {0xF00 | MB_YESNOCANCEL, 1, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CMsgBoxTemplate::DefaultOrdinal(c.style), c.ordinal) << std::hex << c.style;
    EXPECT_EQ(CMsgBoxTemplate::RememberFlag(c.style), c.remember) << std::hex << c.style;
  }
}

// --- template bytes ------------------------------------------------------------

TEST(MsgBoxTemplateBytes, HeaderItemsAlignmentAndStrings) {
  FixedMeasure m;
  MessageBoxParams p;
  p.reportCallback = [](LPCSTR, DWORD) {};
  std::string caption = std::string("Orvanta ") + kKorean.GetString();
  CMsgBoxTemplate t(nullptr, "Message text", caption.c_str(),
                    MB_YESNOCANCEL | MB_ICONQUESTION | MB_SYSTEMMODAL | SMB_REMEMBER_SHOW | MB_HELP, p, &m);
  std::vector<BYTE> bytes = t.Serialize();
  ReadTemplate r;
  ASSERT_TRUE(Parse(bytes, r));
  EXPECT_EQ(r.style, 0x90C80880u | DS_SYSMODAL);
  EXPECT_EQ(r.exStyle, 0u);
  EXPECT_EQ(r.count, t.Items().size());
  EXPECT_EQ(r.count, 2 + 3 + 2 + 1);  // icon, text, buttons, Help, Report, check box
  EXPECT_EQ(r.x, 0);
  EXPECT_EQ(r.y, 0);
  EXPECT_EQ(r.cx, t.m_dlgCx);
  EXPECT_EQ(r.cy, t.m_dlgCy);
  EXPECT_EQ(r.title, std::wstring(L"Orvanta ") + kKoreanW);
  // the exact size: header and every item but the last rounded up to four bytes
  size_t size = Align4(24 + 2 * r.title.size());
  for (size_t i = 0; i < t.Items().size(); ++i) {
    size_t item = 24 + 2 * (t.Items()[i]->text.size() + 1);
    size += i + 1 < t.Items().size() ? Align4(item) : item;
  }
  EXPECT_EQ(bytes.size(), size);
  EXPECT_EQ(r.end, bytes.size());
  ASSERT_EQ(r.items.size(), t.Items().size());
  for (size_t i = 0; i < r.items.size(); ++i) {
    const CMsgBoxItem& want = *t.Items()[i];
    const ReadItem& got = r.items[i];
    EXPECT_EQ(got.offset % 4, 0u);
    EXPECT_EQ(got.style, want.style);
    EXPECT_EQ(got.exStyle, 0u);
    EXPECT_EQ(got.x, want.x);
    EXPECT_EQ(got.y, want.y);
    EXPECT_EQ(got.cx, want.cx);
    EXPECT_EQ(got.cy, want.cy);
    EXPECT_EQ(got.id, want.id);
    EXPECT_EQ(got.atom, want.ClassAtom());
    EXPECT_EQ(got.text, want.text);
  }
  EXPECT_EQ(r.items[0].id, SMB_ID_ICON);
  EXPECT_EQ(r.items[0].text, L"");
  EXPECT_EQ(r.items[1].id, SMB_ID_TEXT);
  EXPECT_EQ(r.items[1].text, L"Message text");
  EXPECT_EQ(r.items.back().id, SMB_ID_CHECKBOX);
  EXPECT_EQ(r.items.back().text, L"Don't show again");
  EXPECT_EQ(r.items.back().atom, 0x80);

  // the same bytes in a movable local block
  HLOCAL block = t.CreateTemplateBlock();
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(LocalSize(block), bytes.size());
  EXPECT_EQ(memcmp(LocalLock(block), bytes.data(), bytes.size()), 0);
  LocalUnlock(block);
  LocalFree(block);
}

TEST(MsgBoxTemplateBytes, OverlongTextsAreCutAndNothingOverruns) {
  FixedMeasure m;
  MessageBoxParams p;
  // fixed fields without their terminating NUL
  memset(p.customButtons, 'c', sizeof(p.customButtons));
  memset(p.reportCaption, 'r', sizeof(p.reportCaption));
  memset(p.iconName, 'i', sizeof(p.iconName));
  memset(p.settingsSubKey, 's', sizeof(p.settingsSubKey));
  p.useButtonCaptions = TRUE;
  for (auto& c : p.buttonCaptions) memset(c, 'b', sizeof(c));
  p.reportCallback = [](LPCSTR, DWORD) {};
  std::string caption(5000, 'C');
  std::string text(200000, 'T');
  CMsgBoxTemplate t(nullptr, text.c_str(), caption.c_str(), MB_OK | SMB_REMEMBER_ASK | MB_HELP, p, &m);
  EXPECT_EQ(t.m_text.size(), 65535u);
  EXPECT_EQ(t.m_caption.size(), 5000u);
  EXPECT_EQ(t.m_customCaptions.size(), 1u);
  EXPECT_EQ(t.m_customCaptions[0].size(), 99u);  // 259 characters, then 99 per button
  EXPECT_EQ(t.m_captions[CMsgBoxTemplate::CapReport], std::wstring(99, L'r'));
  EXPECT_EQ(t.m_captions[CMsgBoxTemplate::CapHelp], std::wstring(99, L'b'));
  EXPECT_EQ(t.m_icon, nullptr);
  std::vector<BYTE> bytes = t.Serialize();
  ReadTemplate r;
  ASSERT_TRUE(Parse(bytes, r));
  EXPECT_EQ(r.title, std::wstring(1023, L'C'));
  EXPECT_EQ(r.end, bytes.size());
  // a box wider and taller than the screen is not made
  EXPECT_LE(t.m_dialogRect.Width(), m.screenW);
  EXPECT_LE(t.m_dialogRect.Height(), m.screenH);
  EXPECT_GT(r.cx, 0);
  EXPECT_GT(r.cy, 0);
}
