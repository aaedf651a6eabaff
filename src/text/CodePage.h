#pragma once

#include <string>
#include <string_view>

// Conversions between the system's code page (936, GBK) and UTF-8.
//
// Every text inside Strivo is a CP936 byte string; UTF-8 appears only at the
// edges (widgets, terminal, the run service's account data). This header is the
// one place that knows how to cross that edge. On Linux it is implemented with
// glibc's iconv (CodePageIconv.cpp), on Windows with MultiByteToWideChar /
// WideCharToMultiByte (CodePageWin.cpp); both follow the rules below.
//
// Both directions reproduce what the Windows converters do with flags 0:
//   - a character that code page 936 cannot represent becomes "?";
//   - an invalid UTF-8 sequence (per maximal subpart) becomes U+FFFD, and so "?"
//     on the way into CP936;
//   - an invalid CP936 byte pair decodes to "?": two bytes are skipped when a lead
//     byte is followed by a valid trail byte, otherwise one.
// Two exceptions to the Windows converters: no best-fit substitutes are made
// (U+00C0 becomes "?", not the "a-grave" of CP936), and the user-defined areas,
// which Windows maps to private-use characters U+E000..U+F8FF, are unassigned.
// No input ever shortens the output: conversion continues after every bad byte.
namespace strivo {

std::string Utf8ToCp936(std::string_view utf8);
std::string Cp936ToUtf8(std::string_view cp936);

// CP936 lead bytes are 0x81..0xFE; trail bytes 0x40..0xFE except 0x7F. A trail
// byte can be an ASCII character such as "[", "]", "\" or a letter, so code
// that scans CP936 text for ASCII delimiters must step over double-byte pairs.
constexpr bool IsCp936LeadByte(unsigned char byte) {
    return byte >= 0x81 && byte <= 0xFE;
}
constexpr bool IsCp936TrailByte(unsigned char byte) {
    return byte >= 0x40 && byte <= 0xFE && byte != 0x7F;
}

// True when `text` is well-formed UTF-8 throughout.
bool IsUtf8(std::string_view text);

// Length of the character starting at `pos`: 2 for a lead byte followed by a
// trail byte, otherwise 1.
std::size_t Cp936CharLength(std::string_view text, std::size_t pos);

// The longest prefix of `text` of at most `maxBytes` bytes that does not end in
// the middle of a double-byte character.
std::string_view Cp936Prefix(std::string_view text, std::size_t maxBytes);

}  // namespace strivo
