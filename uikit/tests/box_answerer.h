// Answers the next message box of this process from a second thread: waits
// for a shown dialog-class window, keeps its texts and presses a button.
#pragma once
#include <windows.h>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

class BoxAnswerer {
 public:
  // `button`: the command sent to the box (IDOK, IDYES, ...).
  // `mustShow`: answer only a box with a control text holding it.
  // `shot`: first save a picture of the box under this name (screenshots/).
  explicit BoxAnswerer(int button = IDOK, int timeoutMs = 10000, std::wstring mustShow = std::wstring(),
                       std::string shot = std::string());
  ~BoxAnswerer();
  BoxAnswerer(const BoxAnswerer&) = delete;
  BoxAnswerer& operator=(const BoxAnswerer&) = delete;
  // Waits for the thread; true when a box was found and answered.
  bool Wait();
  // Every text of the box (caption first, then its controls).
  const std::vector<std::wstring>& Texts() const { return m_texts; }
  bool Saw(const std::wstring& text) const;
  int Boxes() const { return m_boxes; }
  // The picture asked for shows more than one colour.
  bool ShotShowsSomething() const { return m_shotShows; }

 private:
  void Run(int button, int timeoutMs, HDESK desktop);
  std::wstring m_mustShow;
  std::string m_shot;
  bool m_shotShows = false;
  std::thread m_thread;
  std::vector<std::wstring> m_texts;
  std::vector<HWND> m_existing;
  std::atomic<int> m_boxes{0};
  bool m_joined = false;
};
