#include "site/RunLogForm.h"

#include "text/CodePage.h"
#include "text/TextHelpers.h"

namespace strivo {
namespace {

struct DurationWords {
    std::string hours = Utf8ToCp936("小时");
    std::string minutes = Utf8ToCp936("分");
    std::string seconds = Utf8ToCp936("秒");
};

const DurationWords& Words() {
    static const DurationWords words;
    return words;
}

}  // namespace

DurationParts SplitDuration(std::string_view duration) {
    const DurationWords& words = Words();
    DurationParts parts;
    if (const std::size_t end = duration.find(words.hours); end != std::string_view::npos) {
        parts.hours = std::string(duration.substr(0, end));
    }
    parts.minutes = TextBetween(duration, words.hours, words.minutes);
    parts.seconds = TextBetween(duration, words.minutes, words.seconds);
    return parts;
}

std::string BuildSignInBody(std::string_view formHash, std::string_view cookieTime,
                            std::string_view encodedUserName, std::string_view encodedPassword) {
    std::string body = "formhash=";
    body += formHash;
    body += "&cookietime=";
    body += cookieTime;
    body += "&loginfield=username&questionid=0&username=";
    body += encodedUserName;
    body += "&password=";
    body += encodedPassword;
    body += "&answer=";
    return body;
}

std::string BuildRunLogBody(std::string_view formHash, const RunRow& row,
                            std::string_view encodedDescription) {
    std::string startTime = row[kColumnStartTime];
    const DurationParts duration = SplitDuration(row[kColumnDuration]);
    std::string body = "formhash=";
    body += formHash;
    body += "&dtevent=";
    body += FormEncode(startTime);
    body += "&typeevent=1&weather=1&tempor=1&distance=";
    body += row[kColumnDistance];
    body += "&tchour=";
    body += duration.hours;
    body += "&tcminute=";
    body += duration.minutes;
    body += "&tcsecond=";
    body += duration.seconds;
    body += "&addr=&nikerunid=";
    body += row[kColumnRunId];
    body += "&descrip=";
    body += encodedDescription;
    return body;
}

const std::string& RunLogDescription() {
    static const std::string description = Utf8ToCp936("Nike+同步");
    return description;
}

}  // namespace strivo
