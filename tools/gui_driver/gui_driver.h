// Helpers of the test programs that drive a GUI program from outside, by
// messages to the windows of its process.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <string>

namespace orva::gui_driver {

// Memory in the process that owns a window: tree and list messages that
// carry pointers are answered there.
class Remote {
 public:
  explicit Remote(HWND window, SIZE_T size = 16384);
  ~Remote();
  Remote(const Remote&) = delete;
  Remote& operator=(const Remote&) = delete;

  bool ok() const { return at_ != nullptr; }
  // The address in the other process of `offset` in the block.
  void* at(SIZE_T offset = 0) const { return at_ + offset; }
  bool Put(const void* data, SIZE_T n, SIZE_T offset = 0) const;
  // Reads from any address of the other process.
  bool Read(const void* from, void* to, SIZE_T n) const;
  bool Get(SIZE_T offset, void* to, SIZE_T n) const { return offset + n <= size_ && Read(at_ + offset, to, n); }

 private:
  HANDLE process_ = nullptr;
  char* at_ = nullptr;
  SIZE_T size_;
};

// Where texts go in a Remote block, after the item that points to them.
constexpr SIZE_T kTextAt = 1024;
constexpr int kTextChars = 2000;

std::string Utf8(const std::wstring& text);

// A window's text, also of a window of another process.
std::wstring TextOf(HWND h);

// The longest static text of a window: a message box's message.
std::wstring LongestStatic(HWND box);

// One cell of a list of another process: its text, and with LVIF_IMAGE,
// LVIF_STATE or LVIF_PARAM in `mask` the row's values of them.
std::wstring Cell(HWND list, const Remote& remote, int row, int column, UINT mask = 0, LVITEMW* got = nullptr);

// Waits up to `ms` until the window is gone or hidden; false if it stays.
bool WaitGone(HWND h, int ms);

// The window as the screen shows it now, frame included, as a 24-bit BMP.
bool SaveWindowPicture(HWND h, const std::wstring& file);

}  // namespace orva::gui_driver
