#pragma once
// waitForDatagrams: how the receive thread idles between passes over UDP.
// Rather than sleeping a fixed time it waits, with poll(2) and at most
// timeoutMs, until a datagram is waiting on the RTP or RTCP socket of the
// session's polled video or audio stream, so a packet that arrives during
// the idle time is taken at once. The wait never outlasts the fixed sleep it
// replaces, so a teardown is noticed as soon as before; the sockets are read
// only by RtpSession::poll, never here. A session without open sockets
// sleeps timeoutMs.
//
// Thread: the session's receive thread (the only one that touches its RTP
// sessions while it runs). Returns true when a socket became readable.
namespace strevana {

class RtspSession;

bool waitForDatagrams(const RtspSession& session, int timeoutMs);

}  // namespace strevana
