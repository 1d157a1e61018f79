#pragma once

#include <QWidget>
#include <string>

#include "platform/browser_view.h"

// What the benchmarks put in the kiosk window's place of the web view and the
// message boxes, so that the figures are the window's own.
namespace bench {

// A browser view that shows nothing.
class StandInBrowser final : public platform::BrowserView {
 public:
  QWidget* Widget() override { return &widget_; }
  void Navigate(const std::string& address) override { location_ = address; }
  std::string LocationURL() const override { return location_; }
  void SetDocumentBackground(const std::string&) override {}

 private:
  QWidget widget_;
  std::string location_;
};

// Message boxes that answer No and show nothing.
class NoBoxes final : public platform::MessageBoxes {
 public:
  void Inform(const std::string&) override {}
  bool AskYesNo(const std::string&, const std::string&) override { return false; }
  void ShowError(const std::string&) override {}
};

}  // namespace bench
