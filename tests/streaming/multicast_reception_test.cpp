// Reception from a multicast group named by a session description, inside a
// private network namespace: a child process makes its own user and network
// namespaces (only a loopback interface, brought up, with a route for
// 224.0.0.0/4 on it), so the group is never joined on the machine's own
// interfaces. The session must join the group and assemble every frame sent
// to it. Skipped where the machine does not allow unprivileged namespaces.
#include <arpa/inet.h>
#include <fcntl.h>
#include <net/if.h>
#include <net/route.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "rtsp_peer.h"
#include "stream_test_support.h"
#include "streaming/rtsp_session.h"

namespace strevana {
namespace {

constexpr int kSkipped = 77;
constexpr const char* kGroup = "239.255.12.7";
constexpr int kFrames = 10;

// The child's report to the parent: its exit code and why.
[[noreturn]] void finish(int pipeFd, int code, const std::string& why) {
  if (!why.empty()) (void)!write(pipeFd, why.data(), why.size());
  _exit(code);
}

bool writeText(const char* path, const std::string& text) {
  const int fd = open(path, O_WRONLY);
  if (fd < 0) return false;
  const bool ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  close(fd);
  return ok;
}

// In the new namespaces: lo up, and multicast routed to it.
std::string prepareLoopback() {
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  if (fd < 0) return "no socket";
  ifreq request{};
  std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
  std::string why;
  if (ioctl(fd, SIOCGIFFLAGS, &request) != 0) why = "SIOCGIFFLAGS: ";
  request.ifr_flags |= IFF_UP;
  if (why.empty() && ioctl(fd, SIOCSIFFLAGS, &request) != 0) why = "bringing lo up: ";
  rtentry route{};
  auto* destination = reinterpret_cast<sockaddr_in*>(&route.rt_dst);
  auto* mask = reinterpret_cast<sockaddr_in*>(&route.rt_genmask);
  destination->sin_family = mask->sin_family = AF_INET;
  destination->sin_addr.s_addr = htonl(0xe0000000u);
  mask->sin_addr.s_addr = htonl(0xf0000000u);
  route.rt_flags = RTF_UP;
  char device[] = "lo";
  route.rt_dev = device;
  if (why.empty() && ioctl(fd, SIOCADDRT, &route) != 0) why = "routing 224.0.0.0/4 to lo: ";
  if (!why.empty()) why += std::strerror(errno);
  close(fd);
  return why;
}

// The child's body: namespaces, session, frames. Never returns.
[[noreturn]] void receiveInPrivateNetwork(int pipeFd) {
  const uid_t uid = getuid();
  const gid_t gid = getgid();
  if (unshare(CLONE_NEWUSER | CLONE_NEWNET) != 0) {
    finish(pipeFd, kSkipped,
           std::string("user and network namespaces are not available: ") + std::strerror(errno));
  }
  if (!writeText("/proc/self/setgroups", "deny") ||
      !writeText("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") ||
      !writeText("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1")) {
    finish(pipeFd, kSkipped, "cannot map the user into the new namespace");
  }
  const std::string why = prepareLoopback();
  if (!why.empty()) finish(pipeFd, kSkipped, why);

  const int port = 5004;  // the namespace's ports are all free
  const std::string sdp =
      std::string("buff://v=0\r\no=- 1 1 IN IP4 127.0.0.1\r\ns=m\r\nc=IN IP4 ") + kGroup +
      "/1\r\nt=0 0\r\nm=video " + std::to_string(port) +
      " RTP/AVP 96\r\na=rtpmap:96 MP4V-ES/90000\r\n";
  testing::FrameLog log;
  std::unique_ptr<RtspSession> session;
  if (RtspSession::create(session, nullptr, &CIOStrmPin::allocateBufferElem, &testing::elementData,
                          nullptr) != kSessionOk) {
    finish(pipeFd, 1, "create failed");
  }
  if (session->loadDescription(sdp, 6970) != kSessionOk || !session->firstMedia()) {
    finish(pipeFd, 1, "the description was refused");
  }
  MediaEntry* video = session->firstMedia();
  setDeliverCallback(video, &testing::FrameLog::deliver, &log);
  int32_t rc = session->addStream(video);
  if (rc == kSessionOk) rc = session->setup("127.0.0.1");
  if (rc != kSessionOk) finish(pipeFd, 1, "setup failed: " + std::to_string(rc));
  if (session->play() != kSessionOk) finish(pipeFd, 1, "play failed");

  const int sender = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<uint16_t>(port));
  inet_pton(AF_INET, kGroup, &to.sin_addr);
  std::vector<std::vector<uint8_t>> sent;
  for (int i = 0; i < kFrames; ++i) {
    sent.push_back({0, 0, 1, 0xB6, static_cast<uint8_t>(i), 0x55, 0x66});
    const auto datagram =
        testing::rtpDatagram(static_cast<uint16_t>(100 + i), 3600u * i, true, sent.back());
    if (sendto(sender, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&to),
               sizeof to) != static_cast<ssize_t>(datagram.size())) {
      finish(pipeFd, 1, std::string("sending to the group: ") + std::strerror(errno));
    }
  }
  close(sender);
  const bool all = log.waitFor(kFrames, std::chrono::seconds(5));
  RtspSession::destroy(session);
  const auto frames = log.frames();
  if (!all)
    finish(pipeFd, 1,
           std::to_string(frames.size()) + " of " + std::to_string(kFrames) + " frames arrived");
  for (int i = 0; i < kFrames; ++i) {
    if (frames[i].bytes != sent[i]) finish(pipeFd, 1, "frame " + std::to_string(i) + " differs");
  }
  finish(pipeFd, 0, "");
}

TEST(MulticastReceptionTest, DescribedGroupIsJoinedInAPrivateNetwork) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(fds[0]);
    alarm(20);  // a child that hangs ends by itself, and the pipe closes
    receiveInPrivateNetwork(fds[1]);
  }
  close(fds[1]);
  std::string why;
  char buffer[256];
  for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;)
    why.append(buffer, static_cast<size_t>(n));
  close(fds[0]);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "the child ended by signal " << WTERMSIG(status);
  if (WEXITSTATUS(status) == kSkipped) GTEST_SKIP() << why;
  EXPECT_EQ(WEXITSTATUS(status), 0) << why;
}

}  // namespace
}  // namespace strevana
