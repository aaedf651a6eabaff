#include "site/RunLogForm.h"

#include "io/RunText.h"
#include "text/CodePage.h"
#include "text/TextHelpers.h"

namespace strivo {

std::string BuildSignInBody(std::string_view formHash, std::string_view cookieTime,
                            std::string_view user, std::string_view password) {
    std::string body = "formhash=";
    body += FormEncode(formHash);
    body += "&cookietime=";
    body += FormEncode(cookieTime);
    body += "&loginfield=username&questionid=0&username=";
    body += FormEncode(user);
    body += "&password=";
    body += FormEncode(password);
    body += "&answer=";
    return body;
}

std::string BuildRunLogBody(std::string_view formHash, const Run& run,
                            std::string_view encodedDescription) {
    const Duration duration = SplitMilliseconds(run.durationMs());
    std::string body = "formhash=";
    body += FormEncode(formHash);
    body += "&dtevent=";
    body += FormEncode(RunCell(run, 0, kColumnStartTime));
    body += "&typeevent=1&weather=1&tempor=1&distance=";
    body += FormEncode(RunCell(run, 0, kColumnDistance));
    body += "&tchour=";
    body += FormEncode(std::to_string(duration.hours));
    body += "&tcminute=";
    body += FormEncode(std::to_string(duration.minutes));
    body += "&tcsecond=";
    body += FormEncode(std::to_string(duration.seconds));
    body += "&addr=&nikerunid=";
    if (run.FromService()) {
        body += FormEncode(run.id());
    }
    body += "&descrip=";
    body += encodedDescription;
    return body;
}

const std::string& EncodedRunLogDescription() {
    static const std::string description = FormEncode(Utf8ToCp936("Nike+同步"));
    return description;
}

std::string RunLogDescription(const Run& run) {
    if (run.FromService()) {
        return EncodedRunLogDescription();
    }
    std::string format(RunSourceName(run.source()));
    for (char& c : format) {
        c = static_cast<char>(c - 'a' + 'A');
    }
    return FormEncode(Utf8ToCp936("Strivo导入（" + format + "）"));
}

bool IsSignInPage(std::string_view page) {
    return page.find("loginsubmit") != page.npos ||
           (page.find("formhash\" value=\"") != page.npos && page.find("cookietime") != page.npos);
}

}  // namespace strivo
