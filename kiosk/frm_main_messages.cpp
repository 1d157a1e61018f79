// The message list.
#include "kiosk/frm_main.h"
#include "kiosk/message_list.h"
#include "platform/clock.h"

namespace kiosk {

void TfrmMain::AddMessage(const std::string& text, std::uint32_t colour) {
  rchMessages->AppendLines(platform::FormatDateTime("hh:nn:ss", platform::Now()) + " " + text, colour);
  // Oldest lines go while the list's height is below the estimate of what it holds.
  while (MessageListNeedsTrim(rchMessages->height(), rchMessages->LineCount(), rchMessages->FontPoints()))
    rchMessages->DeleteFirstLine();
}

}  // namespace kiosk
