#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace strivo {

// Turns a response body into the text the workers read, line by line: every
// CR byte is dropped; what remains is taken in reads of at most kReadLimit
// bytes that end after a LF; within one read a zero byte ends the text taken
// from that read; every LF is written as CR LF. Bytes arrive in pieces of any
// size, so a read may span several pieces. No network, no state beyond the
// current read.
class BodyLineReader {
public:
    static constexpr std::size_t kReadLimit = 4094;
    // Receives the text of each piece as soon as it is made.
    using Sink = std::function<void(std::string_view text)>;

    BodyLineReader() = default;  // keeps the text, for Text()
    explicit BodyLineReader(Sink sink) : m_sink(std::move(sink)) {}

    void Append(std::string_view bytes);
    const std::string& Text() const { return m_text; }
    // What came before each zero byte that cut a read, up to kCutContext
    // bytes of that read (CR-free), for the first kCutsKept of them: what
    // was lost can be named.
    static constexpr std::size_t kCutContext = 48;
    static constexpr std::size_t kCutsKept = 20;
    std::vector<std::string> TakeCuts() { return std::move(m_cuts); }
    std::string TakeText() { return std::move(m_text); }  // the reader is done with

private:
    // Writes the text of `bytes` from `out` on; returns where it ended.
    char* Convert(std::string_view bytes, char* out);
    // Keeps the end of a read's text that a zero byte cut.
    void NoteCut(std::string_view read);

    Sink m_sink;
    std::string m_text;
    std::string m_piece;           // room for the text of one piece
    std::size_t m_readLength = 0;  // CR-free bytes taken by the current read
    bool m_readCut = false;        // a zero byte ended the current read's text
    std::vector<std::string> m_cuts;
};

}  // namespace strivo
