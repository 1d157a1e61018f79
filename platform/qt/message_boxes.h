#pragma once

#include "platform/browser_view.h"

namespace platform {

// Qt's modal message boxes.
class QtMessageBoxes final : public MessageBoxes {
 public:
  void Inform(const std::string& text) override;
  bool AskYesNo(const std::string& text, const std::string& caption) override;
  void ShowError(const std::string& text) override;
};

}  // namespace platform
