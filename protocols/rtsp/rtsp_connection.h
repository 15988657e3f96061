#pragma once
// RtspConnection: the byte stream between the RTSP client and one server. The
// player uses the TCP connection from makeTcpRtspConnection(); tests and
// fuzzing hand the client a scripted one, so everything above the socket
// (request building, reply matching, redirects, sessions, the reply deadline)
// runs without a network.
//
// Owned by the RtspClient and used on the thread that runs its requests.
// The client passes every wait explicitly, so a connection keeps no clock.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace strevana {

// Host look-up results of open(), also reported by RtspClient::create.
inline constexpr int kRtspHostNotFound = 11001;
inline constexpr int kRtspHostTryAgain = 11002;
inline constexpr int kRtspHostLookupFailed = 11003;

class RtspConnection {
 public:
  virtual ~RtspConnection() = default;
  // Connects to host:port (IPv4), waiting at most timeoutMs. 0, -1 when the
  // connection cannot be made, or one of the host look-up codes above.
  virtual int open(const std::string& host, uint16_t port, uint32_t timeoutMs) = 0;
  virtual void close() = 0;
  virtual bool isOpen() const = 0;
  // Sends every byte; false on failure (the caller then closes).
  virtual bool send(const char* data, std::size_t size) = 0;
  // Waits at most timeoutMs for bytes: the count read (> 0, at most
  // capacity), 0 when the peer has ended the connection, or a negative value
  // on time-out or failure.
  virtual long receive(char* data, std::size_t capacity, uint32_t timeoutMs) = 0;
  // Waits at most timeoutMs until bytes (or the end of the connection) can
  // be received: 1, 0 on time-out, negative on failure. A connection that
  // cannot wait says 1 and lets receive() do the waiting.
  virtual int waitReadable(uint32_t /*timeoutMs*/) { return isOpen() ? 1 : -1; }
};

// A blocking TCP connection; writes never raise SIGPIPE.
std::unique_ptr<RtspConnection> makeTcpRtspConnection();

}  // namespace strevana
