#pragma once

#include <cstdint>

namespace platform {

// What the browser view does when its renderer process dies: reload the page
// at once, unless the renderer keeps dying right after reloads; after three
// such deaths in a row it gives up on the page and shows the blank page until
// the next navigation.
class RendererRecovery {
 public:
  enum class Action { Reload, GiveUp };

  static constexpr std::int64_t kQuickDeathMs = 10000;  // a death this soon after a reload counts
  static constexpr int kQuickDeathsToGiveUp = 3;

  // The renderer died at `nowMs`.
  Action OnRendererDied(std::int64_t nowMs) {
    const bool quick = reloadedAtMs_ >= 0 && nowMs - reloadedAtMs_ <= kQuickDeathMs;
    quickDeaths_ = quick ? quickDeaths_ + 1 : 0;
    if (quickDeaths_ >= kQuickDeathsToGiveUp) {
      Reset();
      return Action::GiveUp;
    }
    return Action::Reload;
  }
  // The page was reloaded at `nowMs`.
  void OnReloaded(std::int64_t nowMs) { reloadedAtMs_ = nowMs; }
  // A new address was asked for: it starts with a clean record.
  void Reset() {
    reloadedAtMs_ = -1;
    quickDeaths_ = 0;
  }

 private:
  std::int64_t reloadedAtMs_ = -1;
  int quickDeaths_ = 0;
};

}  // namespace platform
