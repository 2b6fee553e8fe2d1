#include "meterbench/benchlines.h"

#include "recording/jsonlines.h"

namespace {

// Whole lines onto the bench's file, kept once written; false with the
// reason, and whether its reader went away.
bool writeLines(OutputFile &file, const QByteArray &lines, QString *error, bool *readerGone)
{
    if (!file.write(lines, error)) {
        *readerGone = file.readerGone();
        return false;
    }
    file.keep();
    return true;
}

// One meter's records into the bench's file.
class MemberLines : public FileRunSink
{
public:
    MemberLines(std::shared_ptr<OutputFile> file, const QString &fileName, const QString &serial, const QString &role)
        : FileRunSink(fileName), m_file(std::move(file))
    {
        m_more = ",\"serial\":";
        JsonLines::appendString(m_more, serial);
        m_more += ",\"role\":";
        JsonLines::appendString(m_more, role);
    }
    // The bench opens and finishes the file.
    bool open(QString *) override { return true; }
    bool close(QString *) override { return true; }

protected:
    bool append(const LiveRun &run, int first, QString *error, bool *readerGone) override
    {
        QByteArray out;
        for (int i = first; i < run.log().size(); ++i)
            JsonLines::appendRecord(out, run.log(), i, m_more);
        return writeLines(*m_file, out, error, readerGone);
    }

private:
    std::shared_ptr<OutputFile> m_file;
    QByteArray m_more;
};

} // namespace

BenchJsonLines::BenchJsonLines(const QString &fileName, const QString &benchName)
    : m_fileName(fileName), m_bench(benchName),
      m_file(std::make_shared<OutputFile>(fileName, OutputFile::Mode::AsItGoes, RegularFile::Accept::Streams))
{
}

BenchJsonLines::~BenchJsonLines() = default;

bool BenchJsonLines::open(QString *error)
{
    return m_file->open(error);
}

std::unique_ptr<FileRunSink> BenchJsonLines::memberSink(const QString &serial, const QString &role)
{
    return std::make_unique<MemberLines>(m_file, m_fileName, serial, role);
}

bool BenchJsonLines::write(const std::vector<Bench::Derived> &values, QString *error, bool *readerGone)
{
    QByteArray out;
    for (const Bench::Derived &d : values)
        out += Bench::json(m_bench, d) + '\n';
    return writeLines(*m_file, out, error, readerGone);
}

bool BenchJsonLines::close(QString *error)
{
    return m_file->commit(error);
}
