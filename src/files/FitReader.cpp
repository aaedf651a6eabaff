#include "files/FitReader.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "files/FitProtocol.h"

namespace strivo {
namespace {

using namespace fit;

// The largest message: a header byte and 255 fields of 255 bytes, plus as
// many developer fields.
constexpr std::size_t kLargestMessage = 1 + std::size_t{2} * 255 * 255;
constexpr std::size_t kWindowSize = std::size_t{192} * 1024;
static_assert(kWindowSize >= kLargestMessage);
// Messages are mostly small: the window grows only for one that is not.
constexpr std::size_t kFirstWindowSize = std::size_t{16} * 1024;

// The fields this reader uses; every other byte is only counted into the CRC.
enum Role : std::uint8_t {
    kTimestamp,
    kStartTime,
    kSport,
    kElapsedTime,
    kTimerTime,
    kDistance,
    kCalories,
    kLocalTimestamp,
    kFileType,
    kRoleCount,
};

std::optional<Role> RoleOf(std::uint16_t global, std::uint8_t field) {
    if (field == kTimestampField) {
        return kTimestamp;  // in every message: the base of compressed timestamps
    }
    if (global == kSessionMessage) {
        switch (field) {
            case 2:
                return kStartTime;
            case 5:
                return kSport;
            case 7:
                return kElapsedTime;
            case 8:
                return kTimerTime;
            case 9:
                return kDistance;
            case 11:
                return kCalories;
            default:
                return std::nullopt;
        }
    }
    if (global == kActivityMessage && field == 5) {
        return kLocalTimestamp;
    }
    if (global == kFileIdMessage && field == 0) {
        return kFileType;
    }
    return std::nullopt;
}

// Where a used field lies in a data message, and how to read it.
struct Slot {
    std::uint32_t offset = 0;  // from the first byte after the record header
    std::uint8_t size = 0;
    std::uint8_t baseType = 0;
    Role role = kTimestamp;
};

struct Definition {
    bool defined = false;
    bool bigEndian = false;
    std::uint16_t global = 0;
    std::uint32_t size = 0;  // of a data message, without its header byte
    std::vector<Slot> slots;
};

using Values = std::array<std::optional<std::uint64_t>, kRoleCount>;

// A field's value, or nothing when it holds its base type's invalid value,
// is not a single integer, or is negative.
std::optional<std::uint64_t> ValueOf(const Slot& slot, const unsigned char* bytes, bool bigEndian) {
    static constexpr std::uint8_t kSizes[] = {1, 1, 1, 2, 2, 4, 4, 1, 4, 8, 1, 2, 4, 1, 8, 8, 8};
    const unsigned number = slot.baseType & kBaseTypeNumberMask;
    if (number >= sizeof kSizes || kSizes[number] != slot.size || number == (kString & 0x1F) ||
        number == (kFloat32 & 0x1F) || number == (kFloat64 & 0x1F) || number == (kByte & 0x1F)) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (unsigned i = 0; i < slot.size; ++i) {
        const unsigned char byte = bytes[bigEndian ? i : slot.size - 1 - i];
        value = (value << 8) | byte;
    }
    const unsigned bits = 8 * slot.size;
    const std::uint64_t allOnes = bits == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << bits) - 1;
    const std::uint64_t signBit = std::uint64_t{1} << (bits - 1);
    switch (number) {
        case kSint8 & 0x1F:
        case kSint16 & 0x1F:
        case kSint32 & 0x1F:
        case kSint64 & 0x1F:
            if (value == signBit - 1 || (value & signBit) != 0) {
                return std::nullopt;
            }
            return value;
        case kUint8z & 0x1F:
        case kUint16z & 0x1F:
        case kUint32z & 0x1F:
        case kUint64z & 0x1F:
            return value == 0 ? std::nullopt : std::optional(value);
        default:  // enum and the unsigned types
            return value == allOnes ? std::nullopt : std::optional(value);
    }
}

std::uint16_t Little16(const unsigned char* bytes) {
    return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
}

std::uint32_t Little32(const unsigned char* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

// The source seen through a window that always holds the message in hand.
// Every byte taken passes through the CRC, in long runs: before the window
// moves on, and when the CRC is asked for.
class Input {
public:
    explicit Input(ByteSource& source) : m_source(source), m_window(kFirstWindowSize) {}

    // At least `count` (<= kWindowSize) bytes at Here(), or false when the
    // source ends first.
    bool Need(std::size_t count) {
        if (m_end - m_begin >= count) {
            return true;
        }
        CountTaken();
        std::memmove(m_window.data(), m_window.data() + m_begin, m_end - m_begin);
        m_end -= m_begin;
        m_begin = 0;
        m_counted = 0;
        if (count > m_window.size()) {
            m_window.resize(std::min(std::max(count, 2 * m_window.size()), kWindowSize));
        }
        while (m_end < count) {
            const std::size_t got = m_source.Read(reinterpret_cast<char*>(m_window.data()) + m_end,
                                                  m_window.size() - m_end);
            if (got == 0) {
                return false;
            }
            m_end += got;
        }
        return true;
    }
    const unsigned char* Here() const { return m_window.data() + m_begin; }
    void Take(std::size_t count) {
        m_begin += count;
        m_offset += count;
    }
    // The bytes there are from Here() on, up to `count`: how far a
    // truncated file goes.
    std::uint64_t Available(std::size_t count) {
        Need(count);
        return m_offset + (m_end - m_begin);
    }

    std::uint64_t offset() const { return m_offset; }
    // Of the bytes taken since RestartCrc().
    std::uint16_t crc() {
        CountTaken();
        return m_crc;
    }
    void RestartCrc() {
        m_crc = 0;
        m_counted = m_begin;
    }

private:
    void CountTaken() {
        m_crc = Crc(m_crc, m_window.data() + m_counted, m_begin - m_counted);
        m_counted = m_begin;
    }

    ByteSource& m_source;
    std::vector<unsigned char> m_window;
    std::size_t m_begin = 0;
    std::size_t m_end = 0;
    std::size_t m_counted = 0;  // the CRC has counted the window up to here
    std::uint64_t m_offset = 0;
    std::uint16_t m_crc = 0;
};

class Decoder {
public:
    explicit Decoder(ByteSource& source) : m_in(source) { m_file.format = RunFileFormat::Fit; }

    Result<RunFile> Read() {
        for (bool first = true; !m_passedOver && (first || m_in.Need(1)); first = false) {
            if (Outcome part = ReadPart(first); !part) {
                return part.problem();
            }
        }
        return std::move(m_file);
    }

private:
    static std::string Text(std::uint64_t number) { return std::to_string(number); }

    Problem Truncated(std::size_t needed) {
        return Problem(ProblemCode::FitTruncated, {Text(m_in.Available(needed))});
    }

    // One FIT file: its header, its messages, its CRC.
    Outcome ReadPart(bool first) {
        const std::uint64_t start = m_in.offset();
        // Bytes after a complete FIT file that are none (a damaged header, a
        // device's padding) are passed over: what came before is whole.
        const auto notFit = [&]() -> Outcome {
            if (first) {
                return Problem(ProblemCode::FitNotFit);
            }
            m_file.warnings.push_back(Problem(ProblemCode::FitTrailingBytes, {Text(start)}));
            m_passedOver = true;
            return {};
        };
        if (!m_in.Need(kShortHeaderSize)) {
            return notFit();
        }
        const unsigned char* header = m_in.Here();
        const std::size_t headerSize = header[0];
        if ((headerSize != kShortHeaderSize && headerSize != kHeaderSize) ||
            std::memcmp(header + 8, kMagic.data(), kMagic.size()) != 0) {
            return notFit();
        }
        if (!m_in.Need(headerSize)) {
            return Truncated(headerSize);
        }
        header = m_in.Here();
        if (headerSize == kHeaderSize) {
            const std::uint16_t stated = Little16(header + kShortHeaderSize);
            if (stated != 0 && stated != Crc(0, header, kShortHeaderSize)) {
                return first ? Problem(ProblemCode::FitHeaderCrc) : notFit();
            }
        }
        if (header[1] >> 4 > 2) {
            return Problem(ProblemCode::FitProtocolNewer,
                           {Text(header[1] >> 4) + "." + Text(header[1] & 0x0F)});
        }
        const std::uint32_t dataSize = Little32(header + 4);
        m_in.RestartCrc();
        m_in.Take(headerSize);

        m_dataEnd = m_in.offset() + dataSize;
        m_dataSize = dataSize;
        m_definitions = {};
        m_lastTimestamp = 0;
        m_partOffset.reset();
        const std::size_t partRuns = m_file.runs.size();
        while (m_in.offset() < m_dataEnd) {
            if (Outcome message = ReadMessage(); !message) {
                return message;
            }
        }
        if (!m_in.Need(2)) {
            return Truncated(2);
        }
        if (Little16(m_in.Here()) != m_in.crc()) {
            return Problem(ProblemCode::FitFileCrc);
        }
        m_in.Take(2);
        for (std::size_t i = partRuns; i < m_file.runs.size(); ++i) {
            m_file.runs[i].offsetMinutes = m_partOffset;
        }
        return {};
    }

    // `size` bytes from here, within the data and the source.
    Outcome Within(std::uint64_t at, std::size_t size) {
        if (at + size > m_dataEnd) {
            return Problem(ProblemCode::FitPastDataSize, {Text(at), Text(m_dataSize)});
        }
        if (!m_in.Need(size)) {
            return Truncated(size);
        }
        return {};
    }

    Outcome ReadMessage() {
        const std::uint64_t at = m_in.offset();
        if (!m_in.Need(1)) {
            return Truncated(1);
        }
        const std::uint8_t header = m_in.Here()[0];
        if ((header & kCompressedTimestamp) != 0) {
            // The offset counts on from the last full timestamp, rolling
            // over every 32 seconds.
            const std::uint32_t offset = header & 0x1F;
            std::uint32_t time = (m_lastTimestamp & ~std::uint32_t{0x1F}) + offset;
            if (offset < (m_lastTimestamp & 0x1F)) {
                time += 0x20;
            }
            m_lastTimestamp = time;
            return ReadData(at, (header >> 5) & 0x03, time);
        }
        if ((header & kDefinition) != 0) {
            return ReadDefinition(at, header);
        }
        return ReadData(at, header & kLocalTypeMask, std::nullopt);
    }

    Outcome ReadDefinition(std::uint64_t at, std::uint8_t header) {
        const bool developer = (header & kDeveloperData) != 0;
        std::size_t size = 6;  // header, reserved, architecture, global (2), field count
        if (Outcome fixed = Within(at, size); !fixed) {
            return fixed;
        }
        const std::uint8_t architecture = m_in.Here()[2];
        if (architecture > 1) {
            return Problem(ProblemCode::FitBadDefinition, {Text(at)});
        }
        const std::size_t fields = m_in.Here()[5];
        size += 3 * fields;
        if (developer) {
            if (Outcome counted = Within(at, size + 1); !counted) {
                return counted;
            }
            size += 1 + 3 * std::size_t{m_in.Here()[size]};
        }
        if (Outcome whole = Within(at, size); !whole) {
            return whole;
        }
        const unsigned char* bytes = m_in.Here();
        Definition& definition = m_definitions[header & kLocalTypeMask];
        definition.defined = true;
        definition.bigEndian = architecture == 1;
        definition.global = definition.bigEndian
                                ? static_cast<std::uint16_t>(bytes[3] << 8 | bytes[4])
                                : Little16(bytes + 3);
        definition.size = 0;
        definition.slots.clear();
        for (std::size_t i = 0; i < fields; ++i) {
            const unsigned char* field = bytes + 6 + 3 * i;
            if (const auto role = RoleOf(definition.global, field[0])) {
                definition.slots.push_back({definition.size, field[1], field[2], *role});
            }
            definition.size += field[1];
        }
        // Developer fields only take room: their meaning is in other messages.
        for (std::size_t field = 6 + 3 * fields + 1; developer && field < size; field += 3) {
            definition.size += bytes[field + 1];
        }
        m_in.Take(size);
        return {};
    }

    Outcome ReadData(std::uint64_t at, unsigned local, std::optional<std::uint32_t> time) {
        const Definition& definition = m_definitions[local];
        if (!definition.defined) {
            // A file that ends before the data its header announces ends in
            // its CRC, which reads as a message of a type never defined.
            if (m_in.Available(3) < at + 3) {
                return Truncated(3);
            }
            return Problem(ProblemCode::FitUndefinedLocalType, {Text(local), Text(at)});
        }
        const std::size_t size = 1 + std::size_t{definition.size};
        if (Outcome whole = Within(at, size); !whole) {
            return whole;
        }
        Values values;
        for (const Slot& slot : definition.slots) {
            values[slot.role] = ValueOf(slot, m_in.Here() + 1 + slot.offset, definition.bigEndian);
        }
        m_in.Take(size);
        if (values[kTimestamp]) {
            m_lastTimestamp = static_cast<std::uint32_t>(*values[kTimestamp]);
            time = m_lastTimestamp;
        }
        if (definition.global == kSessionMessage) {
            return OnSession(values);
        }
        if (definition.global == kActivityMessage) {
            OnActivity(values, time);
        }
        if (definition.global == kFileIdMessage && values[kFileType]) {
            // The protocol's file types: 5 a workout, 6 a course.
            m_file.content = *values[kFileType] == 5   ? RunFileContent::Workout
                             : *values[kFileType] == 6 ? RunFileContent::Course
                                                       : m_file.content;
        }
        return {};
    }

    Outcome OnSession(const Values& values) {
        ++m_sessions;
        // A race's transitions are parts of it, not activities of their own.
        if (values[kSport] == kSportTransition) {
            return {};
        }
        if (values[kSport] != kSportRunning) {
            ++m_file.otherSports;
            return {};
        }
        const auto incomplete = [&](const char* field) {
            return Problem(ProblemCode::FitSessionIncomplete, {Text(m_sessions), field});
        };
        const auto start = values[kStartTime];
        if (!start || *start > 0xFFFFFFFF) {
            return incomplete(kFieldStart);
        }
        if (*start < kFirstAbsoluteTime) {
            return Problem(ProblemCode::FitDeviceRelativeStart, {Text(m_sessions)});
        }
        const auto duration = values[kTimerTime] ? values[kTimerTime] : values[kElapsedTime];
        if (!duration || *duration > 0xFFFFFFFF) {
            return incomplete(kFieldDuration);
        }
        const auto distance = values[kDistance];
        if (!distance || *distance > 0xFFFFFFFF) {
            return incomplete(kFieldDistance);
        }
        ImportedRun run;
        run.startUtcMs = (static_cast<std::int64_t>(*start) + kEpochUnixSeconds) * 1000;
        run.durationMs = static_cast<std::int64_t>(*duration);
        run.distanceMetres = static_cast<double>(*distance) / 100;
        if (values[kCalories] && *values[kCalories] <= 0xFFFFFFFF) {
            run.calories = static_cast<std::int64_t>(*values[kCalories]);
        }
        m_file.runs.push_back(run);
        return {};
    }

    void OnActivity(const Values& values, std::optional<std::uint32_t> time) {
        const auto local = values[kLocalTimestamp];
        if (m_partOffset || !time || *time < kFirstAbsoluteTime || !local || *local > 0xFFFFFFFF) {
            return;
        }
        const double seconds = static_cast<double>(*local) - static_cast<double>(*time);
        const auto minutes = static_cast<int>(std::lround(seconds / 60));
        // Time zones run from 12 hours behind UTC to 14 ahead; anything else
        // is not an offset the device knew.
        if (minutes >= -12 * 60 && minutes <= 14 * 60) {
            m_partOffset = minutes;
        }
    }

    Input m_in;
    RunFile m_file;
    int m_sessions = 0;
    bool m_passedOver = false;  // bytes after the last FIT file were no FIT file
    // The FIT file in hand, of those chained in the source.
    std::uint64_t m_dataEnd = 0;
    std::uint32_t m_dataSize = 0;
    std::array<Definition, 16> m_definitions;
    std::uint32_t m_lastTimestamp = 0;
    std::optional<int> m_partOffset;
};

}  // namespace

Result<RunFile> ReadFit(ByteSource& source) {
    Decoder decoder(source);
    return decoder.Read();
}

}  // namespace strivo
