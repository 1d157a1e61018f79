#pragma once

#include <QString>
#include <string>

namespace platform {

// Latin-1 is the program's single-byte text at the Qt boundary.
QString ToQString(const std::string& text);
std::string FromQString(const QString& text);

}  // namespace platform
