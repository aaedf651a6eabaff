#include "files/XmlTokenGuard.h"

#include <algorithm>

namespace strivo {
namespace {

// Enough of a token's beginning to say which it is.
constexpr std::size_t kHeadSize = 32;

constexpr bool IsQuote(char32_t unit) {
    return unit == '"' || unit == '\'';
}

// What may follow '&' before its ';': anything but blanks and markup.
constexpr bool EndsReference(char32_t unit) {
    return unit <= ' ' || unit == '<' || unit == '>' || unit == '&' || IsQuote(unit);
}

using Stops = std::array<bool, 256>;

// The bytes at which a state may change (`stops`, or every byte), and the
// line ends, which are counted.
constexpr Stops StopsAt(std::string_view stops, bool every = false) {
    Stops table{};
    for (std::size_t byte = 0; byte < table.size(); ++byte) {
        table[byte] = every || byte == '\r' || byte == '\n' ||
                      stops.find(static_cast<char>(byte)) != std::string_view::npos;
    }
    return table;
}

constexpr Stops kEvery = StopsAt("", true);
constexpr Stops kInContent = StopsAt("<&");
// After '<' only "!" and "?" say more than a tag would.
constexpr Stops kInOpen = StopsAt("!?>\"'");
constexpr Stops kInTag = StopsAt(">\"'");
constexpr Stops kInQuoted = StopsAt("\"'");
constexpr Stops kInComment = StopsAt("->");
constexpr Stops kInInstruction = StopsAt("?>");
constexpr Stops kInCData = StopsAt("]>");
constexpr Stops kInDoctype = StopsAt("\"'[>");

// Each state's stops, in the order of XmlTokenGuard::State; the short or rare
// states take a unit at a time.
constexpr const Stops* kStops[] = {
    &kInContent,     &kEvery,   &kInOpen,    &kEvery, &kInTag, &kInQuoted, &kInComment,
    &kInInstruction, &kInCData, &kInDoctype, &kEvery, &kEvery, &kEvery,
};

}  // namespace

Outcome XmlTokenGuard::Scan(std::string_view bytes) {
    if (m_problem) {
        return *m_problem;
    }
    m_piece = bytes;
    // Where `bytes` begins: past a first byte held back to tell the encoding.
    m_pieceStart = m_offset + (!m_started && m_firstByte >= 0 ? 1 : 0);
    std::size_t i = 0;
    // Two bytes tell UTF-16 by its byte-order mark, which is no unit.
    for (; !m_started && i < bytes.size(); ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (m_firstByte < 0) {
            m_firstByte = byte;
            continue;
        }
        m_started = true;
        if ((m_firstByte == 0xFE && byte == 0xFF) || (m_firstByte == 0xFF && byte == 0xFE)) {
            m_unitSize = 2;
            m_bigEndian = m_firstByte == 0xFE;
            m_offset += 2;
        } else {
            Unit(static_cast<char32_t>(m_firstByte), m_offset++);
            --i;  // this byte is the next unit
        }
    }
    if (m_unitSize == 1) {
        ScanBytes(bytes.substr(i));
    } else {
        ScanUnits(bytes.substr(i));
    }
    if (m_tooLong) {
        return Refuse();
    }
    if (m_inToken) {
        TakeHead();
        // Open at the limit, it is longer: it has yet to end.
        if (OpenToken() >= kTokenLimit) {
            return Refuse();
        }
    }
    return {};
}

// A byte a unit: the bytes that cannot change the state go by in one
// stretch, as fast as a table lookup, and the usual steps of a tag are
// taken here; every other unit goes through Unit.
void XmlTokenGuard::ScanBytes(std::string_view bytes) {
    const std::uint64_t base = m_offset;
    std::size_t i = 0;
    while (i < bytes.size() && !m_tooLong) {
        const Stops& stops = *kStops[static_cast<std::size_t>(m_state)];
        std::size_t j = i;
        while (j < bytes.size() && !stops[static_cast<unsigned char>(bytes[j])]) {
            ++j;
        }
        if (j > i) {
            m_run = 0;
            m_lastWasCr = false;
        }
        if (j == bytes.size()) {
            break;
        }
        const auto byte = static_cast<unsigned char>(bytes[j]);
        const std::uint64_t at = base + j;
        i = j + 1;
        const bool inTag = m_state == State::Tag || m_state == State::Open;
        if (byte == '\n' && (inTag || m_state == State::Content || m_state == State::Quoted)) {
            m_line += m_lastWasCr ? 0 : 1;
            m_lastWasCr = false;
            m_state = m_state == State::Open ? State::Tag : m_state;
            continue;
        }
        if (IsQuote(byte) && inTag) {
            m_quote = byte;
            m_quotedFrom = State::Tag;
            m_state = State::Quoted;
        } else if (m_state == State::Quoted && byte == m_quote) {
            m_state = m_quotedFrom;
        } else if (byte == '>' && inTag) {
            End(State::Content, at + 1);
        } else if (byte == '<' && m_state == State::Content) {
            Begin(State::Open, at);
        } else {
            Unit(byte, at);
            continue;
        }
        m_lastWasCr = false;
    }
    m_offset = base + bytes.size();
}

void XmlTokenGuard::ScanUnits(std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size() && !m_tooLong; ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (m_pendingByte < 0) {
            m_pendingByte = byte;
            continue;
        }
        const auto pending = static_cast<char32_t>(m_pendingByte);
        const char32_t unit =
            m_bigEndian ? (pending << 8 | byte) : (static_cast<char32_t>(byte) << 8 | pending);
        m_pendingByte = -1;
        Unit(unit, m_offset + i - 1);
    }
    m_offset += bytes.size();
}

void XmlTokenGuard::Unit(char32_t unit, std::uint64_t at) {
    // Lines end as expat ends them: CR, LF or CR LF.
    if (unit == '\r' || (unit == '\n' && !m_lastWasCr)) {
        ++m_line;
    }
    m_lastWasCr = unit == '\r';
    Step(unit, at);
}

void XmlTokenGuard::Begin(State state, std::uint64_t at) {
    m_state = state;
    m_inToken = true;
    m_tokenStart = m_headEnd = at;
    m_head.clear();
    m_tokenLine = m_line;
    m_run = 0;
}

void XmlTokenGuard::End(State next, std::uint64_t after) {
    if (after - m_tokenStart > kTokenLimit) {
        TakeHead();
        m_tooLong = true;
    }
    m_state = next;
    m_inToken = false;
}

bool XmlTokenGuard::Closes(char32_t unit, char32_t run, int needed, char32_t last) {
    if (unit == last && m_run >= needed) {
        m_run = 0;
        return true;
    }
    m_run = unit == run ? m_run + 1 : 0;
    return false;
}

void XmlTokenGuard::TakeHead() {
    const std::uint64_t end = m_pieceStart + m_piece.size();
    std::uint64_t at = std::max(m_headEnd, m_pieceStart);
    for (; at < end && m_head.size() < kHeadSize; ++at) {
        const auto c = static_cast<unsigned char>(m_piece[at - m_pieceStart]);
        if (c != 0) {  // UTF-16's other half of ASCII
            m_head.push_back(c < ' ' ? ' ' : c < 0x7F ? static_cast<char>(c) : '?');
        }
    }
    m_headEnd = at;
}

Outcome XmlTokenGuard::Refuse() {
    m_problem = Problem(ProblemCode::XmlTokenTooLong, {std::to_string(m_tokenLine), m_head});
    return *m_problem;
}

void XmlTokenGuard::Step(char32_t unit, std::uint64_t at) {
    const std::uint64_t after = at + static_cast<std::uint64_t>(m_unitSize);
    switch (m_state) {
        case State::Content:
            if (unit == '<') {
                Begin(State::Open, at);
            } else if (unit == '&') {
                Begin(State::Reference, at);
            }
            return;
        case State::Reference:
            if (unit == ';') {
                End(State::Content, after);
            } else if (EndsReference(unit)) {
                End(State::Content, at);  // not well-formed: expat says where
                Step(unit, at);
            }
            return;
        case State::Open:
            // '!' and '?' say what follows only right after '<', where a
            // tag's name would begin; later they leave it not well-formed.
            if (unit == '!' && at == m_tokenStart + static_cast<std::uint64_t>(m_unitSize)) {
                m_state = State::Bang;
                m_bang.clear();
            } else if (unit == '?' && at == m_tokenStart + static_cast<std::uint64_t>(m_unitSize)) {
                m_state = State::Instruction;
            } else {
                m_state = State::Tag;
                Step(unit, at);
            }
            return;
        case State::Bang:
            StepBang(unit, at);
            return;
        case State::Tag:
            if (IsQuote(unit)) {
                m_quote = unit;
                m_quotedFrom = State::Tag;
                m_state = State::Quoted;
            } else if (unit == '>') {
                End(State::Content, after);
            }
            return;
        case State::Quoted:
            if (unit == m_quote) {
                m_state = m_quotedFrom;
            }
            return;
        case State::Comment:
            if (Closes(unit, '-', 2, '>')) {
                End(State::Content, after);
            }
            return;
        case State::Instruction:
            if (Closes(unit, '?', 1, '>')) {
                End(State::Content, after);
            }
            return;
        case State::CData:
            if (Closes(unit, ']', 2, '>')) {
                m_state = State::Content;
            }
            return;
        default:
            StepDoctype(unit, at);
            return;
    }
}

void XmlTokenGuard::StepBang(char32_t unit, std::uint64_t at) {
    static constexpr std::string_view kComment = "--", kCData = "[CDATA[", kDoctype = "DOCTYPE";
    m_bang.push_back(unit < 0x80 ? static_cast<char>(unit) : '\0');
    if (m_bang == kComment) {
        m_state = State::Comment;
        m_run = 0;
    } else if (m_bang == kCData) {
        // Expat hands out a CDATA section's text as it comes.
        End(State::CData, at + static_cast<std::uint64_t>(m_unitSize));
        m_run = 0;
    } else if (m_bang == kDoctype) {
        m_state = State::Doctype;
    } else if (!kComment.starts_with(m_bang) && !kCData.starts_with(m_bang) &&
               !kDoctype.starts_with(m_bang)) {
        // A declaration outside a document type, which expat refuses.
        m_state = State::Tag;
        Step(unit, at);
    }
}

// The document type is one token, internal subset and all: no run file
// needs one anywhere near the limit.
void XmlTokenGuard::StepDoctype(char32_t unit, std::uint64_t at) {
    const auto quote = [&](State from) {
        m_quote = unit;
        m_quotedFrom = from;
        m_state = State::Quoted;
    };
    switch (m_state) {
        case State::Doctype:
            if (IsQuote(unit)) {
                quote(State::Doctype);
            } else if (unit == '[') {
                m_state = State::Subset;
                m_recent = 0;
            } else if (unit == '>') {
                End(State::Content, at + static_cast<std::uint64_t>(m_unitSize));
            }
            return;
        case State::Subset:
            m_recent = m_recent << 8 | (unit < 0x80 ? unit : 0);
            if (IsQuote(unit)) {
                quote(State::Subset);
            } else if (unit == ']') {
                m_state = State::Doctype;
            } else if (m_recent == ('<' << 24 | '!' << 16 | '-' << 8 | '-')) {
                m_state = State::SubsetComment;
                m_run = 0;
            } else if ((m_recent & 0xFFFF) == ('<' << 8 | '?')) {
                m_state = State::SubsetInstruction;
                m_run = 0;
            }
            return;
        case State::SubsetComment:
        case State::SubsetInstruction: {
            const bool comment = m_state == State::SubsetComment;
            if (Closes(unit, comment ? '-' : '?', comment ? 2 : 1, '>')) {
                m_state = State::Subset;
                m_recent = 0;
            }
            return;
        }
        default:
            return;
    }
}

}  // namespace strivo
