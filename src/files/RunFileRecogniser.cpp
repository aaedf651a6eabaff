#include "files/RunFileRecogniser.h"

#include <memory>
#include <string>

#include "files/GzipSource.h"
#include "io/PathText.h"
#include "text/TextHelpers.h"

namespace strivo {
namespace {

enum class Content { Unknown, Gpx, Tcx, Fit, Csv, Gzip, Zip, OtherXml, XmlRootUnseen };

constexpr std::string_view kSequenceTitleCp936 = "\xD0\xF2\xBA\xC5,";  // 序号,
constexpr std::string_view kSequenceTitleUtf8 = "\xEF\xBB\xBF\xE5\xBA\x8F\xE5\x8F\xB7,";

bool IsXmlBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// The root element's local name, past the declaration, comments,
// processing instructions and a document type; empty when the bytes end first.
std::string_view RootName(std::string_view text) {
    for (;;) {
        while (!text.empty() && IsXmlBlank(text.front())) {
            text.remove_prefix(1);
        }
        std::string_view close;
        if (text.starts_with("<?")) {
            close = "?>";
        } else if (text.starts_with("<!--")) {
            close = "-->";
        } else if (text.starts_with("<!")) {
            // A document type, with an internal subset in brackets perhaps.
            const std::size_t subset = text.find('[');
            const std::size_t end = text.find('>');
            close = subset < end ? "]>" : ">";
        } else if (text.starts_with("<")) {
            text.remove_prefix(1);
            const std::size_t end = text.find_first_of(" \t\r\n/>");
            if (end == std::string_view::npos) {
                return {};
            }
            std::string_view name = text.substr(0, end);
            if (const std::size_t colon = name.find(':'); colon != std::string_view::npos) {
                name.remove_prefix(colon + 1);
            }
            return name;
        } else {
            return {};
        }
        const std::size_t end = text.find(close);
        if (end == std::string_view::npos) {
            return {};
        }
        text.remove_prefix(end + close.size());
    }
}

// "<digits>,YYYY-" or "<digits>,YYYY/": the first line of the export.
bool StartsLikeARun(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && IsDigit(text[i])) {
        ++i;
    }
    if (i == 0 || i + 6 > text.size() || text[i] != ',') {
        return false;
    }
    const std::string_view year = text.substr(i + 1, 5);
    return IsDigit(year[0]) && IsDigit(year[1]) && IsDigit(year[2]) && IsDigit(year[3]) &&
           (year[4] == '-' || year[4] == '/');
}

Content ContentOf(std::string_view bytes) {
    if (bytes.starts_with("\x1F\x8B")) {
        return Content::Gzip;
    }
    // A local file header, or the end record of an empty archive.
    if (bytes.starts_with("PK\x03\x04") || bytes.starts_with("PK\x05\x06")) {
        return Content::Zip;
    }
    if (bytes.size() >= 12 && bytes.substr(8, 4) == ".FIT") {
        return Content::Fit;
    }
    if (bytes.starts_with(kSequenceTitleCp936) || bytes.starts_with(kSequenceTitleUtf8) ||
        StartsLikeARun(bytes)) {
        return Content::Csv;
    }
    // XML in UTF-8 (with a byte-order mark or without), or in UTF-16, whose
    // markup is ASCII with a zero byte beside each character.
    std::string ascii;
    if (bytes.starts_with("\xFE\xFF") || bytes.starts_with("\xFF\xFE")) {
        for (const char c : bytes.substr(2)) {
            if (c != '\0') {
                ascii.push_back(c);
            }
        }
        bytes = ascii;
    } else if (bytes.starts_with("\xEF\xBB\xBF")) {
        bytes.remove_prefix(3);
    }
    while (!bytes.empty() && IsXmlBlank(bytes.front())) {
        bytes.remove_prefix(1);
    }
    if (!bytes.starts_with("<")) {
        return Content::Unknown;
    }
    const std::string_view root = RootName(bytes);
    if (root.empty()) {
        return Content::XmlRootUnseen;
    }
    if (root == "gpx") {
        return Content::Gpx;
    }
    if (root == "TrainingCenterDatabase") {
        return Content::Tcx;
    }
    return Content::OtherXml;
}

std::optional<RunFileFormat> FormatOf(Content content) {
    switch (content) {
        case Content::Gpx:
            return RunFileFormat::Gpx;
        case Content::Tcx:
            return RunFileFormat::Tcx;
        case Content::Fit:
            return RunFileFormat::Fit;
        case Content::Csv:
            return RunFileFormat::Csv;
        default:
            return std::nullopt;
    }
}

std::string Ending(RunFileKind kind) {
    static constexpr const char* kEndings[] = {".gpx", ".tcx", ".fit", ".csv"};
    return std::string(kEndings[static_cast<int>(kind.format)]) + (kind.gzip ? ".gz" : "");
}

}  // namespace

std::optional<RunFileKind> KindOfName(const std::filesystem::path& name) {
    const std::string lower = LowerAscii(PathText(name.filename()));
    std::string_view rest = lower;
    RunFileKind kind;
    if (rest.ends_with(".gz")) {
        kind.gzip = true;
        rest.remove_suffix(3);
    }
    constexpr std::pair<std::string_view, RunFileFormat> kFormats[] = {
        {".gpx", RunFileFormat::Gpx},
        {".tcx", RunFileFormat::Tcx},
        {".fit", RunFileFormat::Fit},
        {".csv", RunFileFormat::Csv}};
    for (const auto& [ending, format] : kFormats) {
        if (rest.size() > ending.size() && rest.ends_with(ending)) {
            kind.format = format;
            return kind;
        }
    }
    return std::nullopt;
}

Result<RunFileKind> RecogniseRunFile(std::string_view firstBytes,
                                     const std::filesystem::path& name) {
    firstBytes = firstBytes.substr(0, kRecogniseBytes);
    Content content = ContentOf(firstBytes);
    bool gzip = false;
    if (content == Content::Gzip) {
        // The start of what it holds; a stream cut short here is no matter.
        MemorySource compressed(firstBytes);
        GzipSource inflated(compressed);
        std::string head(kRecogniseBytes, '\0');
        std::size_t size = 0;
        while (size < head.size()) {
            const std::size_t got = inflated.Read(head.data() + size, head.size() - size);
            if (got == 0) {
                break;
            }
            size += got;
        }
        head.resize(size);
        content = ContentOf(head);
        gzip = true;
        if (content == Content::Gzip || content == Content::Zip) {
            content = Content::Unknown;
        }
    }
    if (content == Content::Zip) {
        return Problem(ProblemCode::ImportZip, {PathText(name)});
    }
    const std::optional<RunFileKind> named = KindOfName(name);
    if (const auto format = FormatOf(content)) {
        const RunFileKind kind{*format, gzip};
        if (named && *named != kind) {
            return Problem(ProblemCode::ImportNameMismatch,
                           {PathText(name), Ending(kind), Ending(*named)});
        }
        return kind;
    }
    // Not told by the bytes: an XML root further on, or text that may be a
    // CSV file whose first line is not a run's; the name may still tell.
    if (named && named->gzip == gzip &&
        ((content == Content::XmlRootUnseen &&
          (named->format == RunFileFormat::Gpx || named->format == RunFileFormat::Tcx)) ||
         (content == Content::Unknown && named->format == RunFileFormat::Csv))) {
        return *named;
    }
    return Problem(ProblemCode::ImportNotARunFile, {PathText(name)});
}

}  // namespace strivo
