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

// One control of the box.
class CMsgBoxItem {
public:
    enum Kind : WORD { Button = 0x80, Edit = 0x81, Static = 0x82, CheckBox = 0x180 };
    static constexpr DWORD kButtonStyle = 0x50010000;
    static constexpr DWORD kCheckBoxStyle = 0x50010003;
    static constexpr DWORD kStaticStyle = 0x50000000;
    static constexpr DWORD kEditStyle = 0x50010004;

    CMsgBoxItem(Kind kind, int id, const CRect& pixels, const std::wstring& text, bool isDefault = false);
    virtual ~CMsgBoxItem() = default;

    // The class atom written into the template.
    WORD ClassAtom() const { return kind == CheckBox ? (WORD)Button : (WORD)kind; }

    Kind kind;
    DWORD style = 0;
    DWORD exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;   // dialog units
    WORD id = 0;
    CRect pixels;                          // as laid out
    std::wstring text;
};

// What the layout reads from the system; a test gives fixed numbers.
class CMsgBoxMeasure {
public:
    virtual ~CMsgBoxMeasure() = default;
    virtual int TextWidth(const std::wstring& text) const = 0;              // one line
    virtual CSize WrappedText(const std::wstring& text, int width) const = 0;   // word-wrapped
    virtual int LineHeight() const = 0;
    virtual DWORD DialogBaseUnits() const { return GetDialogBaseUnits(); }
    virtual int ScreenWidth() const { return GetSystemMetrics(SM_CXSCREEN); }
    virtual int ScreenHeight() const { return GetSystemMetrics(SM_CYSCREEN); }
    virtual int IconWidth() const { return GetSystemMetrics(SM_CXICON); }
    virtual int IconHeight() const { return GetSystemMetrics(SM_CYICON); }
};

class CMsgBoxTemplate {
public:
    // Caption indices.
    enum {
        CapAbort, CapCancel, CapContinue, CapDontAsk, CapDontTell, CapDontShow, CapHelp, CapIgnore,
        CapIgnoreAll, CapNo, CapNoToAll, CapOk, CapReport, CapRetry, CapSkip, CapSkipAll, CapTryAgain,
        CapYes, CapYesToAll
    };
    // Flag word.
    enum { FlagAsk = 1, FlagTell = 2, FlagShow = 4, FlagHasCancel = 8, FlagSingleOk = 16 };

    static constexpr int kMaxItems = 20;
    static constexpr int kMaxTextChars = 65535;
    static constexpr int kMaxCaptionChars = 1023;     // in the template's title
    static constexpr int kMaxButtonChars = 99;
    static constexpr int kMaxCustomChars = 259;
    static constexpr int kMaxCustomButtons = 4;

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
    CString m_textAnsi;           // as the caller gave it (for the Report callback)
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
    CRect m_dialogRect;           // pixels
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

private:
    void LoadTexts(LPCSTR text, LPCSTR caption);
    void LoadIconImage();
    void Layout(const CMsgBoxMeasure& measure);
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
