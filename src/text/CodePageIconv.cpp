#include "text/CodePage.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

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

std::string Cp936ToUtf8(std::string_view cp936) {
    // ASCII reads the same in both: a million RunIDs and times cost no iconv call.
    if (std::all_of(cp936.begin(), cp936.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        return std::string(cp936);
    }
    std::string out;
    out.reserve(cp936.size() * 3 / 2);
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

}  // namespace strivo
