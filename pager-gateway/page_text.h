#pragma once

#include <string>
#include <string_view>

#include "pager-gateway/decoder_line.h"

namespace pagergw {

// The text a pager shows for a decoded page (single-byte text).
//
// POCSAG alpha: multimon-ng writes control characters as markers ("<NUL>",
// "<ETX>", "<EOT>", ... "<US>", "<DEL>"); the markers at the end of the message
// (the terminator and the padding of the last codeword) are dropped, those
// inside it become the byte they stand for. FLEX alpha is printed raw: control
// bytes at its end are dropped. Numeric pages lose the blank digits that pad
// their last codeword. A tone-only page has an empty text.
std::string PagerText(const DecodedPage& page);

// The byte a marker such as "<ETX>" stands for; -1 when it is no marker.
int MarkerByte(std::string_view marker);

}  // namespace pagergw
