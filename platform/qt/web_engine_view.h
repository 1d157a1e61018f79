#pragma once

#include <QString>
#include <memory>

#include "platform/browser_view.h"

class QWebEngineView;

namespace platform {

// The browser view on QtWebEngine.
class WebEngineBrowserView final : public BrowserView {
 public:
  explicit WebEngineBrowserView(QWidget* parent);
  ~WebEngineBrowserView() override;

  QWidget* Widget() override;
  void Navigate(const std::string& address) override;
  std::string LocationURL() const override;
  void SetDocumentBackground(const std::string& colour) override;

 private:
  QWebEngineView* view_;
};

// Qt's modal message boxes.
class QtMessageBoxes final : public MessageBoxes {
 public:
  void Inform(const std::string& text) override;
  bool AskYesNo(const std::string& text, const std::string& caption) override;
  void ShowError(const std::string& text) override;
};

// Latin-1 is the program's single-byte text at the Qt boundary.
QString ToQString(const std::string& text);
std::string FromQString(const QString& text);

}  // namespace platform
