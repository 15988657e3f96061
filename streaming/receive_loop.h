#pragma once
// receiveLoop: the body of a session's receive thread. While the session's
// receiving flag is set it serves the video and the audio RTP session in turn:
// polls one without blocking, takes every packet its sources have queued (in
// sequence order) and gives each to the receiver of that RTP session, which
// assembles frames; frames are delivered to the entry's callback after the
// session mutex is released. Only when a pass found nothing to do does it
// idle, for at most kIdleSleepMs and only until a datagram arrives
// (datagram_wait.h), so a busy stream is drained without delay and a packet
// arriving at an idle stream is taken at once.
//
// When the media comes inside the RTSP connection (RtspSession::interleaved)
// each pass drains the connection instead, waiting up to
// RtspSession::kInterleavedWaitMs for bytes, and feeds every stream's RTP
// session with the frames of its channels; frames on other channels are
// dropped.
//
// Runs on the thread RtspSession::setup starts; returns when teardown clears
// the receiving flag. Touches the RTP sessions only from this thread.
namespace strevana {

class RtspSession;

inline constexpr int kIdleSleepMs = 5;

void receiveLoop(RtspSession& session);

// One pass of the loop (the chosen RTP session polled and drained); true
// when it did some work. For tests that drive reception step by step.
bool receivePass(RtspSession& session, bool audioTurn);

}  // namespace strevana
