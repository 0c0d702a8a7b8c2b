#include "win/engine_output.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "core/output.h"
#include "core/run_log.h"

namespace orva {

namespace {
class EngineSink : public OutputSink {
 public:
  void Console(const std::wstring& text) override {
    std::string bytes = EncodeConsoleText(text);
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    std::fflush(stdout);
  }
  void Log(const std::wstring& text) override { RunLog().WriteLine(text); }
};
}  // namespace

void InstallEngineOutput() {
  static EngineSink sink;
  _setmode(_fileno(stdout), _O_BINARY);
  // Buffered, flushed after each message: an unbuffered stream goes out a
  // byte a system call.
  std::setvbuf(stdout, nullptr, _IOFBF, 4096);
  SetOutputSink(&sink);
}

}  // namespace orva
