// The system's caption as the programs show and test it.
#pragma once
#include <functional>
#include <mutex>
#include <string>

namespace orva::platform {

// The WMI caption of Win32_OperatingSystem, a blank, then "[64bit]" or
// "[32bit]". When WMI fails the product name from the registry stands in;
// when that fails too, the "WMI ERROR\n..." text.
std::string QueryOsCaptionUncached();

// The caption, asked for once and then kept.
class CaptionCache {
 public:
  explicit CaptionCache(std::function<std::string()> query) : query_(std::move(query)) {}
  const std::string& Get() {
    std::call_once(once_, [this] { caption_ = query_(); });
    return caption_;
  }

 private:
  std::function<std::string()> query_;
  std::once_flag once_;
  std::string caption_;
};

// The process-wide cached caption.
const std::string& QueryOsCaption();

}  // namespace orva::platform
