#include "streaming/datagram_wait.h"

#include <poll.h>

#include <chrono>
#include <thread>

#include "streaming/rtsp_session.h"

namespace strevana {

bool waitForDatagrams(const RtspSession& session, int timeoutMs) {
  pollfd fds[4];
  nfds_t count = 0;
  for (const StreamReceiver* receiver : {session.videoStream(), session.audioStream()}) {
    if (!receiver || !receiver->rtp) continue;
    for (const int fd : {receiver->rtp->rtpDescriptor(), receiver->rtp->rtcpDescriptor()}) {
      bool listed = fd < 0;
      for (nfds_t i = 0; i < count && !listed; ++i) listed = fds[i].fd == fd;
      if (!listed) fds[count++] = {fd, POLLIN, 0};
    }
  }
  if (count == 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
    return false;
  }
  const int ready = ::poll(fds, count, timeoutMs);
  return ready > 0;
}

}  // namespace strevana
