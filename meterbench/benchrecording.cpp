#include "meterbench/benchrecording.h"

#include "device/meterport.h"
#include "recording/runjournal.h"
#include "recording/runsinks.h"

#include <QCoreApplication>
#include <QSet>

#include <limits>

namespace {

// Records of the in meter that give the period of a bench that keeps every
// report.
constexpr size_t kPeriodRecords = 8;

} // namespace

QString BenchRecording::checkMembers(const std::vector<Member> &members)
{
    if (members.size() < size_t(kMinMembers) || members.size() > size_t(kMaxMembers))
        return QCoreApplication::translate("Bench", "工作台需要 2 到 4 个电表，而不是 %1 个").arg(members.size());
    QSet<QString> roles, serials;
    for (const Member &m : members) {
        if (m.role.trimmed().isEmpty())
            return QCoreApplication::translate("Bench", "电表 %1 没有角色").arg(m.serial);
        if (roles.contains(m.role))
            return QCoreApplication::translate("Bench", "角色“%1”用了两次").arg(m.role);
        if (serials.contains(m.serial))
            return QCoreApplication::translate("Bench", "序列号 %1 用了两次").arg(m.serial);
        roles.insert(m.role);
        serials.insert(m.serial);
    }
    return QString();
}

BenchRecording::BenchRecording(const Request &request, QObject *parent) : QObject(parent), m_request(request)
{
    for (size_t i = 0; i < request.members.size(); ++i) {
        const QString &role = request.members[i].role;
        if (role == QLatin1String("in"))
            m_in = int(i);
        else if (role == QLatin1String("out"))
            m_out = int(i);
    }
    m_conditionMember = m_out >= 0 ? m_out : 0;
    m_pairing = std::make_unique<Bench::Pairing>(request.allReports ? 0 : 1000);
    m_origin.assign(request.members.size(), std::numeric_limits<qint64>::min());
    for (size_t i = 0; i < request.members.size(); ++i) {
        RecordedRun::Request r;
        r.meter.serial = request.members[i].serial;
        r.meter.allReports = request.allReports;
        r.meter.exitOnUnplug = request.exitOnUnplug;
        r.name = request.name;
        r.fields = request.fields;
        if (int(i) == m_conditionMember)
            r.conditions = request.conditions;
        m_members.push_back(std::make_unique<RecordedRun>(r));
        RecordedRun &run = *m_members.back();
        connect(&run, &RecordedRun::said, this, &BenchRecording::said);
        // The first member to end ends them all, for its reason.
        connect(&run, &RecordedRun::finished, this, [this, &run] { finish(run.endReason(), run.failed()); });
        if (int(i) == m_conditionMember)
            connect(&run, &RecordedRun::ticked, this, &BenchRecording::ticked);
        connect(&run.run(), &LiveRun::recorded, this, [this, i](int added) { memberRecorded(int(i), added); });
    }
}

BenchRecording::~BenchRecording()
{
    close();
}

bool BenchRecording::open(QString *words, bool *noMeter)
{
    *noMeter = false;
    const QString wrong = checkMembers(m_request.members);
    if (!wrong.isEmpty()) {
        *words = wrong;
        return false;
    }
    // Two meters with one serial number cannot be told apart: neither is
    // taken.
    const std::vector<AttachedMeter> attached = attachedMeters();
    for (const Member &m : m_request.members) {
        const auto same = std::count_if(attached.begin(), attached.end(),
                                        [&](const AttachedMeter &a) { return a.serial == m.serial; });
        if (same > 1) {
            *noMeter = true;
            *words = QCoreApplication::translate("Bench", "有 %1 个电表的序列号都是 %2：无法分辨它们").arg(same).arg(m.serial);
            return false;
        }
    }
    // A meter another program records.
    RunJournal journal;
    if (journal.open(RunJournal::Mode::Read)) {
        for (const JournalRun &run : journal.runs()) {
            if (run.finished())
                continue;
            for (const Member &m : m_request.members) {
                if (run.serial == m.serial && run.id != m_request.ownRun && journal.isRecording(run.id)) {
                    *noMeter = true;
                    *words = QCoreApplication::translate("Bench", "电表 %1 正由另一个程序记录（运行 %2）").arg(m.serial).arg(run.id);
                    return false;
                }
            }
        }
    }
    journal.close();
    for (auto &run : m_members) {
        if (!run->open(words, noMeter))
            return false;
    }
    if (!m_request.jsonLinesFile.isEmpty()) {
        m_lines = std::make_unique<BenchJsonLines>(m_request.jsonLinesFile, m_request.name);
        QString reason;
        if (!m_lines->open(&reason)) {
            *words = RecordedRun::cannotWrite(m_request.jsonLinesFile, reason);
            return false;
        }
    }
    return true;
}

void BenchRecording::attachFiles()
{
    for (size_t i = 0; i < m_members.size(); ++i) {
        RecordedRun &run = *m_members[i];
        run.attachFiles();
        if (m_lines)
            run.adopt(run.run().attach(m_lines->memberSink(run.recorder().serialNumber(), m_request.members[i].role)));
    }
}

void BenchRecording::begin()
{
    for (auto &run : m_members)
        run->begin();
    storeBench();
}

void BenchRecording::storeBench()
{
    if (m_benchId || m_members.empty())
        return;
    std::vector<JournalBench::Member> members;
    qint64 start = std::numeric_limits<qint64>::max();
    for (size_t i = 0; i < m_members.size(); ++i) {
        RecordedRun &run = *m_members[i];
        const qint64 id = run.session().journalSink().lastStoredId();
        if (id <= 0)
            return;
        members.push_back({id, m_request.members[i].role, run.recorder().serialNumber()});
        start = qMin(start, run.run().startWallMs());
    }
    const qint64 period = qMax<qint64>(1, m_pairing->periodMs());
    m_benchId = m_members.front()->session().journal().addBench(m_request.name, start, period, members);
}

void BenchRecording::memberRecorded(int i, int added)
{
    storeBench();
    const bool in = i == m_in, out = i == m_out;
    if (!in && !out)
        return;
    const ReadingLog &log = m_members[size_t(i)]->run().log();
    for (int k = log.size() - added; k < log.size(); ++k) {
        if (m_origin[size_t(i)] == std::numeric_limits<qint64>::min())
            m_origin[size_t(i)] = log.timeMs(k) - log.runMs(k);
        const Bench::Point p{m_origin[size_t(i)] + log.runMs(k), log.value(ReadingLog::Vbus, k),
                             log.value(ReadingLog::Ibus, k), log.value(ReadingLog::Power, k)};
        m_newest = qMax(m_newest, p.t);
        if (in) {
            m_pairing->addIn(p);
            if (m_pairing->periodMs() == 0) {
                m_periodTimes.push_back(p.t);
                if (m_periodTimes.size() == kPeriodRecords)
                    m_pairing->setPeriod(Bench::periodOf(m_periodTimes));
            }
        } else {
            m_pairing->addOut(p);
        }
    }
    // A record a period and a half older than the newest has seen every
    // record that could pair with it.
    settle(m_newest - m_pairing->periodMs());
}

void BenchRecording::settle(qint64 watermark)
{
    m_pairing->settle(watermark);
    std::vector<Bench::Derived> made = m_pairing->take();
    if (made.empty())
        return;
    for (const Bench::Derived &d : made)
        Bench::add(m_figures, d);
    if (m_lines && !m_lines->write(made, &m_linesError, &m_linesGone) && !ending()) {
        // As a member's file: a reader gone ends the bench quietly.
        if (!m_linesGone)
            emit said(RecordedRun::cannotWrite(m_lines->fileName(), m_linesError));
        finish(QLatin1String(RunJournal::kStopped), !m_linesGone);
    }
    emit derived(made);
}

Bench::Figures BenchRecording::figures() const
{
    Bench::Figures f = m_figures;
    if (pairsInOut()) {
        f.energyInWh = m_members[size_t(m_in)]->run().stats().total().energy_wh;
        f.energyOutWh = m_members[size_t(m_out)]->run().stats().total().energy_wh;
        if (f.energyInWh > 0.0)
            f.energyEfficiencyPct = 100.0 * f.energyOutWh / f.energyInWh;
    }
    return f;
}

void BenchRecording::finish(const QString &reason, bool failed)
{
    if (m_endReason)
        return;
    m_endReason = reason;
    m_failed = failed;
    for (auto &run : m_members)
        run->finish(reason, failed);
    emit finished();
}

void BenchRecording::close()
{
    for (auto &run : m_members)
        run->close();
    if (m_pairing->periodMs() == 0)
        m_pairing->setPeriod(Bench::periodOf(m_periodTimes));
    settle(std::numeric_limits<qint64>::max());
    storeBench();
    if (m_lines) {
        QString reason;
        if (!m_lines->close(&reason) && !m_linesGone) {
            emit said(RecordedRun::cannotWrite(m_lines->fileName(), reason));
            m_failed = true;
        }
        m_lines.reset();
    }
}
