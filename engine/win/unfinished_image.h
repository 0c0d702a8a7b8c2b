// An image being written under a work name: unless the run marks it whole,
// leaving the scope closes it and removes it, so a failed or cancelled run
// leaves no half-written image behind.
#pragma once
#include <windows.h>

#include <string>

#include "core/file_stream.h"
#include "win/capture.h"

namespace orva {

class UnfinishedImage {
 public:
  UnfinishedImage(FileStream& image, std::wstring path) : image_(image), path_(std::move(path)) {}
  UnfinishedImage(const UnfinishedImage&) = delete;
  UnfinishedImage& operator=(const UnfinishedImage&) = delete;
  ~UnfinishedImage() {
    if (whole_) return;
    image_.Close();
    DeleteFileW(SystemPath(path_).c_str());
  }
  void MarkWhole() { whole_ = true; }

 private:
  FileStream& image_;
  const std::wstring path_;
  bool whole_ = false;
};

}  // namespace orva
