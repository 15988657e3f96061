#pragma once
// SDP decoder: turns a session description into SdpSession records.
//
// decodeSdp reads the input line by line and stops at the first line it
// cannot accept; the session in progress is then dropped while earlier
// complete sessions are still handed back. Attributes it does not interpret
// (or refuses) are kept verbatim in the unparsed attribute list of the current
// media, else of the session.
// Called on whichever thread opens a stream; keeps no state between calls.
// The caller owns the input and the returned list.
//
// Bounds on untrusted input: a line holds at most kSdpMaxLineLength
// characters (the rest of a longer line is dropped, never read as a new
// line); a description may have at most kSdpMaxLines non-empty lines and
// kSdpMaxBytes bytes, beyond which decoding fails with kSdpOutOfMemory and
// the text "Description too large".
#include <cstddef>
#include <memory>
#include <string>

#include "protocols/sdp/sdp_input.h"
#include "protocols/sdp/sdp_types.h"

namespace strevana {

inline constexpr int kSdpOk = 0;
inline constexpr int kSdpOutOfMemory = 12;
inline constexpr int kSdpErrorVersion = -10;
inline constexpr int kSdpErrorLineType = -11;
inline constexpr int kSdpErrorBandwidth = -12;
inline constexpr int kSdpErrorTime = -13;
inline constexpr int kSdpErrorRepeat = -14;
inline constexpr int kSdpErrorZone = -16;
inline constexpr int kSdpErrorConnection = -17;
inline constexpr int kSdpErrorOrigin = -18;
inline constexpr int kSdpErrorMedia = -19;
inline constexpr int kSdpErrorKey = -20;
inline constexpr int kSdpErrorInput = -22;

inline constexpr std::size_t kSdpMaxLineLength = 1023;
inline constexpr std::size_t kSdpMaxLines = 20000;
inline constexpr std::size_t kSdpMaxBytes = 4 * 1024 * 1024;

// Returns 0 or an error code. On return `first` holds the decoded sessions
// (also the complete ones before a failing line) and `count` their number.
// When errorText is given it receives the failure text ("" on success).
int decodeSdp(SdpInput* input, std::unique_ptr<SdpSession>& first, int& count,
              std::string* errorText = nullptr);

}  // namespace strevana
