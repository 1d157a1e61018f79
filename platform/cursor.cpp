#include "platform/cursor.h"

#include <utility>

namespace platform {

namespace {
CursorHook gCursorHook;
}

void SetCursorHook(CursorHook hook) { gCursorHook = std::move(hook); }

void SetBusyCursor(bool busy) {
  if (gCursorHook) gCursorHook(busy);
}

}  // namespace platform
