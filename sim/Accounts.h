#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The accounts the stand-ins serve: one run-service account with its runs and
// one community-site account. Made by a seeded generator, taken from the demo,
// or read from an accounts file (format below).
namespace strivo::sim {

// One run as the run service lists it.
struct Run {
    std::string id;           // "1100023456"
    std::string workoutType;  // "standard", "basic"
    std::string startTime;    // local time with offset: "2010-04-18T07:05:11+08:00"
    double distanceKm = 0;    // served with four decimals
    std::int64_t durationMs = 0;
    std::string syncTime;  // UTC: "2010-04-18T01:10:42+00:00"
    int calories = 0;
};

// User and password are compared byte for byte with what the sign-in URL
// decodes to; Strivo sends code page 936, so that is what they hold. The
// screen name is UTF-8, as the service sends it.
struct ServiceAccount {
    std::string user;
    std::string password;
    std::string screenName;
    std::vector<Run> runs;
};

// User name and password in code page 936 bytes, as the site stores them.
struct SiteAccount {
    std::string user;
    std::string password;
};

struct Accounts {
    ServiceAccount service;
    SiteAccount site;
};

// Sums as the account data page reports them. Distances are added in units of
// 0.0001 km, the precision the run list shows, so the total is exactly the sum
// of the distances a client reads.
struct RunTotals {
    std::int64_t distanceTenThousandthsKm = 0;
    std::int64_t durationMs = 0;
    std::int64_t calories = 0;
    std::size_t runs = 0;
};
RunTotals SumRuns(std::span<const Run> runs);

// "5.0321": a distance in km with four decimals; FormatDistanceUnits takes
// units of 0.0001 km.
std::string FormatDistance(double km);
std::string FormatDistanceUnits(std::int64_t tenThousandthsKm);

// `count` plausible runs, the same for the same seed on every platform:
// 3–21 km, paces 4:30–7:00 per km, calories from the distance, start times in
// +08:00 every two to five days from March 2010 on, sync times in UTC a few
// minutes to two hours after the run ended, ids rising. With `runsPerDay`,
// that many runs a day instead (a million runs then stay within years of four
// digits); the runs are otherwise those of the same seed.
std::vector<Run> GenerateRuns(int count, std::uint64_t seed, int runsPerDay = 0);

// The demo run-service account: 24 runs over about three months, a Chinese
// screen name, a password holding a blank and an "&".
//   login "demo.runner@strivo.example", password "spring run&go", screen name "晨跑的小李"
ServiceAccount DemoServiceAccount();

// The demo site account: user "李昞赟" (its CP936 bytes include the trail
// bytes "S" and "\"), password "run log&1".
SiteAccount DemoSiteAccount();

Accounts DemoAccounts();

// Accounts file: UTF-8 text, one "key = value" per line; blank lines and lines
// starting with "#" are skipped; blanks around keys and values are dropped.
//   login = demo.runner@strivo.example       run-service login, converted to CP936
//   password = spring run&go                  run-service password, converted to CP936
//   screen_name = 晨跑的小李                     kept in UTF-8
//   site_user = 李昞赟                          converted to CP936
//   site_password = run log&1                 converted to CP936
//   run = ID | TYPE | START | KM | MS | SYNC | CALORIES
//   e.g. run = 77 | standard | 2010-04-18T07:05:11+08:00 | 5.0321 | 1834000 |
//   2010-04-18T01:10:42+00:00 | 356
// Keys that are missing keep the value of `defaults`; the runs of the file
// replace those of `defaults` when the file has at least one "run" line.
// Throws std::runtime_error naming the line for anything else.
Accounts ParseAccounts(std::string_view text, Accounts defaults);
Accounts LoadAccountsFile(const std::string& path, Accounts defaults);

}  // namespace strivo::sim
