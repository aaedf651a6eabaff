#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "files/ByteSource.h"
#include "files/XmlTokenGuard.h"
#include "model/Result.h"

struct XML_ParserStruct;

namespace strivo {

// Reads an XML document through expat in pieces, handing each element to a
// format's handler, in memory that does not grow with the file: the text of
// an element is kept only when the handler asks for it, and a text longer
// than kTextLimit bytes (blanks around it aside) is refused. Documents that declare entities are
// refused (no run file needs one; that shuts out entity expansion), external entities and DTDs are
// never loaded, and expat's own guard against expansion stays on. A token of markup longer than
// kTokenLimit is refused as it comes (XmlTokenGuard), and pieces grow with a long token, so
// reading costs time linear in the input.
class XmlReader {
public:
    static constexpr std::size_t kTextLimit = 128;
    // Elements nested deeper than this are refused.
    static constexpr int kDepthLimit = 256;
    // A token of markup longer than this is refused (XmlTokenTooLong).
    static constexpr std::size_t kTokenLimit = XmlTokenGuard::kTokenLimit;

    class Handler {
    public:
        virtual ~Handler() = default;
        // `space` is the element's namespace URI, empty when it has none;
        // `name` its local name. Attributes come in name, value pairs ending
        // with a null; their names are local too.
        virtual void OnStart(XmlReader& reader, std::string_view space, std::string_view name,
                             const char** attributes) = 0;
        // `text` is what KeepText collected, else empty.
        virtual void OnEnd(XmlReader& reader, std::string_view text) = 0;
    };

    explicit XmlReader(Handler& handler);
    ~XmlReader();
    XmlReader(const XmlReader&) = delete;
    XmlReader& operator=(const XmlReader&) = delete;

    // The whole document, to its end; the first problem stops it.
    Outcome Read(ByteSource& source);

    // From OnStart: collect the element's character data for its OnEnd.
    // A text beyond kTextLimit is refused as a bad value, or, for a text
    // that may be long and is only quoted (a name), `cut` to the limit.
    enum class Overflow { Refuse, Cut };
    void KeepText(Overflow overflow = Overflow::Refuse);
    // From either call: stop reading; Read returns `problem`.
    void Stop(Problem problem);
    // The line the parser is at, from 1.
    std::size_t Line() const;
    // An attribute's value, or empty.
    static std::optional<std::string_view> Attribute(const char** attributes,
                                                     std::string_view name);

private:
    struct Callbacks;

    Handler& m_handler;
    XML_ParserStruct* m_parser = nullptr;
    std::optional<Problem> m_problem;
    int m_depth = 0;
    std::string_view m_name;  // the element OnStart is handling
    int m_keepingAt = 0;      // the depth whose text is kept, 0 for none
    Overflow m_overflow = Overflow::Refuse;
    std::string m_keptName;
    std::size_t m_textSize = 0;
    std::array<char, kTextLimit> m_text{};
};

}  // namespace strivo
