#include "site/RunLogForm.h"

#include <gtest/gtest.h>

#include "../support/SentRuns.h"
#include "text/CodePage.h"
#include "text/TextHelpers.h"

namespace strivo {
namespace {

TEST(BuildRunLogBody, DurationFieldsComeFromTheMilliseconds) {
    const struct {
        std::int32_t milliseconds;
        const char* fields;
    } cases[] = {
        {3605000, "&tchour=1&tcminute=0&tcsecond=5&"},
        {90000000, "&tchour=25&tcminute=0&tcsecond=0&"},
        {-61000, "&tchour=0&tcminute=-1&tcsecond=-1&"},
    };
    for (const auto& c : cases) {
        const strivo::Run run = TableRun("1", "", "", std::to_string(c.milliseconds));
        EXPECT_NE(BuildRunLogBody("t", run, "d").find(c.fields), std::string::npos)
            << c.milliseconds;
    }
}

TEST(BuildRunLogBody, NoValueFromTheNetworkAddsAFieldOfItsOwn) {
    const strivo::Run run = TableRun("1&descrip=INJECTED&typeevent=9", "2010-04-20T06:30:15+08:00",
                                     "5.0&formhash=EVIL&x=");
    EXPECT_EQ(BuildRunLogBody("t&k=1", run, RunLogDescription(run)),
              "formhash=t%26k%3d1&dtevent=2010-04-20+06%3a30%3a15&typeevent=1&weather=1&tempor=1"
              "&distance=5.0%26formhash%3dEVIL%26x%3d&tchour=0&tcminute=0&tcsecond=0&addr="
              "&nikerunid=1%26descrip%3dINJECTED%26typeevent%3d9&descrip=Nike%2b%CD%AC%B2%BD");
}

TEST(BuildRunLogBody, ARunReadFromAFileGoesWithoutItsKeyAndNamesItsFormat) {
    const strivo::Run read(ImportedRunKey(1271716215, 5012.34), RunSource::Fit,
                           {1271716215000, 480, 5012.34, 3605000, std::nullopt});
    EXPECT_EQ(BuildRunLogBody("t", read, RunLogDescription(read)),
              "formhash=t&dtevent=2010-04-20+06%3a30%3a15&typeevent=1&weather=1&tempor=1"
              "&distance=5.0123&tchour=1&tcminute=0&tcsecond=5&addr=&nikerunid="
              "&descrip=" +
                  FormEncode(Utf8ToCp936("Strivo导入（FIT）")));
}

TEST(IsSignInPage, TheFieldsTheSignInReadsMarkTheFormAsItsButtonDoes) {
    const std::pair<const char*, bool> cases[] = {
        {"<button type=\"submit\" name=\"loginsubmit\">", true},
        {"<input name=\"formhash\" value=\"ab12\" /><input name=\"cookietime\" />", true},
        {"<input name=\"formhash\" value=\"ab12\" /> run logged", false},
        {"cookietime", false},
    };
    for (const auto& [page, signIn] : cases) {
        EXPECT_EQ(IsSignInPage(page), signIn) << page;
    }
}

}  // namespace
}  // namespace strivo
