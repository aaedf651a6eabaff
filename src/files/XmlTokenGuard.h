#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "model/Result.h"

namespace strivo {

// Follows the bytes on their way to expat, and refuses a document as soon as
// it holds a token of markup longer than kTokenLimit.
//
// Expat 2.5 (Debian 12's library) keeps a token it has not seen the end of
// and scans it again from its start with each piece it is given, so one long
// token costs its length squared: a 64 MiB attribute takes minutes. (The
// copy Debian's later security update brings, which the Windows build
// compiles, puts such scans off, but caps nothing.) What expat holds whole
// counts here: a tag with its attributes (a '>' in a quoted value ends
// nothing), a comment, a processing instruction, a reference, and the
// document type declaration with its internal subset. Text and CDATA, which
// expat hands out as they come, are no token. UTF-16 is followed by the unit,
// from its byte-order mark; anything else as bytes whose markup is ASCII.
class XmlTokenGuard {
public:
    static constexpr std::size_t kTokenLimit = std::size_t{1} << 20;

    // The next bytes of the document. XmlTokenTooLong (the line the token
    // begins on, its first characters) once a token is longer than the
    // limit, or still open at it.
    Outcome Scan(std::string_view bytes);
    // The bytes of the token still open after what was scanned, 0 between tokens.
    std::size_t OpenToken() const { return m_inToken ? m_offset - m_tokenStart : 0; }

private:
    // Kept in the order of the table of stops in the source.
    enum class State : std::uint8_t {
        Content,
        Reference,
        Open,    // just after '<'
        Bang,    // after "<!", until it says what follows
        Tag,     // a start or end tag, or a declaration
        Quoted,  // a quoted value, inside a tag or the document type
        Comment,
        Instruction,
        CData,  // inside a CDATA section: no token
        Doctype,
        Subset,  // the document type's internal subset
        SubsetComment,
        SubsetInstruction,
    };

    void ScanBytes(std::string_view bytes);
    void ScanUnits(std::string_view bytes);
    // A unit that may change the state, at `at` bytes into the document.
    void Unit(char32_t unit, std::uint64_t at);
    void Step(char32_t unit, std::uint64_t at);
    void StepBang(char32_t unit, std::uint64_t at);
    void StepDoctype(char32_t unit, std::uint64_t at);
    void Begin(State state, std::uint64_t at);
    void End(State next, std::uint64_t after);
    // True at the unit that closes "-->", "?>" or "]]>": `last` after at
    // least `needed` of `run` in a row.
    bool Closes(char32_t unit, char32_t run, int needed, char32_t last);
    // The open token's first characters, from the piece in hand.
    void TakeHead();
    Outcome Refuse();

    State m_state = State::Content;
    State m_quotedFrom = State::Tag;  // where a quoted value goes back to
    char32_t m_quote = 0;
    int m_run = 0;               // closing characters in a row ('-', '?', ']')
    std::string m_bang;          // what follows "<!", up to "DOCTYPE"
    std::uint32_t m_recent = 0;  // the last four units in the internal subset
    std::uint64_t m_offset = 0;  // bytes scanned so far
    bool m_inToken = false;
    bool m_tooLong = false;  // a token ended past the limit
    std::uint64_t m_tokenStart = 0;
    std::uint64_t m_headEnd = 0;  // the bytes of the token its head was taken from
    std::string m_head;
    std::size_t m_tokenLine = 1;
    std::size_t m_line = 1;
    bool m_lastWasCr = false;
    // The encoding, from the first two bytes: a byte a unit, or UTF-16.
    int m_firstByte = -1;
    bool m_started = false;
    int m_unitSize = 1;
    bool m_bigEndian = false;
    int m_pendingByte = -1;    // the first byte of a UTF-16 unit split between pieces
    std::string_view m_piece;  // what Scan has in hand, from m_pieceStart on
    std::uint64_t m_pieceStart = 0;
    std::optional<Problem> m_problem;
};

}  // namespace strivo
