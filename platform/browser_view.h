#pragma once

#include <cstdint>
#include <functional>
#include <string>

class QWidget;

namespace platform {

// What became of the view's page renderers: deaths, reloads after one, and
// addresses given up because the renderer kept dying.
struct RendererCounts {
  std::uint64_t crashes = 0;
  std::uint64_t reloads = 0;
  std::uint64_t giveUps = 0;
};

// The browser view the kiosk shows its screens in.
class BrowserView {
 public:
  virtual ~BrowserView() = default;
  // The widget to place in the window.
  virtual QWidget* Widget() = 0;
  // Starts loading an address and returns at once.
  virtual void Navigate(const std::string& address) = 0;
  // The top document's location, as the view reports it.
  virtual std::string LocationURL() const = 0;
  // Sets the top document's background colour ("#000000").
  virtual void SetDocumentBackground(const std::string& colour) = 0;
  // Its renderers' deaths and recoveries so far (none for a view without a
  // renderer process of its own).
  virtual RendererCounts Renderer() const { return {}; }
  // Called when a document has finished loading.
  void OnDocumentComplete(std::function<void()> handler) { documentComplete_ = std::move(handler); }
  // Called when the view gave up on an address whose renderer kept dying.
  void OnRendererGaveUp(std::function<void(const std::string& address)> handler) {
    rendererGaveUp_ = std::move(handler);
  }

 protected:
  void DocumentCompleted() {
    if (documentComplete_) documentComplete_();
  }
  void RendererGaveUp(const std::string& address) {
    if (rendererGaveUp_) rendererGaveUp_(address);
  }

 private:
  std::function<void()> documentComplete_;
  std::function<void(const std::string&)> rendererGaveUp_;
};

// Modal message boxes; while one is open, timer ticks and datagrams go on.
class MessageBoxes {
 public:
  virtual ~MessageBoxes() = default;
  // An information box with an OK button, captioned with the application's title.
  virtual void Inform(const std::string& text) = 0;
  // A question box with Yes and No (Yes the default); true for Yes.
  virtual bool AskYesNo(const std::string& text, const std::string& caption) = 0;
  // The standard error box, showing an error's message.
  virtual void ShowError(const std::string& text) = 0;
};

}  // namespace platform
