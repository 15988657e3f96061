#include "app/player_keys.h"

#include <gtest/gtest.h>

#include "platform/window_messages.h"

namespace strevana {
namespace {

TEST(PlayerKeys, EachKeyItsActionAndOnlyStepsRepeat) {
  const struct {
    uint32_t key;
    bool repeat;
    bool fullScreen;
    KeyAction action;
  } cases[] = {
      {kVkSpace, false, false, KeyAction::kTogglePlay},
      {kVkSpace, true, false, KeyAction::kNone},
      {kVkSpace, false, true, KeyAction::kTogglePlay},
      {kVkLeft, false, false, KeyAction::kStepBackward},
      {kVkLeft, true, true, KeyAction::kStepBackward},
      {kVkRight, false, true, KeyAction::kStepForward},
      {kVkRight, true, false, KeyAction::kStepForward},
      {kVkHome, false, false, KeyAction::kRewind},
      {kVkHome, true, false, KeyAction::kNone},
      {kVkEnd, false, true, KeyAction::kToEnd},
      {kVkEnd, true, true, KeyAction::kNone},
      {'F', false, false, KeyAction::kToggleFullScreen},
      {'F', false, true, KeyAction::kToggleFullScreen},
      {'F', true, true, KeyAction::kNone},
      {kVkEscape, false, true, KeyAction::kLeaveFullScreen},
      {kVkEscape, false, false, KeyAction::kNone},
      {kVkUp, false, false, KeyAction::kNone},
      {'G', false, false, KeyAction::kNone},
      {kVkReturn, false, true, KeyAction::kNone},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(keyAction(c.key, c.repeat, c.fullScreen), c.action)
        << "key " << c.key << " repeat " << c.repeat << " full screen " << c.fullScreen;
  }
}

}  // namespace
}  // namespace strevana
