#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "files/FitProtocol.h"
#include "files/FitReader.h"
#include "files/FitWriter.h"

namespace strivo {
namespace {

using namespace fit;

struct FieldDef {
    std::uint8_t number;
    std::uint8_t size;
    std::uint8_t baseType;
};

// FIT files made byte by byte, so a test can say what any writer might.
class FitBuilder {
public:
    // Developer fields are given by their sizes; their bytes are filler.
    FitBuilder& Define(std::uint8_t local, std::uint16_t global, std::vector<FieldDef> fields,
                       bool bigEndian = false, std::vector<std::uint8_t> developer = {}) {
        m_data.push_back(
            static_cast<char>(kDefinition | (developer.empty() ? 0 : kDeveloperData) | local));
        m_data.push_back(0);
        m_data.push_back(bigEndian ? 1 : 0);
        Put(global, 2, bigEndian);
        m_data.push_back(static_cast<char>(fields.size()));
        for (const FieldDef& field : fields) {
            m_data += {static_cast<char>(field.number), static_cast<char>(field.size),
                       static_cast<char>(field.baseType)};
        }
        if (!developer.empty()) {
            m_data.push_back(static_cast<char>(developer.size()));
            for (std::size_t i = 0; i < developer.size(); ++i) {
                m_data += {static_cast<char>(i), static_cast<char>(developer[i]), 0};
            }
        }
        m_locals[local] = {bigEndian, std::move(fields), std::move(developer)};
        return *this;
    }
    FitBuilder& Data(std::uint8_t local, const std::vector<std::uint64_t>& values) {
        m_data.push_back(static_cast<char>(local));
        return Values(local, values);
    }
    // A data message whose header carries the time's 5 low bits.
    FitBuilder& Compressed(std::uint8_t local, std::uint8_t offset,
                           const std::vector<std::uint64_t>& values) {
        m_data.push_back(static_cast<char>(kCompressedTimestamp | local << 5 | offset));
        return Values(local, values);
    }
    FitBuilder& Bytes(std::string_view bytes) {
        m_data += bytes;
        return *this;
    }

    // Header, data and CRC.
    std::string File(std::size_t headerSize = kHeaderSize, std::uint8_t protocol = 0x20) const {
        std::string file{static_cast<char>(headerSize), static_cast<char>(protocol), 0x34, 0x08};
        PutTo(file, m_data.size(), 4, false);
        file += kMagic;
        if (headerSize == kHeaderSize) {
            PutTo(file, Crc(0, file), 2, false);
        }
        file += m_data;
        PutTo(file, Crc(0, file), 2, false);
        return file;
    }

private:
    struct Local {
        bool bigEndian = false;
        std::vector<FieldDef> fields;
        std::vector<std::uint8_t> developer;
    };

    static void PutTo(std::string& out, std::uint64_t value, int size, bool bigEndian) {
        for (int i = 0; i < size; ++i) {
            const int shift = 8 * (bigEndian ? size - 1 - i : i);
            out.push_back(static_cast<char>(shift < 64 ? value >> shift : 0));
        }
    }
    void Put(std::uint64_t value, int size, bool bigEndian) {
        PutTo(m_data, value, size, bigEndian);
    }
    FitBuilder& Values(std::uint8_t local, const std::vector<std::uint64_t>& values) {
        const Local& definition = m_locals[local];
        for (std::size_t i = 0; i < definition.fields.size(); ++i) {
            Put(values.at(i), definition.fields[i].size, definition.bigEndian);
        }
        for (const std::uint8_t size : definition.developer) {
            m_data.append(size, '\xAB');
        }
        return *this;
    }

    std::array<Local, 16> m_locals;
    std::string m_data;
};

constexpr std::uint64_t kNone32 = 0xFFFFFFFF;
constexpr std::uint64_t kNone16 = 0xFFFF;
constexpr std::uint64_t kCycling = 2;
constexpr std::uint32_t kMay2024 = 1085004320;  // FIT seconds, a multiple of 32

const std::vector<FieldDef> kSessionFields = {{253, 4, kUint32}, {2, 4, kUint32}, {5, 1, kEnum},
                                              {7, 4, kUint32},   {8, 4, kUint32}, {9, 4, kUint32},
                                              {11, 2, kUint16}};
const std::vector<FieldDef> kActivityFields = {{253, 4, kUint32}, {5, 4, kUint32}};
const std::vector<FieldDef> kRecordFields = {{253, 4, kUint32}, {5, 4, kUint32}, {3, 1, kUint8}};

// A session's values in kSessionFields' order.
std::vector<std::uint64_t> Session(std::uint64_t sport, std::uint64_t start, std::uint64_t timerMs,
                                   std::uint64_t centimetres, std::uint64_t calories = 250,
                                   std::uint64_t elapsedMs = kNone32) {
    return {start + 3000, start, sport, elapsedMs, timerMs, centimetres, calories};
}

std::int64_t UtcMs(std::uint64_t fitSeconds) {
    return (static_cast<std::int64_t>(fitSeconds) + kEpochUnixSeconds) * 1000;
}

ImportedRun Expected(std::uint64_t start, std::optional<int> offset, std::int64_t ms, double metres,
                     std::optional<std::int64_t> calories = 250) {
    return {UtcMs(start), offset, metres, ms, calories};
}

Result<RunFile> Read(std::string_view bytes) {
    MemorySource source(bytes);
    return ReadFit(source);
}

// Gives its bytes a few at a time, as a slow pipe or a gzip stream might.
class DripSource : public ByteSource {
public:
    explicit DripSource(std::string_view bytes) : m_rest(bytes) {}
    std::size_t Read(char* into, std::size_t room) override {
        const std::size_t n = std::min({room, m_rest.size(), std::size_t{1} + m_calls++ % 3});
        std::copy_n(m_rest.data(), n, into);
        m_rest.remove_prefix(n);
        return n;
    }

private:
    std::string_view m_rest;
    std::size_t m_calls = 0;
};

void ExpectRuns(const RunFile& file, const std::vector<ImportedRun>& runs, int otherSports,
                const std::string& name) {
    SCOPED_TRACE(name);
    EXPECT_EQ(file.format, RunFileFormat::Fit);
    EXPECT_EQ(file.otherSports, otherSports);
    ASSERT_EQ(file.runs.size(), runs.size());
    for (std::size_t i = 0; i < runs.size(); ++i) {
        SCOPED_TRACE("run " + std::to_string(i));
        EXPECT_EQ(file.runs[i].startUtcMs, runs[i].startUtcMs);
        EXPECT_EQ(file.runs[i].offsetMinutes, runs[i].offsetMinutes);
        EXPECT_EQ(file.runs[i].durationMs, runs[i].durationMs);
        EXPECT_DOUBLE_EQ(file.runs[i].distanceMetres, runs[i].distanceMetres);
        EXPECT_EQ(file.runs[i].calories, runs[i].calories);
    }
}

TEST(FitCrc, IsTheProtocolsCrc16) {
    EXPECT_EQ(Crc(0, "123456789"), 0xBB3D);  // CRC-16/ARC's check value
    EXPECT_EQ(Crc(Crc(0, "1234"), "56789"), 0xBB3D);
}

TEST(FitRoundTrip, ReaderGetsBackWhatTheWriterWrote) {
    const struct {
        const char* name;
        FitActivity written;
        std::int64_t startRead;
        std::optional<std::int64_t> caloriesRead;
    } cases[] = {
        {"east", {1700000000000, 480, 1834567, 5032.13, 321}, 1700000000000, 321},
        {"west", {1700000000000, -300, 3600000, 10000, 0}, 1700000000000, 0},
        {"half hours", {1262304000000, 345, 1000, 0.01, 1}, 1262304000000, 1},
        {"UTC, no calories", {1420070400000, 0, 2700001, 7777.77, {}}, 1420070400000, {}},
        {"extremes of the zones", {1500000000000, -720, 61000, 200, 5}, 1500000000000, 5},
        {"", {1500000000000, 840, 61000, 200, 5}, 1500000000000, 5},
        {"a day and more", {1600000000000, 60, 108000000, 250123.45, 9000}, 1600000000000, 9000},
        {"milliseconds of the start dropped",
         {1700000000999, 60, 1500, 3.5, 65534},
         1700000000000,
         65534},
        {"calories past uint16", {1700000000000, 60, 1500, 3.5, 65535}, 1700000000000, {}},
    };
    for (const auto& c : cases) {
        const Result<RunFile> read = Read(*WriteFitActivity(c.written));
        ASSERT_TRUE(read.ok()) << c.name << ": " << static_cast<int>(read.problem().code);
        ExpectRuns(*read,
                   {{c.startRead, c.written.offsetMinutes, c.written.distanceMetres,
                     c.written.durationMs, c.caloriesRead}},
                   0, c.name);
    }
}

TEST(FitWriter, WritesNoRunWithAValueFitCannotHold) {
    constexpr std::int64_t first = kFitFirstStartMs;  // 1998-07-03T...
    constexpr std::int64_t last = kFitLastEndMs;      // 2126-02-06T...
    const struct {
        FitActivity activity;
        FitMisfit misfit;
    } cases[] = {
        {{first, 0, 1000, 1, {}}, FitMisfit::None},
        {{first - 1, 0, 1000, 1, {}}, FitMisfit::StartTooEarly},
        {{-2177452800000, 480, 0, 5000, 300}, FitMisfit::StartTooEarly},  // 1901
        {{last - 1000, 0, 1000, 1, {}}, FitMisfit::None},
        {{last - 1000, 0, 1001, 1, {}}, FitMisfit::EndTooLate},
        {{first, 0, kFitLongestMs, 1, {}}, FitMisfit::None},
        {{first, 0, kFitLongestMs + 1, 1, {}}, FitMisfit::TooLong},
        {{first, 0, -1, 1, {}}, FitMisfit::TooLong},
        {{first, 0, 1000, 42949672.94, {}}, FitMisfit::None},
        {{first, 0, 1000, 42949672.95, {}}, FitMisfit::TooFar},
        {{first, 0, 1000, -0.01, {}}, FitMisfit::TooFar},
        {{first, 0, 1000, std::nan(""), {}}, FitMisfit::TooFar},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.activity.startUtcMs) + " " +
                     std::to_string(c.activity.durationMs) + " " +
                     std::to_string(c.activity.distanceMetres));
        EXPECT_EQ(MisfitOf(c.activity), c.misfit);
        const std::optional<std::string> file = WriteFitActivity(c.activity);
        ASSERT_EQ(file.has_value(), c.misfit == FitMisfit::None);
        if (file) {
            ExpectRuns(*Read(*file),
                       {{c.activity.startUtcMs / 1000 * 1000,
                         0,
                         c.activity.distanceMetres,
                         c.activity.durationMs,
                         {}}},
                       0, "at the bounds");
        }
    }
}

TEST(FitReader, ReadsTheRunsAsAnyWriterMayArrangeThem) {
    const std::uint64_t t = kMay2024;
    FitBuilder compressed;
    compressed.Define(2, kSessionMessage, kSessionFields)
        .Data(2, Session(1, t, 65000, 400))
        .Define(0, kRecordMessage, kRecordFields)
        .Data(0, {t + 20, 0, 150})
        .Define(1, kRecordMessage, {{5, 4, kUint32}})
        .Compressed(1, 25, {100})  // t + 25
        .Compressed(1, 3, {200})   // rolls over: t + 35
        .Compressed(1, 30, {300})  // t + 62
        .Compressed(1, 1, {400})   // t + 65
        .Define(3, kActivityMessage, {{5, 4, kUint32}})
        .Compressed(3, 5, {t + 69 + 3600});  // t + 69, an hour east

    // Developer fields take room in every data message; a reader that did
    // not skip them would lose its place.
    FitBuilder developer;
    developer.Define(0, kRecordMessage, kRecordFields, false, {3, 7})
        .Data(0, {t, 0, 150})
        .Data(0, {t + 1, 3, 151})
        .Define(1, kSessionMessage, kSessionFields, false, {1})
        .Data(1, Session(1, t, 1000, 3))
        .Define(2, kActivityMessage, kActivityFields, false, {250})
        .Data(2, {t + 1, t + 1 - 3 * 3600});

    // The largest message there can be, between two sessions.
    std::vector<FieldDef> widest;
    for (int i = 0; i < 255; ++i) {
        widest.push_back({static_cast<std::uint8_t>(i), 255, kByte});
    }
    FitBuilder largest;
    largest.Define(0, kSessionMessage, kSessionFields)
        .Data(0, Session(1, t, 1000, 100))
        .Define(1, 0xFF00, widest, false, std::vector<std::uint8_t>(255, 255))
        .Data(1, std::vector<std::uint64_t>(255, 0x42))
        .Data(0, Session(1, t + 100, 2000, 200));

    const FitBuilder twoRuns = FitBuilder()
                                   .Define(0, kSessionMessage, kSessionFields)
                                   .Data(0, Session(1, t, 1834567, 503213, 321))
                                   .Data(0, Session(1, t + 7200, 600000, 150000, kNone16))
                                   .Define(1, kActivityMessage, kActivityFields)
                                   .Data(1, {t + 9000, t + 9000 + 8 * 3600 + 45 * 60});
    const auto oneRun = [&](std::int64_t localLessUtc) {
        return FitBuilder()
            .Define(0, kSessionMessage, kSessionFields)
            .Data(0, Session(1, t, 1000, 100))
            .Define(1, kActivityMessage, kActivityFields)
            .Data(1, {t + 5, static_cast<std::uint64_t>(t + 5 + localLessUtc)})
            .File();
    };

    const struct {
        const char* name;
        std::string file;
        std::vector<ImportedRun> runs;
        int otherSports;
    } cases[] = {
        {"two runs, one offset",
         twoRuns.File(),
         {Expected(t, 525, 1834567, 5032.13, 321), Expected(t + 7200, 525, 600000, 1500, {})},
         0},
        {"other sports counted",
         FitBuilder()
             .Define(0, kSessionMessage, kSessionFields)
             .Data(0, Session(kCycling, t, 1000, 100))
             .Data(0, Session(1, t + 100, 2000, 200))
             .Data(0, Session(0xFF, t + 200, 3000, 300))
             .File(),
         {Expected(t + 100, {}, 2000, 2)},
         2},
        {"elapsed time when no timer time",
         FitBuilder()
             .Define(0, kSessionMessage, kSessionFields)
             .Data(0, Session(1, t, kNone32, 100, 250, 4321))
             .File(),
         {Expected(t, {}, 4321, 1)},
         0},
        {"big-endian definitions",
         FitBuilder()
             .Define(0, kSessionMessage, kSessionFields, true)
             .Data(0, Session(1, t, 0x01020304, 0x0A0B0C0D, 0x0102))
             .Define(1, kActivityMessage, kActivityFields, true)
             .Data(1, {t + 9, t + 9 - 150 * 60})
             .File(),
         {Expected(t, -150, 0x01020304, 0x0A0B0C0D / 100.0, 0x0102)},
         0},
        {"developer fields", developer.File(), {Expected(t, -180, 1000, 0.03)}, 0},
        {"compressed timestamps", compressed.File(), {Expected(t, 60, 65000, 4)}, 0},
        {"the largest message",
         largest.File(),
         {Expected(t, {}, 1000, 1), Expected(t + 100, {}, 2000, 2)},
         0},
        {"a local type redefined",
         FitBuilder()
             .Define(0, kRecordMessage, kRecordFields)
             .Data(0, {t, 0, 150})
             .Define(0, kSessionMessage, kSessionFields)
             .Data(0, Session(1, t, 1000, 100))
             .File(),
         {Expected(t, {}, 1000, 1)},
         0},
        {"a 12-byte header and no header CRC",
         FitBuilder()
             .Define(0, kSessionMessage, kSessionFields)
             .Data(0, Session(1, t, 1000, 100))
             .File(kShortHeaderSize, 0x10),
         {Expected(t, {}, 1000, 1)},
         0},
        {"an offset no time zone has", oneRun(15 * 3600), {Expected(t, {}, 1000, 1)}, 0},
        {"a triathlon's transitions are no other sport",
         FitBuilder()
             .Define(0, kSessionMessage, kSessionFields)
             .Data(0, Session(kCycling, t, 1000, 100))
             .Data(0, Session(kSportTransition, t + 100, 1000, 100))
             .Data(0, Session(1, t + 200, 2000, 200))
             .File(),
         {Expected(t + 200, {}, 2000, 2)},
         1},
        {"half a minute rounds",
         oneRun(-(5 * 3600 + 30 * 60 + 31)),
         {Expected(t, -331, 1000, 1)},
         0},
        {"chained files, each its own offset",
         oneRun(3600) + oneRun(-3600),
         {Expected(t, 60, 1000, 1), Expected(t, -60, 1000, 1)},
         0},
    };
    for (const auto& c : cases) {
        const Result<RunFile> read = Read(c.file);
        ASSERT_TRUE(read.ok()) << c.name << ": " << static_cast<int>(read.problem().code) << " "
                               << read.problem().Value(0) << " " << read.problem().Value(1);
        ExpectRuns(*read, c.runs, c.otherSports, c.name);
        DripSource drip(c.file);
        const Result<RunFile> dripped = ReadFit(drip);
        ASSERT_TRUE(dripped.ok()) << c.name << " in pieces";
        ExpectRuns(*dripped, c.runs, c.otherSports, std::string(c.name) + " in pieces");
    }
}

TEST(FitReader, RefusesTheWholeFile) {
    const std::uint64_t t = kMay2024;
    const std::string good = FitBuilder()
                                 .Define(0, kSessionMessage, kSessionFields)
                                 .Data(0, Session(1, t, 1000, 100))
                                 .File();
    const auto changed = [&](std::size_t at, char byte) {
        std::string file = good;
        file[at] = byte;
        return file;
    };
    // The header's data size, 3 bytes short, with a header CRC to match.
    std::string shortData = good;
    shortData[4] = static_cast<char>(shortData[4] - 3);
    shortData[12] = static_cast<char>(Crc(0, shortData.substr(0, 12)) & 0xFF);
    shortData[13] = static_cast<char>(Crc(0, shortData.substr(0, 12)) >> 8);
    // The same bytes, but for a header that announces 4 GiB of data: the
    // file's CRC then stands where a message would.
    std::string claims4GiB = good;
    claims4GiB.replace(4, 4, "\xFF\xFF\xFF\xFF");
    claims4GiB[12] = static_cast<char>(Crc(0, claims4GiB.substr(0, 12)) & 0xFF);
    claims4GiB[13] = static_cast<char>(Crc(0, claims4GiB.substr(0, 12)) >> 8);
    const auto sessions = [&](std::vector<std::uint64_t> second) {
        return FitBuilder()
            .Define(0, kSessionMessage, kSessionFields)
            .Data(0, Session(1, t, 1000, 100))
            .Data(0, second)
            .File();
    };

    const struct {
        const char* name;
        std::string file;
        ProblemCode code;
        std::vector<std::string> values;
    } cases[] = {
        // clang-format off
        {"empty", "", ProblemCode::FitNotFit, {}},
        {"not FIT", changed(9, 'f'), ProblemCode::FitNotFit, {}},
        {"a header of 13 bytes", changed(0, 13), ProblemCode::FitNotFit, {}},
        {"protocol 3.0", FitBuilder().File(kHeaderSize, 0x30), ProblemCode::FitProtocolNewer, {"3.0"}},
        {"header CRC", changed(12, static_cast<char>(good[12] ^ 1)), ProblemCode::FitHeaderCrc, {}},
        {"file CRC", changed(good.size() - 1, static_cast<char>(good.back() ^ 1)), ProblemCode::FitFileCrc, {}},
        {"a data byte changed", changed(47, static_cast<char>(good[47] ^ 0x10)), ProblemCode::FitFileCrc, {}},
        {"undefined local type", FitBuilder().Define(0, kSessionMessage, kSessionFields).Bytes("\x03").File(),
         ProblemCode::FitUndefinedLocalType, {"3", "41"}},
        {"undefined local type, compressed header", FitBuilder().Bytes("\xC5").File(),
         ProblemCode::FitUndefinedLocalType, {"2", "14"}},
        {"past the data size", shortData, ProblemCode::FitPastDataSize, {"41", "48"}},
        {"an unknown byte order", changed(16, 2), ProblemCode::FitBadDefinition, {"14"}},
        {"a run without distance", sessions(Session(1, t, 1000, kNone32)), ProblemCode::FitSessionIncomplete,
         {"2", kFieldDistance}},
        {"a run without time", sessions(Session(1, t, kNone32, 100)), ProblemCode::FitSessionIncomplete,
         {"2", kFieldDuration}},
        {"a start in the device's own time", sessions(Session(1, 5000, 1000, 100)), ProblemCode::FitDeviceRelativeStart,
         {"2"}},
        {"a header that claims 4 GiB", claims4GiB, ProblemCode::FitTruncated, {std::to_string(good.size())}},
        {"a distance of two values",
         FitBuilder().Define(0, kSessionMessage, {{2, 4, kUint32}, {5, 1, kEnum}, {8, 4, kUint32}, {9, 8, kUint32}})
             .Data(0, {t, 1, 1000, 100}).File(),
         ProblemCode::FitSessionIncomplete, {"1", kFieldDistance}},
        {"a start never set", sessions(Session(1, kNone32, 1000, 100)), ProblemCode::FitSessionIncomplete,
         {"2", kFieldStart}},
        // clang-format on
    };
    for (const auto& c : cases) {
        const Result<RunFile> read = Read(c.file);
        ASSERT_FALSE(read.ok()) << c.name;
        EXPECT_EQ(read.problem().code, c.code) << c.name;
        EXPECT_EQ(read.problem().values, c.values) << c.name;
    }
}

// What follows a complete FIT file and begins none is passed over, named.
TEST(FitReader, ReadsACompleteFileWhateverFollowsItThatIsNoFitFile) {
    const std::string good = FitBuilder()
                                 .Define(0, kSessionMessage, kSessionFields)
                                 .Data(0, Session(1, kMay2024, 1000, 100))
                                 .File();
    std::string damagedHeader = good;
    damagedHeader[12] = static_cast<char>(damagedHeader[12] ^ 1);
    for (const std::string& after : {std::string("junk and more"), std::string(3, '\0'),
                                     good.substr(0, 8) + ".GIT", damagedHeader}) {
        SCOPED_TRACE(after.size());
        const Result<RunFile> read = Read(good + after);
        ASSERT_TRUE(read.ok()) << static_cast<int>(read.problem().code);
        ExpectRuns(*read, {Expected(kMay2024, {}, 1000, 1)}, 0, "followed");
        ASSERT_EQ(read->warnings.size(), 1u);
        EXPECT_EQ(read->warnings[0].code, ProblemCode::FitTrailingBytes);
        EXPECT_EQ(read->warnings[0].values, std::vector<std::string>{std::to_string(good.size())});
    }
}

TEST(FitReader, RefusesEveryTruncation) {
    const std::string file = *WriteFitActivity({1700000000000, 480, 1834567, 5032.13, 321});
    for (std::size_t size = 0; size < file.size(); ++size) {
        const Result<RunFile> read = Read(file.substr(0, size));
        ASSERT_FALSE(read.ok()) << size;
        if (size < kShortHeaderSize) {
            EXPECT_EQ(read.problem().code, ProblemCode::FitNotFit) << size;
        } else {
            EXPECT_EQ(read.problem().code, ProblemCode::FitTruncated) << size;
            EXPECT_EQ(read.problem().values, std::vector<std::string>{std::to_string(size)});
        }
    }
}

}  // namespace
}  // namespace strivo
