#pragma once
// Result codes of the RTP session library. Every operation returns 0 (or a
// positive value) on success and one of these negative codes on failure; the
// streaming layer adds them to its own base (13000000 + code), so the values
// are fixed and must never be renumbered. Malformed datagrams are never
// reported as errors: they are dropped.

namespace strevana {

inline constexpr int kRtpOk = 0;
inline constexpr int kRtpOutOfMemory = -1;
inline constexpr int kRtpSocketsAlreadyOpen = -2;
inline constexpr int kRtpOddPortBase = -3;
inline constexpr int kRtpSocketCreationFailed = -4;
inline constexpr int kRtpBindFailed = -5;
inline constexpr int kRtpBadListPort = -7;
inline constexpr int kRtpDuplicateListEntry = -8;
inline constexpr int kRtpSocketsNotCreated = -12;
inline constexpr int kRtpPacketOfOtherSource = -21;
inline constexpr int kRtpSourceTableNotReady = -22;
inline constexpr int kRtpSessionNotCreated = -25;
inline constexpr int kRtpAlreadyCreated = -26;
inline constexpr int kRtpReceiveBufferFailed = -29;
inline constexpr int kRtpNoLocalAddress = -33;
inline constexpr int kRtpMulticastTtlFailed = -35;
inline constexpr int kRtpNotMulticastAddress = -36;
inline constexpr int kRtpJoinGroupFailed = -39;

}  // namespace strevana
