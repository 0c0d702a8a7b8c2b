#include "win/engine_main.h"

int wmain(int argc, wchar_t** argv) { return orva::EngineMain(argc, argv); }
