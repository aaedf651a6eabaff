#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// The small text routines both workers apply to what they send and receive.
// Every text is a CP936 byte string; positions and lengths count bytes. None of
// them keeps state, so any thread may call them.
namespace strivo {

// The bytes between the first `startMarker` and the first `endMarker` at or
// after the end of it. Empty when either is missing. An empty end marker takes
// the rest of the text; an empty start marker matches at position 0.
std::string TextBetween(std::string_view text, std::string_view startMarker,
                        std::string_view endMarker);

// `text` without blanks (space, tab, CR, LF, VT, FF) at either end. Trail
// bytes of CP936 are never blanks, so this never cuts a character.
std::string_view TrimBlanks(std::string_view text);

// Form-encodes one value: a space becomes "+", the 21 other reserved characters
// " < > % \ ^ [ ] ` + $ , @ : ; / ! # ? = & become "%" and two lowercase hex
// digits, bytes 0x21..0x7A otherwise stand for themselves, and every other byte
// becomes "%" and two uppercase hex digits. Byte by byte: the CP936 bytes are
// sent as they are.
std::string FormEncode(std::string_view text);

// Percent-encodes every byte outside A-Z a-z 0-9 - . _ ~ as "%XX" (RFC 3986),
// for values inside a URL's query.
std::string PercentEncode(std::string_view text);
// Exactly what PercentEncode writes, decoded; anything else is empty.
std::optional<std::string> PercentDecode(std::string_view text);

// The leading decimal number of `text` as strtoll reads it: leading white
// space, an optional sign, digits; out-of-range values clamp to the 64-bit
// limits; no digits give 0. A total of years fits.
std::int64_t ReadMilliseconds(std::string_view text);

// A decimal number written in full ("5.0321", "-2", "7."), else empty.
std::optional<double> ParseDecimal(std::string_view text);
// Whole digits, optionally signed, else empty.
std::optional<std::int64_t> ParseInteger(std::string_view text);

// Whole hours, minutes and seconds; the part below a second is dropped, and
// hours are not carried into days. Negative values give negative parts.
struct Duration {
    std::int64_t hours = 0;
    std::int64_t minutes = 0;
    std::int64_t seconds = 0;
};
Duration SplitMilliseconds(std::int64_t milliseconds);

// The unit words of a duration, in CP936.
inline constexpr std::string_view kHours = "\xD0\xA1\xCA\xB1";  // 小时
inline constexpr std::string_view kMinutes = "\xB7\xD6";        // 分
inline constexpr std::string_view kSeconds = "\xC3\xEB";        // 秒

// `text` appended to `out` as markup text: & < > " become entities. With
// `forXml`, a CR becomes "&#13;" (a parser would read a raw one as LF) and the
// other C0 controls XML 1.0 forbids (all but tab and LF) are dropped; without
// it they stay, as HTML takes them.
void AppendMarkupEscaped(std::string& out, std::string_view text, bool forXml);

// ASCII letters in lower case; every other byte as it is (CP936 trail
// bytes included, which a locale's tolower might change).
char LowerAscii(char c);
std::string LowerAscii(std::string_view text);

// The value of a hexadecimal digit, either case; -1 for any other byte.
int HexDigitValue(char c);
// The bytes as lowercase hex digits, two per byte.
std::string ToHex(std::span<const std::uint8_t> bytes);

// What came from outside (a RunID, a server's words, a redirect's Location,
// a stored reason) as every face shows it: each control character (C0, DEL,
// and in UTF-8 C1) becomes "?", so that nothing it holds can move a
// terminal's cursor, retitle a window or ring its bell. CP936 has no C1
// controls, and none of its trail bytes is a control. With `keepLineEnds`,
// '\n' and "\r\n" stay (a document, a message of several lines).
enum class TextEncoding { Utf8, Cp936 };
std::string MaskControls(std::string text, TextEncoding encoding = TextEncoding::Utf8,
                         bool keepLineEnds = false);
// Whether MaskControls would change `text`.
bool HoldsControls(std::string_view text, TextEncoding encoding = TextEncoding::Utf8);

// A UTF-8 text cut after `characters` characters, the cut marked with "…";
// a shorter one as it is.
std::string CutText(std::string_view utf8, std::size_t characters);

}  // namespace strivo
