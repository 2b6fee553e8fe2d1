#pragma once

#include "recording/journalreader.h"

#include <QColor>
#include <QPair>
#include <QPointF>
#include <QString>
#include <QVector>

#include <vector>

class QCoreApplication;
class QPainter;
class QRectF;
class ReadingLog;
class RunComparison;
class RunJournal;

// A run's report, or a comparison's, as a PDF (Qt's own writer, one or two
// A4 pages) or an HTML page: title, meter, start and end, how it ended, the
// run's fields and notes, the summary table, the marks, and charts of VBUS,
// IBUS and POWER painted from the run's records. The same in every
// language the program speaks.
namespace RunReport {

// What a person wrote about a run, and its named moments.
struct Mark {
    qint64 sinceStartMs = 0;   // from the run's first record
    QString name;
};
struct Extras {
    QVector<QPair<QString, QString>> fields;   // name, value: those filled in
    QString notes;
    QVector<Mark> marks;
    QVector<qint64> markWallMs;                 // when each mark was made
};

// A run's fields, notes and marks as the journal keeps them.
Extras extrasOf(RunJournal &journal, qint64 id);

// Writes the report of a run to `path` (a new file under a hidden name,
// renamed when whole). False with the reason.
bool writeRun(RunJournal &journal, qint64 id, const QString &path, bool html, QString *error);
// Writes the report of a bench: its meters and their roles, each meter's
// energy and the in/out figures (energy in and out, energy efficiency,
// loss), the efficiency and loss over time and every meter's POWER.
bool writeBench(RunJournal &journal, qint64 benchId, const QString &path, bool html, QString *error);
// A file name for a report of a run with this name ("report" for none):
// the name with what no file name may hold replaced, and the suffix.
QString fileName(const QString &runName, const QString &suffix);

// The cursors' interval of a comparison, in ms since zero; `set` false: none.
struct Interval {
    bool set = false;
    qint64 fromMs = 0, toMs = 0;
};
bool writeComparison(RunComparison &comparison, const QString &path, bool html, QString *error,
                     const Interval &cursors = Interval());

// The application `ombrel report` runs on: one that paints, without a
// display (Qt's offscreen platform).
QCoreApplication *makeApplication(int &argc, char **argv);

// A curve of a chart: points (ms since start, value).
// A curve in pieces, one for each stretch between gaps (a meter unplugged):
// nothing is drawn across a gap.
struct Curve {
    std::vector<QVector<QPointF>> pieces;
    QColor colour;
    QString name;
};
// A chart painted into `rect`: frame, value and time labels, the axes'
// titles (the time's `timeTitle`, the values' the title and unit), the
// curves, and the marks as labelled vertical lines (ms since start), their
// labels stacked so that none covers another.
void paintChart(QPainter &painter, const QRectF &rect, const QString &title, const QString &unit,
                const QVector<Curve> &curves, qint64 fromMs, qint64 toMs, const QVector<Mark> &marks,
                const QString &timeTitle);

// The points that draw a channel of a log over its whole length on
// `columns` columns, x in ms since its first record.
std::vector<QVector<QPointF>> reducedCurve(const ReadingLog &log, int channel, int columns);
// The same for any values at their times (ms, in order), x in ms since t0.
std::vector<QVector<QPointF>> reducedCurve(const std::vector<qint64> &times, const std::vector<float> &values,
                                           qint64 t0, int columns);

} // namespace RunReport
