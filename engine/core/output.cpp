#include "core/output.h"

#include <cstdarg>
#include <cstdio>
#include <cwchar>

#include "core/wide.h"

namespace orva {

namespace {
class StdoutSink : public OutputSink {
 public:
  void Console(const std::wstring& text) override {
    std::mbstate_t st{};
    std::string out;
    for (wchar_t c : text) {
      char buf[8];
      size_t n = std::wcrtomb(buf, c, &st);
      if (n == static_cast<size_t>(-1)) {
        out.push_back('?');
        st = std::mbstate_t{};
      } else {
        out.append(buf, n);
      }
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);
  }
  void Log(const std::wstring&) override {}
};

StdoutSink g_defaultSink;
OutputSink* g_sink = &g_defaultSink;
}  // namespace

void SetOutputSink(OutputSink* sink) { g_sink = sink ? sink : &g_defaultSink; }
OutputSink& Output() { return *g_sink; }

void PrintMessage(bool toLog, bool toConsole, const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  std::wstring text = VFmt(format, args);
  va_end(args);
  if (toLog) g_sink->Log(text);
  if (toConsole) g_sink->Console(text);
}

}  // namespace orva
