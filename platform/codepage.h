#pragma once

#include <string>
#include <string_view>

namespace platform {

// The program's text is single-byte Windows-1252. XML is Unicode (UTF-8 here).

// UTF-8 to Windows-1252: characters outside the code page become "?". A byte
// that does not start a valid UTF-8 sequence is taken as it stands, so a file
// written in the single-byte code page reads back unchanged.
std::string Utf8ToSingleByte(std::string_view utf8);

// Windows-1252 to UTF-8. The five byte values that Windows-1252 leaves
// undefined map to the control characters of the same number.
std::string SingleByteToUtf8(std::string_view text);

}  // namespace platform
