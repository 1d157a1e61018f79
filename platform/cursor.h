#pragma once

#include <functional>

namespace platform {

// The mouse cursor belongs to the window; code below it switches the busy
// cursor through this hook, which the program installs. Without one nothing
// happens.
using CursorHook = std::function<void(bool busy)>;
void SetCursorHook(CursorHook hook);
void SetBusyCursor(bool busy);

}  // namespace platform
