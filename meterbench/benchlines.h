#pragma once

#include "meterbench/benchpairing.h"
#include "recording/newfile.h"
#include "recording/runsinks.h"

#include <QString>

#include <memory>
#include <vector>

// A bench's JSON lines: one file for every meter's records, each as
// `record --jsonl` writes it with the meter's "serial" and "role" after its
// values, and the values of the in/out pairs as records of their own:
//   {"time":…,"bench":NAME,"efficiency_pct":…,"loss_w":…,"drop_v":…,"resistance_ohm":…}
// (a gap: the four values null). Written as it goes; the file is finished
// once the bench has ended and its last pairs are written.
class BenchJsonLines
{
public:
    BenchJsonLines(const QString &fileName, const QString &benchName);
    ~BenchJsonLines();

    bool open(QString *error);
    // The sink of one meter's run; a fault of the file is its fault.
    std::unique_ptr<FileRunSink> memberSink(const QString &serial, const QString &role);
    // The pairs' values; false with the reason when they cannot be written.
    bool write(const std::vector<Bench::Derived> &values, QString *error, bool *readerGone);
    bool close(QString *error);
    QString fileName() const { return m_fileName; }

private:
    QString m_fileName;
    QString m_bench;
    std::shared_ptr<OutputFile> m_file;
};
