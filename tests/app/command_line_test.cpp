#include "app/command_line.h"

#include <gtest/gtest.h>

namespace strevana {
namespace {

using Kind = CommandLineOption::Kind;

TEST(CommandLineGrammar, EmptyAndBlankLines) {
  EXPECT_TRUE(parseCommandLineText("").empty);
  ParsedCommandLine blanks = parseCommandLineText("   \t ");
  EXPECT_FALSE(blanks.empty);  // zoom 100 and the menus are still applied
  EXPECT_EQ(blanks.zoom, 100);
  EXPECT_FALSE(blanks.name.has_value());
  EXPECT_FALSE(parseCommandLineText("\"").name.has_value());
  EXPECT_FALSE(parseCommandLineText("\"\"").name.has_value());
}

TEST(CommandLineGrammar, ZoomValues) {
  ParsedCommandLine p = parseCommandLineText("-zoom 50 clip.mp4");
  EXPECT_EQ(p.zoom, 50);
  EXPECT_EQ(p.name.value_or(""), "clip.mp4");
  EXPECT_EQ(parseCommandLineText("-zoom50 clip.mp4").zoom, 50);  // glued value
  EXPECT_EQ(parseCommandLineText("-zoom\t200\tclip.mp4").zoom, 200);
  EXPECT_EQ(parseCommandLineText("-zoom -25 a").zoom, -25);
  EXPECT_EQ(parseCommandLineText("-zoom +25 a").zoom, 25);
  EXPECT_EQ(parseCommandLineText("-zoom 10 -zoom 400 a").zoom, 400);  // the last wins
  // No value, or one that does not begin with a digit or sign: zoom 0.
  EXPECT_EQ(parseCommandLineText("-zoom").zoom, 0);
  ParsedCommandLine word = parseCommandLineText("-zoom big clip.mp4");
  EXPECT_EQ(word.zoom, 0);
  EXPECT_EQ(word.name.value_or(""), "clip.mp4");  // "big" was skipped as the value
  // Anything glued to the value is skipped with it.
  ParsedCommandLine glued = parseCommandLineText("-zoom 50x,y clip.mp4");
  EXPECT_EQ(glued.zoom, 50);
  EXPECT_EQ(glued.name.value_or(""), "clip.mp4");
  // A value too large for 32 bits saturates instead of wrapping.
  EXPECT_EQ(parseCommandLineText("-zoom -99999999999 a").zoom, -2147483647 - 1);
}

TEST(CommandLineGrammar, ZoomAboveTheViewMenusLargestReadsAs400) {
  const struct {
    const char* text;
    int32_t zoom;
  } cases[] = {
      {"-zoom 100000 a", 400}, {"-zoom 2147483647 a", 400},   {"-zoom 99999999999 a", 400},
      {"-zoom 401 a", 400},    {"-zoom401 a", 400},           {"-zoom 400 a", 400},
      {"-zoom 399 a", 399},    {"-zoom 1000 -zoom 25 a", 25}, {"-zoom 25 -zoom 1000 a", 400},
  };
  for (const auto& c : cases) {
    ParsedCommandLine p = parseCommandLineText(c.text);
    EXPECT_EQ(p.zoom, c.zoom) << c.text;
    EXPECT_EQ(p.name.value_or(""), "a") << c.text;
  }
}

TEST(CommandLineGrammar, PostfilterAndDirectXInTheOrderWritten) {
  ParsedCommandLine p = parseCommandLineText("-postfilter 2 -directx 0 -postfilter3 clip.mp4");
  ASSERT_EQ(p.options.size(), 3u);
  EXPECT_EQ(p.options[0].kind, Kind::kPostfilter);
  EXPECT_EQ(p.options[0].value, 2);
  EXPECT_EQ(p.options[1].kind, Kind::kDirectX);
  EXPECT_EQ(p.options[1].value, 0);
  EXPECT_EQ(p.options[2].value, 3);
  EXPECT_EQ(p.zoom, 100);
  // A value glued to either option is read.
  ParsedCommandLine glued = parseCommandLineText("-directx1 -postfilter4 a");
  ASSERT_EQ(glued.options.size(), 2u);
  EXPECT_EQ(glued.options[0].value, 1);
  EXPECT_EQ(glued.options[1].value, 4);
  ParsedCommandLine bare = parseCommandLineText("-directx");
  ASSERT_EQ(bare.options.size(), 1u);
  EXPECT_EQ(bare.options[0].value, 0);  // no value means 0
  EXPECT_FALSE(bare.name.has_value());
}

TEST(CommandLineGrammar, NamesQuotesAndBlanks) {
  EXPECT_EQ(parseCommandLineText("\"/media/my clips/a b.mp4\"").name.value_or(""),
            "/media/my clips/a b.mp4");
  // With options in front only the closing quote goes.
  EXPECT_EQ(parseCommandLineText("-zoom 50 \"/media/a b.mp4\"").name.value_or(""),
            "\"/media/a b.mp4");
  EXPECT_EQ(parseCommandLineText("clip.mp4   \t").name.value_or(""), "clip.mp4");
  EXPECT_EQ(parseCommandLineText("clip.mp4\"  ").name.value_or(""), "clip.mp4");
  EXPECT_EQ(parseCommandLineText("a \"quoted\" name.mp4").name.value_or(""),
            "a \"quoted\" name.mp4");  // inner quotes stay
  // Options after the name belong to the name.
  ParsedCommandLine late = parseCommandLineText("clip.mp4 -zoom 50");
  EXPECT_EQ(late.name.value_or(""), "clip.mp4 -zoom 50");
  EXPECT_EQ(late.zoom, 100);
  // Options are case-sensitive prefixes.
  EXPECT_EQ(parseCommandLineText("-Zoom 50 a").name.value_or(""), "-Zoom 50 a");
  EXPECT_EQ(parseCommandLineText("  lead.mp4").name.value_or(""), "lead.mp4");
  EXPECT_EQ(parseCommandLineText(std::string("a.mp4\0tail", 10)).name.value_or(""), "a.mp4");
}

TEST(CommandLineGrammar, ClassificationOfNames) {
  EXPECT_EQ(classifyName("rtsp://server/stream"), NameKind::kUrl);
  EXPECT_EQ(classifyName("http://host/clip.yuv"), NameKind::kUrl);
  EXPECT_EQ(classifyName("c:relative.mp4"), NameKind::kFile);  // colon without "//"
  EXPECT_EQ(classifyName("a:b://c"), NameKind::kFile);         // only the first colon counts
  EXPECT_EQ(classifyName("/tmp/frames.yuv"), NameKind::kRawYuv);
  EXPECT_EQ(classifyName("/tmp/frames.YUV"), NameKind::kFile);
  EXPECT_EQ(classifyName("/tmp/frames.yuv.mp4"), NameKind::kFile);
  EXPECT_EQ(classifyName("/tmp/dir.yuv/clip"), NameKind::kFile);
  EXPECT_EQ(classifyName("/tmp/frames.yuv "), NameKind::kFile);
  EXPECT_EQ(classifyName("/tmp/x.raw"), NameKind::kFile);
  EXPECT_EQ(classifyName("/tmp/session.sdp"), NameKind::kFile);
}

TEST(CommandLineGrammar, ArgumentsJoinWithBlanks) {
  const char* argv[] = {"strevana-player", "-zoom", "50", "/media/a b.mp4", nullptr};
  EXPECT_EQ(joinArguments(4, argv), "-zoom 50 /media/a b.mp4");
  EXPECT_EQ(joinArguments(1, argv), "");
  ParsedCommandLine p = parseCommandLineText(joinArguments(4, argv));
  EXPECT_EQ(p.name.value_or(""), "/media/a b.mp4");
}

}  // namespace
}  // namespace strevana
