// The stand-ins' reading of form bodies and query strings, against what the
// clients write. Whatever fields a client form-encodes, the stand-ins must
// read back exactly; whatever a body holds, the fields read
// from it, encoded again, must read back the same.
#include "FuzzSupport.h"
#include "sim/RequestParsing.h"
#include "text/TextHelpers.h"

namespace {

using strivo::fuzz::Printable;
using strivo::sim::FieldList;

std::string Describe(const FieldList& fields) {
    std::string text;
    for (const auto& [name, value] : fields) {
        text += "[" + Printable(name, 60) + "=" + Printable(value, 60) + "]";
    }
    return text;
}

std::string EncodeForm(const FieldList& fields) {
    std::string body;
    for (const auto& [name, value] : fields) {
        if (!body.empty()) {
            body += '&';
        }
        body += strivo::FormEncode(name) + "=" + strivo::FormEncode(value);
    }
    return body;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using strivo::sim::ParseFields;
    using strivo::sim::PercentDecode;
    const std::string_view input = strivo::fuzz::AsText(data, size);

    // The input as a body.
    const FieldList fields = ParseFields(input);
    const std::string again = EncodeForm(fields);
    FUZZ_CHECK(ParseFields(again) == fields, "body=" + Printable(input) + " fields=" +
                                                 Describe(fields) + " again=" + Printable(again));

    // The input as raw fields: name, NUL, value, NUL, name ...
    FieldList sent;
    std::string_view rest = input;
    for (bool more = true; more;) {
        std::string_view pieces[2];
        for (std::string_view& piece : pieces) {
            const std::size_t end = rest.find('\0');
            more = end != std::string_view::npos;
            piece = rest.substr(0, end);
            rest.remove_prefix(more ? end + 1 : rest.size());
            if (!more) {
                break;
            }
        }
        sent.emplace_back(std::string(pieces[0]), std::string(pieces[1]));
    }
    const std::string body = EncodeForm(sent);
    FUZZ_CHECK(ParseFields(body) == sent, "sent=" + Describe(sent) + " body=" + Printable(body) +
                                              " read=" + Describe(ParseFields(body)));

    // Query values are percent-encoded, "+" included, and read either way.
    const std::string query = strivo::PercentEncode(input);
    FUZZ_CHECK(PercentDecode(query, true) == input && PercentDecode(query, false) == input,
               "query=" + Printable(query));
    FUZZ_CHECK(PercentDecode(input, false).size() <= input.size(), Printable(input));
    return 0;
}
