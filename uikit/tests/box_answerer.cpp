#include "box_answerer.h"

#include "gui_test_support.h"

namespace {
struct Search {
  DWORD process;
  const std::vector<HWND>* skip;
  HWND found = nullptr;
  std::vector<HWND>* all = nullptr;
};

BOOL CALLBACK FindBox(HWND h, LPARAM lp) {
  auto* s = (Search*)lp;
  DWORD pid = 0;
  GetWindowThreadProcessId(h, &pid);
  wchar_t cls[64] = {};
  GetClassNameW(h, cls, 64);
  // A dialog class window with a button 1 or 2 or 6 (boxes), shown and enabled.
  if (pid == s->process && wcscmp(cls, L"#32770") == 0 && IsWindowVisible(h) && IsWindowEnabled(h) &&
      (GetDlgItem(h, IDOK) || GetDlgItem(h, IDCANCEL) || GetDlgItem(h, IDYES))) {
    if (s->all) {
      s->all->push_back(h);
      return TRUE;
    }
    for (HWND old : *s->skip)
      if (old == h) return TRUE;
    s->found = h;
    return FALSE;
  }
  return TRUE;
}

std::wstring TextOf(HWND h) {
  int n = GetWindowTextLengthW(h);
  std::wstring s((size_t)n + 1, L'\0');
  GetWindowTextW(h, s.data(), n + 1);
  s.resize(wcslen(s.c_str()));
  return s;
}

BOOL CALLBACK CollectTexts(HWND h, LPARAM lp) {
  auto* texts = (std::vector<std::wstring>*)lp;
  texts->push_back(TextOf(h));
  return TRUE;
}
}  // namespace

BoxAnswerer::BoxAnswerer(int button, int timeoutMs, std::wstring mustShow, std::string shot)
    : m_mustShow(std::move(mustShow)), m_shot(std::move(shot)) {
  // Dialogs already shown are not the box to answer.
  Search s{GetCurrentProcessId(), &m_existing};
  s.all = &m_existing;
  EnumWindows(FindBox, (LPARAM)&s);
  m_thread = std::thread(&BoxAnswerer::Run, this, button, timeoutMs, GetThreadDesktop(GetCurrentThreadId()));
}

BoxAnswerer::~BoxAnswerer() { Wait(); }

bool BoxAnswerer::Wait() {
  if (!m_joined) {
    m_thread.join();
    m_joined = true;
  }
  return m_boxes > 0;
}

bool BoxAnswerer::Saw(const std::wstring& text) const {
  for (const auto& t : m_texts)
    if (t.find(text) != std::wstring::npos) return true;
  return false;
}

void BoxAnswerer::Run(int button, int timeoutMs, HDESK desktop) {
  SetThreadDesktop(desktop);  // under Wine a new thread starts on the default desktop
  DWORD start = GetTickCount();
  while ((int)(GetTickCount() - start) < timeoutMs) {
    Search s{GetCurrentProcessId(), &m_existing};
    EnumWindows(FindBox, (LPARAM)&s);
    if (s.found) {
      Sleep(150);  // let the box finish its start-up
      std::vector<std::wstring> texts{TextOf(s.found)};
      EnumChildWindows(s.found, CollectTexts, (LPARAM)&texts);
      bool shows = m_mustShow.empty();
      for (const auto& t : texts)
        if (!m_mustShow.empty() && t.find(m_mustShow) != std::wstring::npos) shows = true;
      if (!shows) {
        m_existing.push_back(s.found);  // another box: someone else answers it
        continue;
      }
      m_texts = texts;
      if (!m_shot.empty()) m_shotShows = orva::ui::test::SaveScreenshotShowingSomething(s.found, m_shot);
      PostMessageW(s.found, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), (LPARAM)GetDlgItem(s.found, button));
      ++m_boxes;
      return;
    }
    Sleep(30);
  }
}
