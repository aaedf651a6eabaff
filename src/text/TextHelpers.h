#pragma once

#include <string>
#include <string_view>

// The small text routines both workers apply to what they send and receive.
// Every text is a CP936 byte string; positions and lengths count bytes. None of
// them keeps state, so any thread may call them.
namespace strivo {

// Code pages as the workers name them.
constexpr unsigned kAnsiCodePage = 0;  // the system's code page, 936
constexpr unsigned kUtf8CodePage = 65001;

// The bytes between the first `startMarker` and the first `endMarker` at or
// after the end of it. Empty when either is missing. An empty end marker takes
// the rest of the text; an empty start marker matches at position 0.
std::string TextBetween(std::string_view text, std::string_view startMarker,
                        std::string_view endMarker);

// `text` without blanks (space, tab, CR, LF, VT, FF) at either end. Trail
// bytes of CP936 are never blanks, so this never cuts a character.
std::string_view TrimBlanks(std::string_view text);

// Replaces UTF-8 `text` (up to its first zero byte) by its CP936 conversion.
void Utf8ToAnsi(std::string& text);

// Form-encodes one value: a space becomes "+", the 21 other reserved characters
// " < > % \ ^ [ ] ` + $ , @ : ; / ! # ? = & become "%" and two lowercase hex
// digits, bytes 0x21..0x7A otherwise stand for themselves, and every other byte
// becomes "%" and two uppercase hex digits. `text` is replaced by the encoded
// value, which is also returned. With kUtf8CodePage the value is converted to
// UTF-8 first; any other code page sends the CP936 bytes as they are.
std::string FormEncode(std::string& text, unsigned codePage = kAnsiCodePage);

// Percent-encodes every byte outside A-Z a-z 0-9 - . _ ~ as "%XX" (RFC 3986),
// for values inside a URL's query.
std::string PercentEncode(std::string_view text);

// Milliseconds (a decimal number read as a signed 32-bit integer, strtol-style,
// clamped on overflow) as "<h>小时<m>分<s>秒" in CP936; the part below a second
// is dropped, and hours are not carried into days.
std::string FormatDuration(std::string_view milliseconds);

}  // namespace strivo
