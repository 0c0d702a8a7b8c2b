// Restore steps handed off by the restore walkers: security of restored
// objects, and the links and junctions made once the walk is over.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "core/tav_entry.h"

namespace orva {

// Applies the stored owner, group and ACLs to path. False (with a message)
// when a text does not convert or the system refuses; the caller counts
// Security. Used for hard and symbolic links.
bool ApplySecurityDescriptor(const std::wstring& path, const SecurityBlock& sec);
// The same for files and directories; counts Security itself on failure.
void ApplyEntrySecurity(const std::wstring& path, const SecurityBlock& sec);
// ApplySecurityDescriptor for a symbolic link: set on the link itself,
// through a handle that does not follow it, never on what it points at.
bool ApplyLinkSecurity(const std::wstring& path, const SecurityBlock& sec);

// An entry's owner, group and DACL converted, to be set through a handle
// from any thread.
struct PreparedSecurity {
  uint32_t flags = 0;
  std::vector<uint8_t> owner, group, dacl;
};
// False when sec does not convert, holds a broken ACL or a SACL:
// ApplyEntrySecurity then does it and says what is wrong.
bool PrepareEntrySecurity(const SecurityBlock& sec, PreparedSecurity& prepared);
// Sets it through a handle opened with READ_CONTROL, WRITE_DAC and
// WRITE_OWNER; 0 or the system's error.
uint32_t SetPreparedSecurity(void* handle, PreparedSecurity& prepared);
// The message and Security count of an entry's refused security.
void ReportEntrySecurityFailure(const std::wstring& path, uint32_t error);

// Opens an object (access and CreateFileW flags) to set security on the
// object itself; returns its handle, or INVALID_HANDLE_VALUE with the last
// error set. Tests replace it to see what is asked for.
using SecurityObjectOpener = void* (*)(const std::wstring& systemPath, uint32_t access, uint32_t flags);
extern SecurityObjectOpener g_openSecurityObject;

// Writes command to "mklink_command.bat" in the current folder and runs it
// to its end. False when the batch could not be written or started; status
// then says why, else it is "FINISHED".
bool RunMklinkBatch(const std::wstring& command, std::wstring& status);

// Times, attributes and security of a junction, set on the junction itself.
void ApplyDirectoryMetadata(const std::wstring& path, const FindData& findData, const CTavLinkSecurity& sec);

// Each works through and empties its queue of Queues(); call them in this
// order once the walk is over.
void CreateJunctions();
void CreateDirectorySymlinks();
void CreateFileSymlinks();

}  // namespace orva
