#pragma once
// The codec layer reports through its result codes only: FFmpeg's own
// diagnostics (damaged files, missing parameters) must not reach the
// terminal. Called by every object of the layer before it uses FFmpeg; safe
// from any thread.
namespace strevana {
void silenceFfmpegLog();
}  // namespace strevana
