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
std::function<void()> g_catchUp;
OutputSink* g_catchUpSink = nullptr;
bool g_catchingUp = false;
}  // namespace

void SetOutputSink(OutputSink* sink) { g_sink = sink ? sink : &g_defaultSink; }

OutputSink& Output() {
  if (g_catchUp && !g_catchingUp && g_sink == g_catchUpSink) {
    struct Running {
      Running() { g_catchingUp = true; }
      ~Running() { g_catchingUp = false; }
    } running;
    g_catchUp();
  }
  return *g_sink;
}

void SetOutputCatchUp(std::function<void()> catchUp) {
  g_catchUp = std::move(catchUp);
  g_catchUpSink = g_sink;
}

std::wstring ErrorPair(long code, const wchar_t* separator) {
  return Fmt(L"%ld%ls%ls", code, separator, SystemErrorText(code).c_str());
}

void PrintMessage(bool toLog, bool toConsole, const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  std::wstring text = VFmt(format, args);
  va_end(args);
  if (toLog) Output().Log(text);
  if (toConsole) Output().Console(text);
}

}  // namespace orva
