#pragma once

#include "meterbench/benchlines.h"
#include "meterbench/benchpairing.h"
#include "recording/recordedrun.h"

#include <QObject>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

// A bench recorded without a window: two to four meters, each recorded as a
// run of its own (RecordedRun: its journal run, its meter's comings and
// goings), begun together and ended together, the bench kept in the journal
// once every member's run is, and the records of the `in` and `out` meters
// paired as they come (derived()).
//
// A meter pulled out stops its own records; the others go on, and the pairs
// become gaps until it is back (the same serial number). The stop conditions
// are looked at on the `out` meter (the load's side), or on the first one
// when there is no `out`; the first member to end ends them all, for the
// same reason.
class BenchRecording : public QObject
{
    Q_OBJECT
public:
    struct Member {
        QString role;     // "in", "out" or a name of the user's
        QString serial;
    };
    struct Request {
        QString name;
        RunFields fields;
        StopConditions conditions;
        bool allReports = false;
        bool exitOnUnplug = false;   // any meter pulled out ends the bench
        std::vector<Member> members;
        QString jsonLinesFile;       // empty: none; "-": standard output (BenchJsonLines)
        // A run this program records itself (the window's), whose meter the
        // bench may share; 0 for none.
        qint64 ownRun = 0;
    };
    static constexpr int kMinMembers = 2;
    static constexpr int kMaxMembers = 4;

    // What is wrong with the members as given (their number, a role given
    // twice or empty, a serial number given twice), in words; empty when
    // nothing is.
    static QString checkMembers(const std::vector<Member> &members);

    explicit BenchRecording(const Request &request, QObject *parent = nullptr);
    ~BenchRecording() override;

    // Opens every meter, then the file: false with the words (a serial
    // number no meter has, or two meters have; a meter another program
    // records; a file that cannot be written), and `noMeter` when a meter is
    // missing or could not be opened.
    bool open(QString *words, bool *noMeter);
    // Opens the journal and attaches each meter's file sinks after its
    // journal's; the caller's own sinks go after these, before begin().
    void attachFiles();
    // Begins every member's run.
    void begin();
    void finish(const QString &reason, bool failed = false);
    // Ends every member's run as finish() said.
    void close();

    QString name() const { return m_request.name; }
    int size() const { return int(m_members.size()); }
    const Member &member(int i) const { return m_request.members[size_t(i)]; }
    RecordedRun &run(int i) { return *m_members[size_t(i)]; }
    // The member whose stop conditions count.
    int conditionMember() const { return m_conditionMember; }
    bool ending() const { return m_endReason.has_value(); }
    bool failed() const { return m_failed; }
    // The bench's row in the journal, 0 until every member's run is stored.
    qint64 benchId() const { return m_benchId; }
    // Whether it has an `in` and an `out` meter, and the figures of their
    // pairs so far with the energies of both runs.
    bool pairsInOut() const { return m_in >= 0 && m_out >= 0; }
    Bench::Figures figures() const;

signals:
    void said(const QString &words);
    void finished();
    void ticked();
    // New values of the in/out pairs, in the order of their times.
    void derived(const std::vector<Bench::Derived> &values);

private:
    void memberRecorded(int i, int added);
    void storeBench();
    void settle(qint64 watermark);

    Request m_request;
    std::vector<std::unique_ptr<RecordedRun>> m_members;
    int m_conditionMember = 0;
    int m_in = -1, m_out = -1;
    std::unique_ptr<Bench::Pairing> m_pairing;
    std::unique_ptr<BenchJsonLines> m_lines;
    QString m_linesError;
    bool m_linesGone = false;
    std::vector<qint64> m_origin;   // each member's wall time at its timeline's zero, once known
    qint64 m_newest = 0;
    Bench::Figures m_figures;
    std::vector<qint64> m_periodTimes;   // the in meter's first records, for the period of every report
    qint64 m_benchId = 0;
    std::optional<QString> m_endReason;
    bool m_failed = false;
};
