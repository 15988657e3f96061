#include "playback/panel/widget.h"

#include <gtest/gtest.h>

#include "panel_test_support.h"
#include "video/memory_window_surface.h"

namespace strevana {
namespace {

using panel_test::rgbAt;

TEST(WidgetTree, PositionsAreRelativeToTheParentAndFollowItRecursively) {
  Widget root, middle, leaf;
  root.addChild(&middle);
  middle.addChild(&leaf);
  leaf.setPosition(3, 4);
  middle.setPosition(10, 20);
  EXPECT_EQ(leaf.x(), 13);
  EXPECT_EQ(leaf.y(), 24);
  root.setPosition(100, 200);
  EXPECT_EQ(middle.x(), 110);
  EXPECT_EQ(leaf.x(), 113);
  EXPECT_EQ(leaf.y(), 224);
  EXPECT_EQ(leaf.relX(), 3);
}

TEST(WidgetTree, ReparentingMovesTheChildAndCyclesAreRefused) {
  Widget a, b, c;
  a.addChild(&c);
  b.addChild(&c);
  EXPECT_TRUE(a.children().empty());
  ASSERT_EQ(b.children().size(), 1u);
  EXPECT_EQ(c.parent(), &b);
  c.addChild(&b);  // b is c's parent: refused
  EXPECT_EQ(b.parent(), nullptr);
  b.addChild(&b);
  EXPECT_EQ(b.children().size(), 1u);
}

TEST(WidgetTree, DestroyedWidgetsLeaveNoDanglingLinks) {
  Widget parent;
  auto child = std::make_unique<Widget>();
  Widget grandChild;
  parent.addChild(child.get());
  child->addChild(&grandChild);
  child.reset();
  EXPECT_TRUE(parent.children().empty());
  EXPECT_EQ(grandChild.parent(), nullptr);
  grandChild.setPosition(1, 1);  // must not touch the deleted parent
  EXPECT_EQ(grandChild.x(), 1);
}

TEST(WidgetTree, ContainsIncludesBothEdges) {
  Widget w;
  w.setPosition(15, 259);
  w.setSize(28, 28);
  EXPECT_TRUE(w.contains(15, 259));
  EXPECT_TRUE(w.contains(42, 286));
  EXPECT_FALSE(w.contains(43, 270));
  EXPECT_FALSE(w.contains(20, 287));
  EXPECT_FALSE(w.contains(14, 270));
  EXPECT_FALSE(w.contains(20, 258));
}

class WidgetDrawing : public ::testing::Test {
 protected:
  void SetUp() override {
    panel_test::ensureGuiApplication();
    widget.setPosition(20, 10);
    widget.setSize(30, 20);
  }
  MemoryWindowSurface surface{100, 60};
  DrawContext context{&surface};
  Widget widget{&context};
};

TEST_F(WidgetDrawing, PrimitivesUseRelativeCoordinatesTheWidgetsColoursAndItsRectangle) {
  widget.setForeground(rgb(255, 0, 0));
  widget.setBackground(rgb(0, 0, 255));
  widget.rectangle(-10, -10, 100, 100);  // larger than the widget: clipped to it
  const QImage img = surface.snapshot();
  EXPECT_EQ(rgbAt(img, 20, 10), 0x0000ffu);  // inside, the outline lies outside
  EXPECT_EQ(rgbAt(img, 49, 29), 0x0000ffu);
  EXPECT_EQ(rgbAt(img, 50, 20), 0u);
  EXPECT_EQ(rgbAt(img, 19, 20), 0u);
  EXPECT_EQ(rgbAt(img, 30, 30), 0u);
  EXPECT_EQ(context.foreground(), rgb(255, 0, 0));
  // Bitmap and line are offset by the absolute position.
  const auto pic = panel_test::solid(2, 2, 0x00ff00);
  widget.bitmap(1, 1, 2, 2, pic.get());
  widget.setForeground(rgb(255, 255, 255));
  widget.line(0, 5, 4, 5);
  const QImage img2 = surface.snapshot();
  EXPECT_EQ(rgbAt(img2, 21, 11), 0x00ff00u);
  EXPECT_EQ(rgbAt(img2, 22, 12), 0x00ff00u);
  EXPECT_EQ(rgbAt(img2, 23, 12), 0x0000ffu);
  EXPECT_EQ(rgbAt(img2, 20, 15), 0xffffffu);
  EXPECT_EQ(rgbAt(img2, 23, 15), 0xffffffu);
  EXPECT_EQ(rgbAt(img2, 24, 15), 0x0000ffu);
  widget.bitmap(0, 0, 5, 5, nullptr);  // no picture: nothing
}

TEST_F(WidgetDrawing, TextBoxTakesClientCoordinatesClippedToTheWidget) {
  widget.setBackground(rgb(0, 128, 0));
  const int32_t bottom = widget.textBox(20, 10, 50, 60, "wrapped words in a box");
  EXPECT_GT(bottom, 10);
  const QImage img = surface.snapshot();
  for (int y = 30; y < 60; ++y) EXPECT_EQ(rgbAt(img, 25, y), 0u) << y;
}

TEST(WidgetWithoutContext, DrawingDoesNothing) {
  Widget w;
  w.rectangle(0, 0, 10, 10);
  w.text(0, 0, "x");
  EXPECT_EQ(w.textBox(1, 2, 30, 40, "x"), 2);
  w.draw();
}

}  // namespace
}  // namespace strevana
