#include "text/CodePage.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <stdexcept>
#include <vector>

#include "text/Utf8Sequence.h"

namespace strivo {
namespace {

// One converter per direction and thread: iconv_t keeps shift state and must
// not be shared between threads, and iconv_open is too slow to call per text.
class Converter {
public:
    Converter(const char* to, const char* from) : m_handle(iconv_open(to, from)) {
        if (m_handle == reinterpret_cast<iconv_t>(-1)) {
            throw std::runtime_error(std::string("iconv cannot convert ") + from + " to " + to);
        }
    }
    ~Converter() { iconv_close(m_handle); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    enum class Stop { Done, Invalid, Incomplete };

    // Converts as much of `in` as it can, appending to `out`. On return `in`
    // points at the byte that stopped the conversion (or is empty).
    Stop Convert(std::string_view& in, std::string& out) {
        iconv(m_handle, nullptr, nullptr, nullptr, nullptr);
        char* src = const_cast<char*>(in.data());
        std::size_t srcLeft = in.size();
        while (srcLeft > 0) {
            char buffer[4096];
            char* dst = buffer;
            std::size_t dstLeft = sizeof buffer;
            std::size_t rc = iconv(m_handle, &src, &srcLeft, &dst, &dstLeft);
            out.append(buffer, dst);
            if (rc != static_cast<std::size_t>(-1)) {
                continue;
            }
            if (errno == E2BIG) {
                continue;
            }
            in = std::string_view(src, srcLeft);
            return errno == EINVAL ? Stop::Incomplete : Stop::Invalid;
        }
        in = {};
        return Stop::Done;
    }

private:
    iconv_t m_handle;
};

Converter& ToCp936() {
    thread_local Converter converter("CP936", "UTF-8");
    return converter;
}

Converter& FromCp936() {
    thread_local Converter converter("UTF-8", "CP936");
    return converter;
}

// glibc's converters drop the tag characters U+E0000..U+E007F without a word;
// Windows writes "?" for them as for any other character CP936 lacks.
bool IsTagCharacter(std::string_view sequence) {
    return sequence.size() == 4 && sequence[0] == '\xF3' && sequence[1] == '\xA0' &&
           (sequence[2] == '\x80' || sequence[2] == '\x81');
}

}  // namespace

std::string Utf8ToCp936(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        // Take the longest well-formed run, convert it, then handle what stopped it.
        std::size_t end = pos;
        std::size_t badLength = 0;
        while (end < utf8.size()) {
            const std::size_t length = detail::Utf8SequenceLength(utf8.substr(end), &badLength);
            if (length == 0) {
                break;
            }
            if (IsTagCharacter(utf8.substr(end, length))) {
                badLength = length;
                break;
            }
            end += length;
        }
        std::string_view run = utf8.substr(pos, end - pos);
        while (!run.empty()) {
            if (ToCp936().Convert(run, out) == Converter::Stop::Done) {
                break;
            }
            // A well-formed character that CP936 lacks.
            out.push_back('?');
            std::size_t ignored;
            run.remove_prefix(detail::Utf8SequenceLength(run, &ignored));
        }
        pos = end;
        if (pos < utf8.size()) {
            out.push_back('?');  // U+FFFD or a tag character, which CP936 lacks too
            pos += badLength;
        }
    }
    return out;
}

namespace {

// Any CP936 text through iconv, a byte it cannot read as "?".
std::string ConvertFromCp936(std::string_view cp936) {
    std::string out;
    std::string_view rest = cp936;
    while (!rest.empty()) {
        if (FromCp936().Convert(rest, out) == Converter::Stop::Done) {
            break;
        }
        out.push_back('?');
        rest.remove_prefix(Cp936CharLength(rest, 0));
    }
    return out;
}

// Each double-byte character's UTF-8, found through iconv the first time the
// thread meets it: a table of a million rows repeats a few dozen characters,
// and a call into glibc's converter costs far more than a look-up. An entry
// holds up to three bytes and their count in its top byte; 0 is not yet known.
class DoubleByteCache {
public:
    void Append(unsigned char lead, unsigned char trail, std::string& out) {
        if (m_entries.empty()) {
            m_entries.resize(128 * 256);
        }
        std::uint32_t& entry = m_entries[static_cast<std::size_t>(lead & 0x7F) << 8 | trail];
        if (entry == 0) {
            const char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
            const std::string utf8 = ConvertFromCp936({pair, 2});
            if (utf8.empty() || utf8.size() > 3) {
                out += utf8;
                return;
            }
            entry = static_cast<std::uint32_t>(utf8.size()) << 24;
            for (std::size_t i = 0; i < utf8.size(); ++i) {
                entry |= std::uint32_t{static_cast<unsigned char>(utf8[i])} << (8 * i);
            }
        }
        for (std::uint32_t i = 0, size = entry >> 24; i < size; ++i) {
            out.push_back(static_cast<char>(entry >> (8 * i) & 0xFF));
        }
    }

private:
    std::vector<std::uint32_t> m_entries;
};

}  // namespace

std::string Cp936ToUtf8(std::string_view cp936) {
    thread_local DoubleByteCache characters;
    std::string out;
    out.reserve(cp936.size() + cp936.size() / 2);
    std::size_t pos = 0;
    while (pos < cp936.size()) {
        // ASCII reads the same in both.
        const std::size_t ascii = pos;
        while (pos < cp936.size() && static_cast<unsigned char>(cp936[pos]) < 0x80) {
            ++pos;
        }
        out.append(cp936.substr(ascii, pos - ascii));
        if (pos == cp936.size()) {
            break;
        }
        // A character at a time, as iconv steps through the text; a byte
        // standing alone is rare enough to take iconv's way each time.
        if (Cp936CharLength(cp936, pos) == 2) {
            characters.Append(static_cast<unsigned char>(cp936[pos]),
                              static_cast<unsigned char>(cp936[pos + 1]), out);
            pos += 2;
        } else {
            out += ConvertFromCp936(cp936.substr(pos, 1));
            ++pos;
        }
    }
    return out;
}

}  // namespace strivo
