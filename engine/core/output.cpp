#include "core/output.h"

#include <cstdarg>
#include <cstdio>

#include "core/wide.h"

namespace orva {

namespace {
class StdoutSink : public OutputSink {
 public:
  void Console(const std::wstring& text) override {
    const std::string out = NarrowText(text);
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
