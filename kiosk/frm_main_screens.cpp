// The browser screens.
#include "diag/text.h"
#include "kiosk/frm_main.h"

namespace kiosk {

void TfrmMain::WebBrowserDocumentComplete() {
  if (diag::TrimText(WebBrowser->LocationURL()) == "about:blank") WebBrowser->SetDocumentBackground("#000000");
}

}  // namespace kiosk
