// The system calls the portable engine code makes, behind one set of
// functions: win/platform_win.cpp on Windows, core/platform_posix.cpp for the
// native build. (EncodeConsoleText, SystemErrorText and LastSystemError, in
// run_log.h and output.h, and OpenPositionalReader in inflate_pool.h, live
// in the same two files.)
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

namespace orva {

// The runtime's secure wide open: the file is not shared while open.
std::FILE* OpenFile(const std::wstring& path, const std::wstring& mode);
// Create ("wb") or append ("ab"), shared with every other reader and writer.
std::FILE* OpenSharedFile(const std::wstring& path, bool append);
// 64-bit positions; origin is SEEK_SET, SEEK_CUR or SEEK_END. 0 on success.
int SeekFile(std::FILE* file, int64_t offset, int origin);
int64_t TellFile(std::FILE* file);  // -1 on failure
// The system error of the runtime's last failed write, flush or close on
// this thread, as the runtime kept it (the thread's last-error value may be
// gone by the time the call returns). A write that moved fewer bytes than
// asked with no error given means a full disk, as the runtime itself takes
// it. ClearFileError forgets the last one before a call.
long FileWriteError();
void ClearFileError();
// Removes a closed file; false when it could not be removed.
bool RemoveFileByName(const std::wstring& path);

}  // namespace orva
