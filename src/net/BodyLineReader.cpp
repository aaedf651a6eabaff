#include "net/BodyLineReader.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "text/ByteScan.h"

namespace strivo {
namespace {

// Bytes below this are the ones with a rule of their own (zero, LF, CR) and a
// few rare control characters, which are plain.
constexpr unsigned kFirstPlain = '\r' + 1;

}  // namespace

void BodyLineReader::Append(std::string_view bytes) {
    // Each byte makes at most two (a LF makes CR LF); the word copies below
    // may write up to a word past the text.
    const std::size_t room = 2 * bytes.size() + sizeof(std::uint64_t);
    if (m_piece.size() < room) {
        m_piece.resize(room);
    }
    const std::string_view text(m_piece.data(), Convert(bytes, m_piece.data()) - m_piece.data());
    if (m_sink) {
        m_sink(text);
    } else {
        m_text += text;
    }
}

void BodyLineReader::NoteCut(std::string_view read) {
    if (m_cuts.size() < kCutsKept) {
        std::string& before =
            m_cuts.emplace_back(read.substr(read.size() - std::min(read.size(), kCutContext)));
        std::erase(before, '\r');
    }
}

char* BodyLineReader::Convert(std::string_view bytes, char* out) {
    const char* in = bytes.data();
    const char* const end = in + bytes.size();
    // The state in locals: stores through `out` could change any member. The
    // length of the current read is counted only where it matters, at a zero
    // byte and at the end: `length`, then the bytes since `lineStart` that
    // are not CRs. Reads end every kReadLimit bytes between two LFs.
    std::size_t length = m_readLength;
    bool cut = m_readCut;
    const char* lineStart = in;
    std::size_t carriageReturns = 0;
    while (in < end) {
        if (cut) {  // nothing is taken until the read ends
            const char byte = *in++;
            if (byte != '\r' && (++length == kReadLimit || byte == '\n')) {
                cut = false;
                lineStart = in;
                length = 0;
                carriageReturns = 0;
            }
            continue;
        }
        // Plain bytes go across as they are, eight at a time where they can:
        // lines are short, and a longer stride would overshoot most of them.
        for (;;) {
            if (end - in >= 8) {
                const std::uint64_t word = byte_scan::Load(in);
                std::memcpy(out, in, 8);
                const std::uint64_t stops = byte_scan::BytesBelow(word, kFirstPlain);
                if (stops == 0) {
                    in += 8;
                    out += 8;
                    continue;
                }
                const unsigned plain = byte_scan::FirstByte(stops);
                in += plain;
                out += plain;
            } else if (in == end) {
                break;
            }
            const char byte = *in;
            if (byte == '\n') {
                out[0] = '\r';
                out[1] = '\n';
                out += 2;
                lineStart = ++in;
                length = 0;
                carriageReturns = 0;
            } else if (byte == '\r') {
                ++in;
                ++carriageReturns;  // dropped before it could count towards a read
            } else if (byte != '\0') {
                *out++ = *in++;
            } else {
                break;
            }
        }
        if (in == end) {
            break;
        }
        // A zero byte: it cuts the rest of its read, unless it ends the read.
        const std::size_t taken =
            (length + static_cast<std::size_t>(in - lineStart) - carriageReturns) % kReadLimit + 1;
        ++in;
        if (taken == kReadLimit) {
            lineStart = in;
            length = 0;
            carriageReturns = 0;
        } else {
            NoteCut(std::string_view(lineStart, static_cast<std::size_t>(in - 1 - lineStart)));
            length = taken;
            cut = true;
        }
    }
    m_readLength =
        cut ? length
            : (length + static_cast<std::size_t>(end - lineStart) - carriageReturns) % kReadLimit;
    m_readCut = cut;
    return out;
}

}  // namespace strivo
