#pragma once

#include "base/regularfile.h"
#include "recording/readinglog.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>

class OutputFile;

// Writes the reading log of a run as a CSV file: UTF-8, CR LF line ends. A
// new file starts with a banner, the model line, the banner again and the
// header; an existing file gets only the data lines appended. A run can be
// written as it goes: open(), then appendRecords() whenever records were
// added, then close().
class saveDataDeal : public QObject
{
    Q_OBJECT
public:
    saveDataDeal(const ReadingLog &log, const QString &model, QObject *parent = nullptr);
    ~saveDataDeal() override;

    // A new file is written under a hidden name in the same folder and takes
    // its name only when complete. False, with the reason in `error`, when
    // the file cannot be opened or written whole (no permission, a directory, a full disk), or is not a
    // regular file (a named pipe, a device), which is left alone; `accept`
    // takes streams too (the command line's outputs). A file appended to
    // that cannot be written whole is put back as it was.
    bool writeCsv(const QString &fileName, QString *error = nullptr,
                  RegularFile::Accept accept = RegularFile::Accept::RegularFiles);

    // Opens the file for appending and, when it is new (or a stream), writes
    // its head; the same refusals and reasons as writeCsv.
    bool open(const QString &fileName, QString *error = nullptr,
              RegularFile::Accept accept = RegularFile::Accept::RegularFiles);
    // Writes the log's records from `first` on and hands them to the system,
    // so they are in the file when this returns; a write that fails leaves
    // the file ending with the last record written whole.
    bool appendRecords(int first, QString *error = nullptr);
    // The last failed write found no reader (a pipe whose reader left).
    bool readerGone() const { return m_readerGone; }
    // Closes the file; false when what was written could not be kept.
    bool close(QString *error = nullptr);

    static QByteArray bannerLine();
    static QByteArray modelLine(const QString &model);
    static QByteArray headerLine();
    // One data line of record i, CR LF included. Any value and time stamp
    // gives a line of the header's columns: what is not a number is "nan",
    // "inf" or "-inf", a year outside 0..9999 has its sign and every digit.
    static void appendRecord(QByteArray &out, const ReadingLog &log, int i);

private:
    QByteArray head() const;
    // `out` then the records from `first` on, handed to the system.
    bool writeLines(OutputFile &file, QByteArray out, int first, QString *error) const;

    const ReadingLog &m_log;
    QString m_model;
    std::unique_ptr<OutputFile> m_file;
    bool m_readerGone = false;
};
