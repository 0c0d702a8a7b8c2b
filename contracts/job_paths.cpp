// The path rules of job records: image paths, ISO staging folders and
// replication folders, all read the way Windows reads a path.
#include <cctype>
#include <vector>

#include "contracts/job_record_check.h"

namespace orva::service {
namespace {

// A full path as Windows resolves it: '/' read as '\', empty parts dropped,
// the dots and blanks that end a name dropped.
struct FullPath {
  std::string key;       // upper-cased parts joined by '\': "C:\A\B", "\\SERVER\SHARE\A"
  size_t parts = 0;      // root parts included
  size_t rootParts = 0;  // "C:" is one, "\\server\share" two
  std::string lastName;  // the last part as Windows keeps it, in its own case
};

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

bool IsDeviceName(std::string_view name) {
  const std::string base = Upper(name.substr(0, name.find('.')));
  std::string_view b = base;
  while (!b.empty() && b.back() == ' ') b.remove_suffix(1);
  if (b == "CON" || b == "PRN" || b == "AUX" || b == "NUL" || b == "CONIN$" || b == "CONOUT$") return true;
  return b.size() == 4 && (b.substr(0, 3) == "COM" || b.substr(0, 3) == "LPT") && b[3] >= '1' && b[3] <= '9';
}

// A name that may be the short (8.3) form of another: "PROGRA~1".
bool MayBeShortName(std::string_view name) {
  for (size_t i = name.find('~'); i != std::string_view::npos; i = name.find('~', i + 1))
    if (i + 1 < name.size() && std::isdigit(static_cast<unsigned char>(name[i + 1]))) return true;
  return false;
}

// False, with the reason, for anything but a full local or UNC path made of
// plain names. With `noShortNames` a name that may be a short form is
// refused too: it could name a guarded folder under another spelling.
bool ParseFullPath(std::string_view path, FullPath& out, std::string& why, bool noShortNames) {
  std::string text(path);
  for (char& c : text)
    if (c == '/') c = '\\';
  out = FullPath{};
  const bool unc = text.size() > 1 && text[0] == '\\' && text[1] == '\\';
  const bool drive = text.size() >= 2 && text[1] == ':' && std::isalpha(static_cast<unsigned char>(text[0])) &&
                     (text.size() == 2 || text[2] == '\\');
  if (!unc && !drive) {
    why = "is not a full path (X:\\... or \\\\server\\share\\...)";
    return false;
  }
  std::vector<std::string> parts;
  size_t at = unc ? 2 : 3;
  if (drive) parts.push_back(Upper(text.substr(0, 2)));
  while (at <= text.size()) {
    size_t end = text.find('\\', at);
    if (end == std::string::npos) end = text.size();
    std::string part = text.substr(at, end - at);
    const bool first = at == 2 && unc;
    at = end + 1;
    if (part.empty()) {
      if (first) break;  // "\\\..." has no server
      continue;
    }
    if (part.find_first_of(":*?\"<>|") != std::string::npos) {
      why = first ? "is a device or namespace path" : "holds a character that no file name may hold";
      return false;
    }
    while (!part.empty() && (part.back() == '.' || part.back() == ' ')) part.pop_back();
    if (part.empty()) {
      why = first ? "is a device or namespace path" : "holds a \".\" or \"..\" part";
      return false;
    }
    if (IsDeviceName(part)) {
      why = "names a device";
      return false;
    }
    if (noShortNames && MayBeShortName(part)) {
      why = "holds a name that may be a short name (" + part + ")";
      return false;
    }
    out.lastName = part;
    parts.push_back(Upper(part));
  }
  if (unc) {
    if (parts.size() < 2) {
      why = "is not a full path (\\\\server\\share\\...)";
      return false;
    }
    // An administrative share is a drive or the Windows folder of some
    // machine, maybe this one: read "\\host\C$\x" as "C:\x".
    const std::string share = parts[1];
    if (share == "ADMIN$" || share == "IPC$") {
      why = "lies on an administrative share";
      return false;
    }
    if (share.size() == 2 && share[1] == '$' && std::isalpha(static_cast<unsigned char>(share[0]))) {
      parts.erase(parts.begin());
      parts[0] = share.substr(0, 1) + ":";
    }
  }
  out.rootParts = parts[0].size() == 2 && parts[0][1] == ':' ? 1 : 2;
  out.parts = parts.size();
  for (size_t i = 0; i < parts.size(); ++i) out.key += (i == 0 ? (out.rootParts == 2 ? "\\\\" : "") : "\\") + parts[i];
  return true;
}

// `inner` is `outer` or lies below it.
bool Within(const std::string& inner, const std::string& outer) {
  return inner == outer ||
         (inner.size() > outer.size() && inner.compare(0, outer.size(), outer) == 0 && inner[outer.size()] == '\\');
}

bool EndsWithTav(std::string_view name) { return name.size() > 4 && Upper(name.substr(name.size() - 4)) == ".TAV"; }

}  // namespace

std::string FolderPercentProblem(std::string_view source, std::string_view target) {
  if (source.find('%') != std::string_view::npos) return "the source folder holds '%', which no job folder may hold";
  if (target.find('%') != std::string_view::npos) return "the target folder holds '%', which no job folder may hold";
  return {};
}

std::string BareDriveSourceProblem(std::string_view source) {
  if (source.size() == 2 && source[1] == ':' && std::isalpha(static_cast<unsigned char>(source[0])))
    return "the source folder " + std::string(source) + " is a bare drive; write " + std::string(source) +
           "\\ for its root";
  return {};
}

std::string LogFolderOf(std::string_view serviceFolder) {
  std::string folder(serviceFolder);
  while (!folder.empty() && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
  const size_t cut = folder.find_last_of("\\/");
  if (cut == std::string::npos) return {};
  return folder.substr(0, cut) + "\\Log";
}

std::string TargetLogFolderProblem(std::string_view target, std::string_view serviceFolder) {
  FullPath t, g;
  std::string why;
  if (!ParseFullPath(target, t, why, true)) return "the target folder " + why;
  const std::string log = LogFolderOf(serviceFolder);
  if (!ParseFullPath(log, g, why, false))
    return "the service's Log folder " + log + " that a target must keep clear of is not known";
  if (Within(t.key, g.key) || Within(g.key, t.key)) return "the target folder holds or lies in the folder " + log;
  return {};
}

std::string ShadowSourceProblem(int32_t jobType, std::string_view source) {
  if (jobType != kReplicationShadow) return {};
  const bool lettered = source.size() >= 3 && source[1] == ':' && std::isalpha(static_cast<unsigned char>(source[0])) &&
                        (source[2] == '\\' || source[2] == '/');
  if (!lettered)
    return "the source folder of a shadow replication lies on no lettered local volume (X:\\...): no snapshot can "
           "be made of it";
  return {};
}

std::string DriveLetterProblem(int32_t jobType, std::string_view driveLetter) {
  if (jobType < kFullBackup || (jobType > kDifferentialBackup && jobType != kIsoBackup)) return {};
  if (driveLetter.size() != 1 || !std::isalpha(static_cast<unsigned char>(driveLetter[0])) ||
      static_cast<unsigned char>(driveLetter[0]) > 0x7F)
    return "the driveLetter \"" + std::string(driveLetter) + "\" is not one letter A-Z";
  return {};
}

std::string ReplicationFoldersProblem(std::string_view source, std::string_view target, std::string_view windowsFolder,
                                      std::string_view serviceFolder) {
  FullPath s, t, g;
  std::string why = FolderPercentProblem(source, target);
  if (why.empty()) why = BareDriveSourceProblem(source);
  if (!why.empty()) return why;
  if (!ParseFullPath(source, s, why, true)) return "the source folder " + why;
  if (!ParseFullPath(target, t, why, true)) return "the target folder " + why;
  if (t.parts <= t.rootParts) return "the target folder is the root of a drive or share";
  if (Within(s.key, t.key) || Within(t.key, s.key))
    return "the source and target folders are the same or one lies in the other";
  for (const std::string_view guarded : {windowsFolder, serviceFolder}) {
    // A guard that cannot be read guards everything.
    if (!ParseFullPath(guarded, g, why, false))
      return "the folder " + std::string(guarded) + " that a target must keep clear of is not known";
    if (Within(t.key, g.key) || Within(g.key, t.key))
      return "the target folder holds or lies in the folder " + std::string(guarded);
  }
  return TargetLogFolderProblem(target, serviceFolder);
}

std::string IsoStagingRoot(std::string_view imagePath) {
  const size_t at = imagePath.find("ORVAPE\\IMAGE");
  return at == std::string_view::npos ? std::string() : std::string(imagePath.substr(0, at));
}

std::string ImagePathProblem(int32_t jobType, std::string_view imagePath) {
  if (jobType < kFullBackup || (jobType > kDifferentialBackup && jobType != kIsoBackup)) return {};
  FullPath p;
  std::string why;
  if (!ParseFullPath(imagePath, p, why, false)) return "the image path " + why;
  if (p.parts <= p.rootParts || !EndsWithTav(p.lastName))
    return "the image path does not name a file ending in \".TAV\"";
  return {};
}

std::string IsoStagingProblem(std::string_view imagePath, std::string_view windowsFolder,
                              std::string_view serviceFolder) {
  const std::string root = IsoStagingRoot(imagePath);
  const size_t after = root.size() + std::string_view("ORVAPE\\IMAGE").size();
  if (root.empty() || root.back() != '\\' || after >= imagePath.size() || imagePath[after] != '\\')
    return "the image path of an ISO backup must lie in an ORVAPE\\IMAGE folder";
  FullPath r, s;
  std::string why;
  if (!ParseFullPath(root, r, why, true)) return "the staging folder of the ISO backup " + why;
  if (!ParseFullPath(serviceFolder, s, why, false))
    return "the service folder " + std::string(serviceFolder) + " is not known";
  if (Within(s.key, r.key)) return "the staging folder of the ISO backup is the service folder or lies above it";
  // The staging tree is mirrored from the recovery tree and removed after
  // the run: the same rule as a replication target.
  std::string service(serviceFolder);
  while (!service.empty() && (service.back() == '\\' || service.back() == '/')) service.pop_back();
  const std::string problem =
      ReplicationFoldersProblem(service + "\\ORVAPE", root + "ORVAPE", windowsFolder, serviceFolder);
  if (!problem.empty()) return "the staging tree of the ISO backup cannot be used: " + problem;
  return {};
}

std::string JobPathsProblem(const JobRecord& record, std::string_view windowsFolder, std::string_view serviceFolder) {
  if (record.jobType == kReplication || record.jobType == kReplicationShadow) {
    std::string why = ReplicationFoldersProblem(FieldText(record.sourceFolder), FieldText(record.targetFolder),
                                                windowsFolder, serviceFolder);
    if (why.empty()) why = ShadowSourceProblem(record.jobType, FieldText(record.sourceFolder));
    return why;
  }
  std::string why = DriveLetterProblem(record.jobType, FieldText(record.driveLetter));
  if (why.empty()) why = ImagePathProblem(record.jobType, FieldText(record.imagePath));
  if (why.empty() && record.jobType == kIsoBackup)
    why = IsoStagingProblem(FieldText(record.imagePath), windowsFolder, serviceFolder);
  return why;
}

}  // namespace orva::service
