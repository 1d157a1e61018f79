#include "platform/renderer_recovery.h"

#include <gtest/gtest.h>

namespace {

using platform::RendererRecovery;
using Action = RendererRecovery::Action;

// Each step: the renderer dies `deathAfterMs` after the last reload (or first load).
struct Step {
  std::int64_t deathAfterMs;
  Action expected;
};

void RunSteps(const std::vector<Step>& steps) {
  RendererRecovery recovery;
  std::int64_t now = 100000;
  for (size_t i = 0; i < steps.size(); ++i) {
    now += steps[i].deathAfterMs;
    const Action action = recovery.OnRendererDied(now);
    EXPECT_EQ(action, steps[i].expected) << "step " << i;
    if (action == Action::Reload) {
      now += 1000;
      recovery.OnReloaded(now);
    }
  }
}

TEST(RendererRecovery, ReloadsUntilThreeQuickDeathsInARow) {
  // The first death of a page that ran for a while: reload.
  RunSteps({{60000, Action::Reload}});
  // Three deaths each within 10 s of a reload: give up on the third.
  RunSteps({{60000, Action::Reload}, {5000, Action::Reload}, {5000, Action::Reload}, {5000, Action::GiveUp}});
  // A long quiet spell in between starts the count again.
  RunSteps({{60000, Action::Reload}, {5000, Action::Reload}, {30000, Action::Reload}, {5000, Action::Reload},
       {5000, Action::Reload}, {5000, Action::GiveUp}});
  // Exactly 10 s still counts as quick.
  RunSteps({{1, Action::Reload}, {10000, Action::Reload}, {10000, Action::Reload}, {10000, Action::GiveUp}});
}

TEST(RendererRecovery, ANewAddressStartsClean) {
  RendererRecovery recovery;
  EXPECT_EQ(recovery.OnRendererDied(0), Action::Reload);
  recovery.OnReloaded(1000);
  EXPECT_EQ(recovery.OnRendererDied(2000), Action::Reload);
  recovery.OnReloaded(3000);
  recovery.Reset();  // the rotation navigated elsewhere
  EXPECT_EQ(recovery.OnRendererDied(4000), Action::Reload);
  recovery.OnReloaded(5000);
  EXPECT_EQ(recovery.OnRendererDied(6000), Action::Reload);
  recovery.OnReloaded(7000);
  EXPECT_EQ(recovery.OnRendererDied(8000), Action::Reload);
  recovery.OnReloaded(9000);
  EXPECT_EQ(recovery.OnRendererDied(10000), Action::GiveUp);
  // After giving up, the next death starts a new count.
  EXPECT_EQ(recovery.OnRendererDied(11000), Action::Reload);
}

}  // namespace
