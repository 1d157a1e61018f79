#include "platform/qt/message_boxes.h"

#include <QApplication>
#include <QMessageBox>

#include "platform/qt/text.h"

namespace platform {

void QtMessageBoxes::Inform(const std::string& text) {
  QMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(), ToQString(text), QMessageBox::Ok);
  box.exec();
}

bool QtMessageBoxes::AskYesNo(const std::string& text, const std::string& caption) {
  QMessageBox box(QMessageBox::NoIcon, ToQString(caption), ToQString(text), QMessageBox::Yes | QMessageBox::No);
  box.setDefaultButton(QMessageBox::Yes);
  return box.exec() == QMessageBox::Yes;
}

void QtMessageBoxes::ShowError(const std::string& text) {
  QMessageBox box(QMessageBox::Critical, QApplication::applicationName(), ToQString(text), QMessageBox::Ok);
  box.exec();
}

}  // namespace platform
