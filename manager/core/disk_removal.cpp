#include "core/disk_removal.h"

#include <cctype>

#include "contracts/job_record_check.h"

namespace orva::manager {
namespace {

size_t LastSeparator(std::string_view path) { return path.find_last_of("\\/"); }

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::toupper((unsigned char)a[i]) != std::toupper((unsigned char)b[i])) return false;
  return true;
}

}  // namespace

bool IsChainIncrement(std::string_view imagePath, std::string_view name, std::string& resolved) {
  const size_t cut = LastSeparator(imagePath);
  if (cut == std::string_view::npos || name.empty()) return false;
  const std::string_view folder = imagePath.substr(0, cut);
  std::string_view file = imagePath.substr(cut + 1);
  const size_t dot = file.rfind('.');
  const std::string_view stem = dot == std::string_view::npos ? file : file.substr(0, dot);
  if (stem.empty()) return false;

  std::string_view base = name;
  const size_t nameCut = LastSeparator(name);
  if (nameCut != std::string_view::npos) {
    // A full name must sit in the image's folder itself, written the same way.
    if (!SameText(name.substr(0, nameCut), folder)) return false;
    base = name.substr(nameCut + 1);
  } else if (name.find(':') != std::string_view::npos) {
    return false;  // "X:name" names another drive's current folder
  }
  // "<stem>_NNNN.TAV"
  if (base.size() != stem.size() + 9) return false;
  if (!SameText(base.substr(0, stem.size()), stem) || base[stem.size()] != '_') return false;
  for (size_t i = stem.size() + 1; i < stem.size() + 5; ++i)
    if (!std::isdigit((unsigned char)base[i])) return false;
  if (!SameText(base.substr(stem.size() + 5), ".TAV")) return false;
  resolved = std::string(folder) + "\\" + std::string(base);
  return true;
}

ImageRemovalDecision DecideImageRemoval(std::string_view imagePath, ImageFileFound found) {
  ImageRemovalDecision d;
  if (found == ImageFileFound::kMissing) return d;  // nothing to delete; the job goes
  const std::string path(imagePath);
  const std::string nameProblem = service::ImagePathProblem(service::kFullBackup, imagePath);
  if (!nameProblem.empty()) {
    d.why = "The file \"" + path + "\" was not deleted and the job was kept: " + nameProblem + ".";
  } else if (found != ImageFileFound::kImage) {
    d.why = "The file \"" + path + "\" was not deleted and the job was kept: it is not a TAV image.";
  } else {
    d.deleteFiles = true;
    return d;
  }
  d.deleteJob = false;
  d.why += "\nRemove from Inventory removes the job without touching the file.";
  return d;
}

DiskRemovalPlan PlanImageRemoval(std::string_view imagePath, int jobType, const std::vector<std::string>& increments,
                                 const std::function<bool(const std::string&)>& exists) {
  DiskRemovalPlan plan;
  if (jobType < 300 || jobType > 303) return plan;
  const std::string image(imagePath);
  plan.remove.push_back(image);
  const char* const fullSuffixes[] = {"_a.log", ".tmp"};
  const char* const chainSuffixes[] = {"_a.log", "_i.log", "_u.log", "_d.log", ".tmp"};
  const bool chain = jobType != 300;
  const char* const* suffixes = chain ? chainSuffixes : fullSuffixes;
  const int count = chain ? 5 : 2;
  for (int i = 0; i < count; ++i) {
    const std::string companion = image + suffixes[i];
    if (exists(companion)) plan.remove.push_back(companion);
  }
  if (!chain) return plan;
  for (const std::string& name : increments) {
    std::string resolved;
    if (IsChainIncrement(imagePath, name, resolved))
      plan.remove.push_back(resolved);
    else
      plan.kept.push_back(name);
  }
  return plan;
}

}  // namespace orva::manager
