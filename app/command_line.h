#pragma once
// The command line's grammar, apart from what it opens: options "-zoom",
// "-postfilter" and "-directx", each with a number, then one name to the end
// of the line. Options must come before the name; the last "-zoom" wins,
// the others take effect in the order written.
//
// Pure functions, callable from any thread.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace strevana {

struct CommandLineOption {
  enum class Kind { kPostfilter, kDirectX };
  Kind kind;
  int32_t value;
};

// The largest zoom the command line gives, in percent (View > 400%).
constexpr int32_t kMaxCommandLineZoom = 400;

struct ParsedCommandLine {
  // An absent or empty command line: nothing at all is to be done, not even
  // the zoom.
  bool empty = true;
  int32_t zoom = 100;
  std::vector<CommandLineOption> options;  // in the order written
  std::optional<std::string> name;
};

// Parses the text as the shell reads it: a leading double quote is skipped,
// trailing blanks and then one trailing quote are cut, option values are read
// like atoi (no digits gives 0) and may be glued to the option, and anything
// glued to a value is skipped.
//
// A zoom above kMaxCommandLineZoom is read as kMaxCommandLineZoom. Bad values
// are never refused here: no digits read as 0, values past 32 bits saturate,
// and negative ones size the video area as 0 x 0, so a zoom too large for a
// window is clamped in the same spirit, to the View menu's largest zoom
// rather than to a window of gigabytes.
ParsedCommandLine parseCommandLineText(const std::string& text);

// Joins program arguments into one command line text, blank-separated, so a
// path given as one argument keeps its blanks.
std::string joinArguments(int argc, const char* const* argv);

enum class NameKind { kUrl, kRawYuv, kFile };

// A URL has a colon whose first occurrence is followed by "//"; otherwise a
// name ending exactly in ".yuv" (lower case) is a raw YUV file; anything else
// is a file for the media factory.
NameKind classifyName(const std::string& name);

// Whether the text from the last full stop on is exactly ext.
bool hasExtension(const std::string& name, const char* ext);

}  // namespace strevana
