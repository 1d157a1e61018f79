#pragma once

#include <memory>

#include "platform/browser_view.h"
#include "platform/renderer_recovery.h"

class QWebEngineView;

namespace platform {

// Chooses Qt Quick's software renderer for the web view's scene, unless
// QT_QUICK_BACKEND already names one. Without a GPU the OpenGL path composites
// the whole window in software on every repaint (the clock's, each second),
// which costs far more CPU and delays the message list's lines. Call it before
// the application object is made.
void UseSoftwareSceneRenderer();

// The browser view on QtWebEngine. The page is drawn by a renderer process of
// its own; when that dies the view reloads the address, and gives up on it
// (showing the blank page) when it keeps dying.
class WebEngineBrowserView final : public BrowserView {
 public:
  explicit WebEngineBrowserView(QWidget* parent);
  ~WebEngineBrowserView() override;

  QWidget* Widget() override;
  void Navigate(const std::string& address) override;
  std::string LocationURL() const override;
  void SetDocumentBackground(const std::string& colour) override;
  RendererCounts Renderer() const override { return renderer_; }

 private:
  void RendererDied();

  QWebEngineView* view_;
  std::string address_;
  RendererRecovery recovery_;
  RendererCounts renderer_;
};

}  // namespace platform
