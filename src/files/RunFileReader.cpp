#include "files/RunFileReader.h"

#include <optional>
#include <string>

#include "files/CsvRunReader.h"
#include "files/FileSource.h"
#include "files/FitReader.h"
#include "files/GpxReader.h"
#include "files/GzipSource.h"
#include "files/TcxReader.h"
#include "files/ZipEntrySource.h"
#include "io/PathText.h"

namespace strivo {
namespace {

// The bytes read ahead to recognise a file, handed out again before the rest.
class ReplayedSource : public ByteSource {
public:
    ReplayedSource(std::string head, ByteSource& rest) : m_head(std::move(head)), m_rest(rest) {}

    std::size_t Read(char* into, std::size_t room) override {
        if (m_given < m_head.size()) {
            const std::size_t n = std::min(room, m_head.size() - m_given);
            m_head.copy(into, n, m_given);
            m_given += n;
            return n;
        }
        return m_rest.Read(into, room);
    }

private:
    std::string m_head;
    std::size_t m_given = 0;
    ByteSource& m_rest;
};

// Another source, which ends once a stop is asked for: a reader deep in a
// large file comes to an end within the piece in hand.
class StoppableSource : public ByteSource {
public:
    StoppableSource(ByteSource& source, std::stop_token stop)
        : m_source(source), m_stop(std::move(stop)) {}

    std::size_t Read(char* into, std::size_t room) override {
        if (m_stop.stop_requested()) {
            m_stopped = true;
            return 0;
        }
        return m_source.Read(into, room);
    }
    bool stopped() const { return m_stopped; }

private:
    ByteSource& m_source;
    std::stop_token m_stop;
    bool m_stopped = false;
};

}  // namespace

std::string ReadHead(ByteSource& source) {
    std::string head(kRecogniseBytes, '\0');
    std::size_t size = 0;
    while (size < head.size()) {
        const std::size_t got = source.Read(head.data() + size, head.size() - size);
        if (got == 0) {
            break;
        }
        size += got;
    }
    head.resize(size);
    return head;
}

RunFileReader ReaderFor(RunFileFormat format) {
    switch (format) {
        case RunFileFormat::Gpx:
            return &ReadGpx;
        case RunFileFormat::Tcx:
            return &ReadTcx;
        case RunFileFormat::Csv:
            return &ReadCsvRuns;
        case RunFileFormat::Fit:
            return &ReadFit;
    }
    return nullptr;
}

Result<RunFile> ReadRunFile(ByteSource& source, const std::filesystem::path& name, RunSink& sink,
                            std::stop_token stop) {
    std::string head = ReadHead(source);
    const Result<RunFileKind> kind = RecogniseRunFile(head, name);
    if (!kind) {
        return kind.problem();
    }
    const RunFileReader reader = ReaderFor(kind->format);
    if (reader == nullptr) {
        return Problem(ProblemCode::ImportFormatNotReadable, {"FIT"});
    }
    sink.Recognised(kind->format);
    ReplayedSource whole(std::move(head), source);
    std::optional<GzipSource> inflated;
    if (kind->gzip) {
        inflated.emplace(whole);
    }
    StoppableSource stoppable(inflated ? static_cast<ByteSource&>(*inflated) : whole,
                              std::move(stop));
    Result<RunFile> file = reader(stoppable, sink);
    if (stoppable.stopped()) {
        return Problem(ProblemCode::ImportStopped);
    }
    // A gzip stream that broke off explains whatever the reader then made of it.
    if (inflated && !inflated->Status()) {
        return Problem(ProblemCode::ImportFileFailed, {PathText(name)})
            .Because(inflated->Status().problem());
    }
    if (!file) {
        return Problem(ProblemCode::ImportFileFailed, {PathText(name)}).Because(file.problem());
    }
    return file;
}

Result<RunFile> ReadRunFile(const std::filesystem::path& path, RunSink& sink,
                            std::stop_token stop) {
    FileSource source(path);
    if (!source.Status()) {
        return source.Status().problem();
    }
    Result<RunFile> file = ReadRunFile(source, path, sink, std::move(stop));
    // A read that failed ends the file early: that is what went wrong.
    if (!source.Status()) {
        return source.Status().problem();
    }
    return file;
}

Result<RunFile> ReadRunFile(const RunFilePlace& place, RunSink& sink, std::stop_token stop) {
    if (!place.archive) {
        return ReadRunFile(place.path, sink, std::move(stop));
    }
    const std::string name = place.Name();
    const auto failed = [&](const Problem& why) {
        return Problem(ProblemCode::ImportFileFailed, {name}).Because(why);
    };
    Result<std::shared_ptr<ZipArchive>> archive = place.archive->Acquire();
    if (!archive) {
        place.archive->Release();
        return failed(archive.problem());
    }
    Result<RunFile> file = [&]() -> Result<RunFile> {
        ZipEntrySource source(**archive, place.entry);
        Result<RunFile> read =
            ReadRunFile(source, std::filesystem::path(std::u8string(name.begin(), name.end())),
                        sink, std::move(stop));
        source.Finish();
        // A damaged entry explains whatever the reader made of it.
        if (!source.Status()) {
            return failed(source.Status().problem());
        }
        return read;
    }();
    place.archive->Release();
    return file;
}

Result<RunFile> ReadRunFile(ByteSource& source, const std::filesystem::path& name,
                            std::stop_token stop) {
    RunCollector collector;
    return collector.Into(ReadRunFile(source, name, collector, std::move(stop)));
}

Result<RunFile> ReadRunFile(const std::filesystem::path& path, std::stop_token stop) {
    RunCollector collector;
    return collector.Into(ReadRunFile(path, collector, std::move(stop)));
}

Result<RunFile> ReadRunFile(const RunFilePlace& place, std::stop_token stop) {
    RunCollector collector;
    return collector.Into(ReadRunFile(place, collector, std::move(stop)));
}

}  // namespace strivo
