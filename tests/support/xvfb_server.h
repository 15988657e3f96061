#pragma once
// XvfbServer: a private X server for tests that need a real display. Xvfb
// picks a free display number itself (-displayfd) and says it once it
// accepts connections; the server is ended by its process id, and waited
// for, when the object goes.
#include <sys/types.h>

#include <string>
#include <vector>

namespace strevana::testing {

class XvfbServer {
 public:
  XvfbServer() = default;
  ~XvfbServer();
  XvfbServer(const XvfbServer&) = delete;
  XvfbServer& operator=(const XvfbServer&) = delete;

  // Starts Xvfb with one screen of width x height x 24 bits, and the extra
  // arguments given; false (and why, in error()) when it cannot, within a
  // few seconds.
  bool start(int width, int height, const std::vector<std::string>& extra = {});
  void stop();

  // ":N", valid after a successful start.
  const std::string& display() const { return display_; }
  const std::string& error() const { return error_; }

 private:
  pid_t pid_ = -1;
  std::string display_;
  std::string error_;
};

}  // namespace strevana::testing
