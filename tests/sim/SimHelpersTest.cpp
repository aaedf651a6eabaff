// The small parts of the stand-ins that decide what a request means: decoding,
// cookies, fault flags and their counting, JSON for the inspection pages and
// strivo-sim's command line.

#include <gtest/gtest.h>

#include <stdexcept>

#include "../support/Cp936Literal.h"
#include "sim/FaultSet.h"
#include "sim/Json.h"
#include "sim/RequestParsing.h"
#include "sim/SimCommandLine.h"

namespace strivo::sim {
namespace {

using test::Gbk;

TEST(SimRequestParsing, PercentEscapesDecodeInEitherCaseAndBrokenOnesStay) {
    const struct {
        std::string in, out;
    } cases[] = {
        {"run+log%261", "run log&1"},
        {"%3a%3A", "::"},
        {"%C0%EE%95%5c%DAS", Gbk("李昞赟")},
        {"100%", "100%"},
        {"%4", "%4"},
        {"%G1%zz", "%G1%zz"},
        {"a%2Bb", "a+b"},
        {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PercentDecode(c.in), c.out) << c.in;
    }
    EXPECT_EQ(PercentDecode("a+b", /*plusIsSpace=*/false), "a+b");
}

TEST(SimRequestParsing, FieldsKeepOrderDuplicatesAndEmptyValues) {
    const FieldList fields = ParseFields("b=2&&a=1&b=3&addr=&flag&x%3Dy=%26");
    const FieldList expected = {{"b", "2"},   {"a", "1"},   {"b", "3"},
                                {"addr", ""}, {"flag", ""}, {"x=y", "&"}};
    EXPECT_EQ(fields, expected);
    EXPECT_EQ(FindField(fields, "b"), "2");
    EXPECT_EQ(FindField(fields, "addr"), "");
    EXPECT_EQ(FindField(fields, "missing"), std::nullopt);
    EXPECT_TRUE(ParseFields("").empty());
}

TEST(SimRequestParsing, CookieIsFoundByItsExactName) {
    const HeaderList headers = {
        {"Accept", "*/*"},
        {"Cookie", "xkelvora_sid=wrong; kelvora_sid=right ;other=1"},
        {"cookie", "nikeplus_session=abc"},
    };
    EXPECT_EQ(FindCookie(headers, "kelvora_sid"), "right");
    EXPECT_EQ(FindCookie(headers, "nikeplus_session"), "abc");
    EXPECT_EQ(FindCookie(headers, "sid"), std::nullopt);
    EXPECT_EQ(FindCookie({}, "kelvora_sid"), std::nullopt);
}

TEST(SimJson, StringsAreValidUtf8WithEscapes) {
    EXPECT_EQ(JsonString(Gbk("Nike+同步")), "\"Nike+同步\"");
    EXPECT_EQ(JsonString("a\"b\\c\n\r\t\x01\x7F"), "\"a\\\"b\\\\c\\n\\r\\t\\u0001\\u007f\"");
    // A byte that is no CP936 character still gives valid UTF-8.
    EXPECT_EQ(JsonString("\xFF"), "\"?\"");
}

TEST(SimFaults, ParseFaultReadsTheFlagForm) {
    const Fault fault = ParseFault("/runlogger.php,on=2,status=500,delay=250,close,cut=10,size=99");
    EXPECT_EQ(fault.path, "/runlogger.php");
    EXPECT_EQ(fault.onRequest, 2);
    EXPECT_EQ(fault.status, 500);
    EXPECT_EQ(fault.delay, std::chrono::milliseconds(250));
    EXPECT_TRUE(fault.closeMidBody);
    EXPECT_EQ(fault.cutAfterBytes, 10u);
    EXPECT_EQ(fault.bodySize, 99u);
    EXPECT_EQ(ParseFault("*,delay=5").path, "*");
    EXPECT_EQ(ParseFault("/logging.php?action=login,status=404").path, "/logging.php?action=login");

    for (const char* bad : {"", "index.php,status=500", "/index.php", "/index.php,on=2",
                            "/index.php,status=5000", "/index.php,status=abc", "/index.php,cut=-1",
                            "/index.php,close=1", "/index.php,colour=red", "/index.php,delay=0"}) {
        EXPECT_THROW(ParseFault(bad), std::invalid_argument) << bad;
    }
}

TEST(SimFaults, ActsOnTheKthMatchingRequestOfItsPath) {
    FaultSet faults;
    faults.Add(ParseFault("/runlogger.php,on=2,status=500"));
    faults.Add(ParseFault("/logging.php?action=login&loginsubmit=true,status=503"));
    faults.Add(ParseFault("*,on=3,delay=7"));

    EXPECT_EQ(faults.Take("/runlogger.php", "action=deal_add").status, 0);
    EXPECT_EQ(faults.Take("/index.php", "").status, 0);  // other paths do not count
    const FaultActions second = faults.Take("/runlogger.php", "action=deal_add");
    EXPECT_EQ(second.status, 500);
    EXPECT_EQ(second.delay, std::chrono::milliseconds(7));   // third request of any path
    EXPECT_EQ(faults.Take("/runlogger.php", "").status, 0);  // on=2 acts once

    EXPECT_EQ(faults.Take("/logging.php", "action=login").status, 0);
    EXPECT_EQ(faults.Take("/logging.php", "action=login&loginsubmit=true").status, 503);
    EXPECT_EQ(faults.Take("/logging.php", "action=login&loginsubmit=true").status, 503);

    faults.Clear();
    EXPECT_EQ(faults.Take("/logging.php", "action=login&loginsubmit=true").status, 0);
}

TEST(SimCommandLine, ReadsEveryOptionInBothForms) {
    const SimArguments arguments = ParseSimArguments(
        {"--runs", "100", "--seed=9", "--https-port", "8443", "--http-port=8080", "--site-port",
         "8090", "--ca-out", "ca.pem", "--fault", "/index.php,status=500", "--fault=*,delay=5",
         "--runs-file", "runs.txt"});
    EXPECT_EQ(arguments.runs, 100);
    EXPECT_EQ(arguments.seed, 9u);
    EXPECT_EQ(arguments.httpsPort, 8443);
    EXPECT_EQ(arguments.httpPort, 8080);
    EXPECT_EQ(arguments.sitePort, 8090);
    EXPECT_EQ(arguments.caOut, "ca.pem");
    EXPECT_EQ(arguments.runsFile, "runs.txt");
    ASSERT_EQ(arguments.faults.size(), 2u);
    EXPECT_EQ(arguments.faults[1].path, "*");
    EXPECT_TRUE(ParseSimArguments({"--help"}).help);

    for (const auto& bad : std::vector<std::vector<std::string>>{{"--runs"},
                                                                 {"--runs", "-1"},
                                                                 {"--https-port", "70000"},
                                                                 {"--site-port", "80x"},
                                                                 {"--colour", "red"},
                                                                 {"--fault", "nonsense"}}) {
        EXPECT_THROW(ParseSimArguments(bad), std::invalid_argument) << bad[0];
    }
}

}  // namespace
}  // namespace strivo::sim
