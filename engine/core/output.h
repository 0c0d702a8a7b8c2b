// Where the engine's messages go: the console and the run log. The program
// installs its sink at start-up; tests install one that records.
#pragma once
#include <functional>
#include <string>

namespace orva {

class OutputSink {
 public:
  virtual ~OutputSink() = default;
  virtual void Console(const std::wstring& text) = 0;
  virtual void Log(const std::wstring& text) = 0;
};

// Null restores the default sink (console only).
void SetOutputSink(OutputSink* sink);
// The sink, once the catch-up (if any) has run.
OutputSink& Output();

// Work left behind whose messages must come before any later one: while a
// catch-up is set, every message to the sink that was current when it was
// set first runs it (not recursively, and not while another sink, such as
// a quiet one, is in place). Null removes it.
void SetOutputCatchUp(std::function<void()> catchUp);

inline void SayConsole(const std::wstring& text) { Output().Console(text); }
inline void SayLog(const std::wstring& text) { Output().Log(text); }
// The usual message: console first, then the run log.
inline void Say(const std::wstring& text) {
  Output().Console(text);
  Output().Log(text);
}
// Run log first when toLog, then the console when toConsole.
void PrintMessage(bool toLog, bool toConsole, const wchar_t* format, ...);

}  // namespace orva

namespace orva {
// The system's message text for a Windows error code (neutral language),
// unchanged, with its trailing line break; empty when there is none.
std::wstring SystemErrorText(long code);
// The calling thread's last system error code.
long LastSystemError();
// A system error as the messages show it: the number, the separator and
// the system's text.
std::wstring ErrorPair(long code, const wchar_t* separator = L", ");
}  // namespace orva
