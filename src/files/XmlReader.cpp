#include "files/XmlReader.h"

// Expat is built with DTD support on both systems (Debian's library, and
// the Windows build's copy of its source); the header declares the
// expansion guard's settings only under this name.
#ifndef XML_DTD
#define XML_DTD 1
#endif
#include <expat.h>

#include <algorithm>
#include <cstring>

#include "files/RunFileValues.h"
#include "files/XmlTokenGuard.h"

namespace strivo {
namespace {

// Between a namespace URI and a local name in the names expat reports.
constexpr char kSpaceSeparator = '\x01';
constexpr std::size_t kPieceSize = 64 * 1024;

std::pair<std::string_view, std::string_view> SplitName(const char* name) {
    const char* separator = std::strchr(name, kSpaceSeparator);
    if (separator == nullptr) {
        return {{}, name};
    }
    return {std::string_view(name, static_cast<std::size_t>(separator - name)), separator + 1};
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string Number(std::size_t value) {
    return std::to_string(value);
}

}  // namespace

struct XmlReader::Callbacks {
    static XmlReader& Self(void* data) { return *static_cast<XmlReader*>(data); }

    static void OnStart(void* data, const XML_Char* name, const XML_Char** attributes) {
        XmlReader& self = Self(data);
        // Expat may report a little more after a stop; none of it counts.
        if (self.m_problem) {
            return;
        }
        if (++self.m_depth > kDepthLimit) {
            self.Stop(Problem(ProblemCode::XmlTooDeep, {Number(self.Line())}));
            return;
        }
        const auto [space, local] = SplitName(name);
        // Attribute names without a namespace arrive bare; those with one are
        // of no format's concern and keep their URI in front.
        self.m_name = local;
        self.m_handler.OnStart(self, space, local, attributes);
    }

    static void OnEnd(void* data, const XML_Char*) {
        XmlReader& self = Self(data);
        if (self.m_problem) {
            return;
        }
        std::string_view text;
        if (self.m_keepingAt == self.m_depth) {
            text = std::string_view(self.m_text.data(), self.m_textSize);
            self.m_keepingAt = 0;
            XML_SetCharacterDataHandler(self.m_parser, nullptr);
        }
        self.m_handler.OnEnd(self, text);
        --self.m_depth;
    }

    static void OnText(void* data, const XML_Char* bytes, int length) {
        XmlReader& self = Self(data);
        if (self.m_keepingAt == 0 || self.m_problem) {
            return;
        }
        for (int i = 0; i < length; ++i) {
            const char c = bytes[i];
            if (self.m_textSize == 0 && IsBlank(c)) {
                continue;
            }
            if (self.m_textSize < kTextLimit) {
                self.m_text[self.m_textSize++] = c;
            } else if (!IsBlank(c) && self.m_overflow == Overflow::Refuse) {
                self.m_keepingAt = 0;
                self.Stop(Problem(ProblemCode::XmlBadValue,
                                  {Number(self.Line()), self.m_keptName,
                                   QuotedText({self.m_text.data(), self.m_textSize})}));
                return;
            }
        }
    }

    static void OnEntityDeclaration(void* data, const XML_Char*, int, const XML_Char*, int,
                                    const XML_Char*, const XML_Char*, const XML_Char*,
                                    const XML_Char*) {
        XmlReader& self = Self(data);
        self.Stop(Problem(ProblemCode::XmlEntitiesRefused, {Number(self.Line())}));
    }
};

XmlReader::XmlReader(Handler& handler) : m_handler(handler) {}

XmlReader::~XmlReader() {
    if (m_parser != nullptr) {
        XML_ParserFree(m_parser);
    }
}

void XmlReader::KeepText(Overflow overflow) {
    m_overflow = overflow;
    // Only while a text is kept: expat calls nobody for the blanks between
    // elements, which are most of the text of a file.
    XML_SetCharacterDataHandler(m_parser, &Callbacks::OnText);
    m_keepingAt = m_depth;
    m_textSize = 0;
    m_keptName.assign(m_name);
}

void XmlReader::Stop(Problem problem) {
    if (!m_problem) {
        m_problem = std::move(problem);
        XML_StopParser(m_parser, XML_FALSE);
    }
}

std::size_t XmlReader::Line() const {
    return static_cast<std::size_t>(XML_GetCurrentLineNumber(m_parser));
}

std::optional<std::string_view> XmlReader::Attribute(const char** attributes,
                                                     std::string_view name) {
    for (; attributes[0] != nullptr; attributes += 2) {
        if (name.compare(attributes[0]) == 0) {
            return std::string_view(attributes[1]);
        }
    }
    return std::nullopt;
}

Outcome XmlReader::Read(ByteSource& source) {
    if (m_parser != nullptr) {
        XML_ParserFree(m_parser);
    }
    m_problem.reset();
    m_depth = m_keepingAt = 0;
    m_parser = XML_ParserCreateNS(nullptr, kSpaceSeparator);
    if (m_parser == nullptr) {
        return Problem(ProblemCode::XmlMalformed, {"0", "0"}, "out of memory");
    }
    XML_SetUserData(m_parser, this);
    XML_SetElementHandler(m_parser, &Callbacks::OnStart, &Callbacks::OnEnd);
    XML_SetEntityDeclHandler(m_parser, &Callbacks::OnEntityDeclaration);
    // No external entity is read (no handler loads one), nor the external
    // subset or parameter entities; the expansion guard stays on, tighter
    // than its defaults.
    XML_SetParamEntityParsing(m_parser, XML_PARAM_ENTITY_PARSING_NEVER);
    XML_SetBillionLaughsAttackProtectionMaximumAmplification(m_parser, 20.0f);
    XML_SetBillionLaughsAttackProtectionActivationThreshold(m_parser, 1024 * 1024);

    XmlTokenGuard guard;
    std::size_t piece = kPieceSize;
    for (;;) {
        void* buffer = XML_GetBuffer(m_parser, static_cast<int>(piece));
        if (buffer == nullptr) {
            return Problem(ProblemCode::XmlMalformed, {"0", "0"}, "out of memory");
        }
        const std::size_t got = source.Read(static_cast<char*>(buffer), piece);
        const bool last = got == 0;
        if (Outcome guarded = guard.Scan({static_cast<const char*>(buffer), got}); !guarded) {
            return guarded;
        }
        if (XML_ParseBuffer(m_parser, static_cast<int>(got), last) != XML_STATUS_OK) {
            if (m_problem) {
                return *m_problem;
            }
            return Problem(ProblemCode::XmlMalformed,
                           {Number(Line()), Number(XML_GetCurrentColumnNumber(m_parser) + 1)},
                           XML_ErrorString(XML_GetErrorCode(m_parser)));
        }
        if (m_problem) {
            return *m_problem;
        }
        if (last) {
            return {};
        }
        // Pieces as long as the open token, which expat scans again with
        // each: a few times in all.
        piece = std::clamp(guard.OpenToken(), kPieceSize, kTokenLimit);
    }
}

}  // namespace strivo
