#include "streaming/control_url.h"

#include <strings.h>

namespace strevana {

std::string resolveControlUrl(std::string_view base, std::string_view control) {
  constexpr std::string_view kScheme = "rtsp://";
  if (control.size() >= kScheme.size() &&
      ::strncasecmp(control.data(), kScheme.data(), kScheme.size()) == 0) {
    return std::string(control);
  }
  if (control == "*") return std::string(base);
  std::string url(base);
  url.append(control);
  return url;
}

}  // namespace strevana
