#include "files/FitWriter.h"

#include <algorithm>
#include <bitset>
#include <cmath>
#include <initializer_list>

#include "files/FitProtocol.h"

namespace strivo {
namespace {

using namespace fit;

// The largest value a uint32 field can hold: all ones is "invalid".
constexpr std::int64_t kMaxUint32 = 0xFFFFFFFE;
constexpr std::uint64_t kInvalidUint16 = 0xFFFF;
constexpr std::uint64_t kInvalidUint32 = 0xFFFFFFFF;

constexpr std::uint8_t kFileActivity = 4;
constexpr std::uint16_t kManufacturerDevelopment = 255;
constexpr std::uint16_t kProduct = 1;
constexpr std::uint32_t kSerialNumber = 0x53545256;  // "STRV": any fixed non-zero serial
constexpr std::uint8_t kEventTimer = 0;
constexpr std::uint8_t kEventSession = 8;
constexpr std::uint8_t kEventLap = 9;
constexpr std::uint8_t kEventActivity = 26;
constexpr std::uint8_t kEventTypeStart = 0;
constexpr std::uint8_t kEventTypeStop = 1;
constexpr std::uint8_t kEventTypeStopAll = 4;
constexpr std::uint8_t kSubSportGeneric = 0;
constexpr std::uint8_t kActivityManual = 0;
constexpr std::uint8_t kTriggerActivityEnd = 0;
constexpr std::uint8_t kLapTriggerSessionEnd = 7;

// Protocol 1.0: nothing here needs 2.0's developer fields, and older readers
// know 1.0. The profile version is 21.00.
constexpr std::uint8_t kProtocolVersion = 0x10;
constexpr std::uint16_t kProfileVersion = 2100;

struct Field {
    std::uint8_t number;
    std::uint8_t baseType;
    std::uint64_t value;
};

std::uint8_t SizeOf(std::uint8_t baseType) {
    switch (baseType) {
        case kUint16:
            return 2;
        case kUint32:
        case kUint32z:
            return 4;
        default:
            return 1;  // enum and uint8
    }
}

// Messages in little-endian byte order, each local type defined the first
// time it is used.
class Encoder {
public:
    Encoder() : m_out(kHeaderSize, '\0') {}

    void Message(std::uint8_t local, std::uint16_t global, std::initializer_list<Field> fields) {
        if (!m_defined[local]) {
            m_defined.set(local);
            m_out.push_back(static_cast<char>(kDefinition | local));
            Put(0, 1);  // reserved
            Put(0, 1);  // little-endian
            Put(global, 2);
            Put(fields.size(), 1);
            for (const Field& field : fields) {
                Put(field.number, 1);
                Put(SizeOf(field.baseType), 1);
                Put(field.baseType, 1);
            }
        }
        m_out.push_back(static_cast<char>(local));
        for (const Field& field : fields) {
            Put(field.value, SizeOf(field.baseType));
        }
    }

    std::string Finish() && {
        const std::size_t dataSize = m_out.size() - kHeaderSize;
        std::string header;
        header.push_back(static_cast<char>(kHeaderSize));
        header.push_back(static_cast<char>(kProtocolVersion));
        Put(header, kProfileVersion, 2);
        Put(header, dataSize, 4);
        header += kMagic;
        Put(header, Crc(0, header), 2);
        m_out.replace(0, kHeaderSize, header);
        Put(m_out, Crc(0, m_out), 2);
        return std::move(m_out);
    }

private:
    static void Put(std::string& out, std::uint64_t value, int size) {
        for (int i = 0; i < size; ++i) {
            out.push_back(static_cast<char>(value >> (8 * i) & 0xFF));
        }
    }
    void Put(std::uint64_t value, int size) { Put(m_out, value, size); }

    std::string m_out;
    std::bitset<16> m_defined;
};

// The start in whole seconds of FIT's epoch, for a start from 1998 on: its
// milliseconds are dropped.
std::int64_t StartSeconds(const FitActivity& activity) {
    return activity.startUtcMs / 1000 - kEpochUnixSeconds;
}

std::int64_t EndSeconds(const FitActivity& activity) {
    return StartSeconds(activity) + (activity.durationMs + 999) / 1000;
}

std::optional<std::int64_t> Centimetres(double metres) {
    const double centimetres = std::round(metres * 100);
    if (!std::isfinite(centimetres) || centimetres < 0 ||
        centimetres > static_cast<double>(kFitFarthestCentimetres)) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(centimetres);
}

}  // namespace

FitMisfit MisfitOf(const FitActivity& activity) {
    if (activity.startUtcMs < kFitFirstStartMs) {
        return FitMisfit::StartTooEarly;
    }
    if (activity.durationMs < 0 || activity.durationMs > kFitLongestMs) {
        return FitMisfit::TooLong;
    }
    if (EndSeconds(activity) > kMaxUint32) {
        return FitMisfit::EndTooLate;
    }
    if (!Centimetres(activity.distanceMetres)) {
        return FitMisfit::TooFar;
    }
    return FitMisfit::None;
}

std::optional<std::string> WriteFitActivity(const FitActivity& activity) {
    if (MisfitOf(activity) != FitMisfit::None) {
        return std::nullopt;
    }
    const auto start = static_cast<std::uint64_t>(StartSeconds(activity));
    const auto end = static_cast<std::uint64_t>(EndSeconds(activity));
    const auto duration = static_cast<std::uint64_t>(activity.durationMs);
    const auto distance = static_cast<std::uint64_t>(*Centimetres(activity.distanceMetres));
    const bool hasCalories =
        activity.calories && *activity.calories >= 0 && *activity.calories <= kFitMostCalories;
    const std::uint64_t calories = hasCalories ? *activity.calories : kInvalidUint16;
    const std::int64_t local =
        static_cast<std::int64_t>(end) + std::int64_t{activity.offsetMinutes} * 60;
    const std::uint64_t localEnd =
        local >= 0 && local <= kMaxUint32 ? static_cast<std::uint64_t>(local) : kInvalidUint32;

    Encoder fit;
    fit.Message(0, kFileIdMessage,
                {{0, kEnum, kFileActivity},
                 {1, kUint16, kManufacturerDevelopment},
                 {2, kUint16, kProduct},
                 {3, kUint32z, kSerialNumber},
                 {4, kUint32, start}});
    const auto event = [&](std::uint64_t time, std::uint8_t type) {
        fit.Message(1, kEventMessage,
                    {{kTimestampField, kUint32, time}, {0, kEnum, kEventTimer}, {1, kEnum, type}});
    };
    const auto record = [&](std::uint64_t time, std::uint64_t at) {
        fit.Message(2, kRecordMessage, {{kTimestampField, kUint32, time}, {5, kUint32, at}});
    };
    event(start, kEventTypeStart);
    record(start, 0);
    record(end, distance);
    event(end, kEventTypeStopAll);
    fit.Message(3, kLapMessage,
                {{kMessageIndexField, kUint16, 0},
                 {kTimestampField, kUint32, end},
                 {0, kEnum, kEventLap},
                 {1, kEnum, kEventTypeStop},
                 {2, kUint32, start},
                 {7, kUint32, duration},
                 {8, kUint32, duration},
                 {9, kUint32, distance},
                 {11, kUint16, calories},
                 {24, kEnum, kLapTriggerSessionEnd},
                 {25, kEnum, kSportRunning}});
    fit.Message(4, kSessionMessage,
                {{kMessageIndexField, kUint16, 0},
                 {kTimestampField, kUint32, end},
                 {0, kEnum, kEventSession},
                 {1, kEnum, kEventTypeStop},
                 {2, kUint32, start},
                 {5, kEnum, kSportRunning},
                 {6, kEnum, kSubSportGeneric},
                 {7, kUint32, duration},
                 {8, kUint32, duration},
                 {9, kUint32, distance},
                 {11, kUint16, calories},
                 {25, kUint16, 0},
                 {26, kUint16, 1},
                 {28, kEnum, kTriggerActivityEnd}});
    fit.Message(5, kActivityMessage,
                {{kTimestampField, kUint32, end},
                 {0, kUint32, duration},
                 {1, kUint16, 1},
                 {2, kEnum, kActivityManual},
                 {3, kEnum, kEventActivity},
                 {4, kEnum, kEventTypeStop},
                 {5, kUint32, localEnd}});
    return std::move(fit).Finish();
}

}  // namespace strivo
