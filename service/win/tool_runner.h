// Running the outside tools (engine, shadow-copy tool, robocopy, OSCDIMG)
// through a hidden command interpreter, with a time limit and a cancel check,
// and building their command lines safely.
#pragma once
#include <chrono>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace orva::service {

enum class RunStatus {
  kEnded,       // the command ended by itself
  kTimedOut,    // the time limit passed: the command and its children were ended
  kCancelled,   // the cancel check said so: the command and its children were ended
  kNotStarted,  // the interpreter could not be started
};

struct RunResult {
  RunStatus status = RunStatus::kNotStarted;
  uint32_t exitCode = 0;       // only meaningful for kEnded; the callers judge by text output
  bool treeContained = false;  // the process tree ran inside a job object
};

// Asked about twice a second while a command runs; true ends it.
using CancelCheck = std::function<bool()>;

// Runs "cmd.exe" with `parameters` (which begin with "/c"), hidden, and waits
// at most `timeout`. The interpreter runs in a job object that ends every
// process of the tree when the time passes, on cancel, and when the runner
// lets go of it (a tool left behind by the command is ended too).
// `started` gets the interpreter's process id once it runs.
RunResult RunHiddenCommand(const std::string& parameters, std::chrono::milliseconds timeout,
                           const CancelCheck& cancel = {}, const std::function<void(uint32_t)>& started = {});

// One piece of a command line: a field, which is checked and quoted, or a
// fixed token written by our own code (e.g. ">", "/c", "%SHADOW_DEVICE_1%\"),
// which goes in as it is.
struct CmdPiece {
  std::string_view text;
  bool fixed = false;
};
inline CmdPiece Field(std::string_view text) { return {text, false}; }
inline CmdPiece Fixed(std::string_view text) { return {text, true}; }

// Why a field was refused: it holds '"', '%', a line end or a NUL, which
// would end the quoting or be expanded by the interpreter.
bool IsSafeField(std::string_view field);

// The field in double quotes; backslashes before the closing quote are
// doubled so that a program's argument parser does not read \" as a quote.
// Empty when the field is not safe.
std::string QuoteField(std::string_view field);

// The pieces joined by blanks, each field quoted. Returns false, with the
// refused field in `refused`, when a field is not safe; `line` is then empty.
bool BuildCommandLine(std::initializer_list<CmdPiece> pieces, std::string& line, std::string* refused = nullptr);
bool BuildCommandLine(const std::vector<CmdPiece>& pieces, std::string& line, std::string* refused = nullptr);

// Parameters for RunHiddenCommand: "/c \"<command line>\"". The outer quotes
// are taken off by the interpreter, the inner ones stay.
bool BuildCmdParameters(std::initializer_list<CmdPiece> pieces, std::string& parameters,
                        std::string* refused = nullptr);
bool BuildCmdParameters(const std::vector<CmdPiece>& pieces, std::string& parameters, std::string* refused = nullptr);

}  // namespace orva::service
