// Recording and its export: the CSV file byte for byte, appending, files
// that cannot be written, the export and picture through the window, and a
// run that survives the cable being pulled for a moment.
#include "app/startup.h"
#include "base/setting.h"
#include "charts/chartview.h"
#include "charts/livechart.h"
#include "charts/measurecursors.h"
#include "device/meterreading.h"
#include "device/usbthread.h"
#include "recording/runjournal.h"
#include "sigrokcli.h"
#include "charts/marklines.h"
#include "ui/markcontroller.h"
#include "ui/runhistory.h"
#include "ui/storedrunbar.h"
#include "ui/runnotes.h"
#include "ui/statspanel.h"
#include "recording/jsonlines.h"
#include "recording/savedatadeal.h"
#include "namedpipe.h"
#include "windowinput.h"
#include "simulator.h"
#include "ui/maindialog.h"
#include "ui/prompts.h"
#include "ui_maindialog.h"

#include <QGraphicsLineItem>
#include <QLabel>
#include <QMenu>
#include <QTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>
#include <QtCharts/QXYSeries>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QScrollBar>
#include <QtTest>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>

#include <csignal>
#include <ctime>
#include <memory>

#include <sys/resource.h>

#include <sqlite3.h>

namespace {

const QByteArray kBanner = "-------------------------VORANE Ombrel---------------------------\r\n";
const QByteArray kHeader = "DATE,VBUS(V),IBUS(A),POWER(W),CAP(Ah),ELE(Wh),PD(V),PM(V),CC1(V),CC2(V),CPU_TEMP(℃),\r\n";

QByteArray contents(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(unreadable)");
}

qint64 localMs(int y, int mo, int d, int h, int mi, int s)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s)).toMSecsSinceEpoch();
}

// Text typed where Qt routes it: a click into the field, then its keys
// through the window.
void typeInto(QWidget *field, const QString &text)
{
    clickOn(field);
    for (const QChar c : text)
        QTest::keyClick(field->window()->windowHandle(), c.toLatin1());
}

void clickRow(QTableWidget *table, int row)
{
    clickOn(table->viewport(), table->visualItemRect(table->item(row, 0)).center());
}

sim::Identity meterWithSerial(const std::wstring &serial)
{
    sim::Identity id;
    id.serial = serial;
    return id;
}

} // namespace

class TestExport : public QObject
{
    Q_OBJECT
private:
    std::unique_ptr<QTemporaryDir> m_dir;
    qint64 m_now = 0;
    QStringList m_warnings;
    QStringList m_notices;
    QString m_saveAs;
    QStringList m_questions;
    bool m_answer = false;

    std::unique_ptr<MainDialog> dialog()
    {
        auto d = std::make_unique<MainDialog>();
        d->chartTimer().stop();
        // The tests read the meter when they choose: a dashboard tick of its
        // own would take a reading between the values a test sets.
        d->dashboardTimer().stop();
        d->setClock([this] { return m_now; });
        return d;
    }

    void ticks(MainDialog &d, int n)
    {
        for (int i = 0; i < n; ++i) {
            m_now += 1000;
            d.chartTick();
        }
    }

    QString path(const char *name) const { return m_dir->filePath(QLatin1String(name)); }

private slots:
    void initTestCase()
    {
        Startup::applyLook(*qApp);
        Prompts::setWarningHandler([this](QWidget *, const QString &, const QString &text) { m_warnings << text; });
        Prompts::setInformationHandler([this](QWidget *, const QString &, const QString &text) { m_notices << text; });
        Prompts::setQuestionHandler([this](QWidget *, const QString &, const QString &text) {
            m_questions << text;
            return m_answer;
        });
        Prompts::setSaveFileHandler([this](QWidget *, const QString &, const QString &, const QString &) {
            return m_saveAs;
        });
    }

    void init()
    {
        sim::reset();
        meterReading() = MeterReading();
        m_warnings.clear();
        m_notices.clear();
        m_questions.clear();
        m_answer = false;
        m_now = localMs(2026, 12, 7, 9, 0, 0);
        m_dir.reset(new QTemporaryDir);
        QVERIFY(QDir::setCurrent(m_dir->path()));
        // A journal of runs of this case's own.
        qputenv("XDG_DATA_HOME", QFile::encodeName(path("data")));
    }

    void cleanup()
    {
        QTRY_COMPARE(sim::openHandles(), 0);
    }

    void csvFile()
    {
        ReadingLog log;
        ReadingLog::Values v = {5.123f, 0.512f, 2.622976f, 0.600f, 0.598f, 0.000f, 1.682f, 0.012f, 0.064f, 31.5f};
        log.append(localMs(2026, 12, 6, 21, 5, 9), v);
        const QByteArray line = "2026-12-06_21:05:09,5.123000,0.512000,2.622976,0.012,0.064,0.600,0.598,0.000,1.682,31.5\r\n";

        saveDataDeal deal(log, QStringLiteral("M512"));
        QVERIFY(deal.writeCsv(path("a.csv")));
        const QByteArray modelLine = "-------------------------M512---------------------------\r\n";
        QCOMPARE(contents(path("a.csv")), kBanner + modelLine + kBanner + kHeader + line);
        // Again into the same file: the records once more, no second header.
        QVERIFY(deal.writeCsv(path("a.csv")));
        QCOMPARE(contents(path("a.csv")), kBanner + modelLine + kBanner + kHeader + line + line);

        // Time stamps in local time, whatever the zone, across a change of
        // daylight-saving time: the last second of summer time in Berlin,
        // then the first of winter time, an hour earlier on the clock.
        const QByteArray zone = qgetenv("TZ");
        qputenv("TZ", "Europe/Berlin");
        tzset();
        ReadingLog night;
        night.append(1792889999000, v);   // 2026-10-25 00:59:59 UTC
        night.append(1792890000000, v);
        const bool nightWritten = saveDataDeal(night, QString()).writeCsv(path("night.csv"));
        if (zone.isNull())
            qunsetenv("TZ");
        else
            qputenv("TZ", zone);
        tzset();
        QVERIFY(nightWritten);
        const QList<QByteArray> nightLines = contents(path("night.csv")).split('\n');
        QVERIFY(nightLines[4].startsWith("2026-10-25_02:59:59,"));
        QVERIFY(nightLines[5].startsWith("2026-10-25_02:00:00,"));

        // Correct rounding from the float's exact value; no model: 52 hyphens.
        ReadingLog rounding;
        v[ReadingLog::Vbus] = 0.1f;
        v[ReadingLog::Cap] = 0.0125f;
        rounding.append(localMs(2026, 12, 6, 0, 0, 0), v);
        QVERIFY(saveDataDeal(rounding, QString()).writeCsv(path("b.csv")));
        const QList<QByteArray> lines = contents(path("b.csv")).split('\n');
        QCOMPARE(lines[1], QByteArray(52, '-') + '\r');
        QVERIFY(lines[4].startsWith("2026-12-06_00:00:00,0.100000,0.512000,2.622976,0.013,"));

        // An empty log: a new file gets its head, an existing one nothing.
        ReadingLog empty;
        QVERIFY(saveDataDeal(empty, QStringLiteral("K4")).writeCsv(path("c.csv")));
        QCOMPARE(contents(path("c.csv")).count('\n'), 4);
        QVERIFY(saveDataDeal(empty, QStringLiteral("K4")).writeCsv(path("a.csv")));
        QCOMPARE(contents(path("a.csv")).count('\n'), 6);

        // What cannot be written says so.
        QString reason;
        QVERIFY(!deal.writeCsv(m_dir->path(), &reason));
        QVERIFY(!reason.isEmpty());
        QVERIFY(!deal.writeCsv(path("no/such/dir.csv")));
        QVERIFY(!deal.writeCsv(QStringLiteral("/dev/full"), &reason));   // a device
        QVERIFY(!reason.isEmpty());
        {
            // A disk that fills up halfway: a file size limit.
            ReadingLog many;
            for (int i = 0; i < 100; ++i)
                many.append(localMs(2026, 12, 6, 0, 0, 0), v);
            rlimit before{};
            getrlimit(RLIMIT_FSIZE, &before);
            const rlimit small{1000, before.rlim_max};
            const auto previous = signal(SIGXFSZ, SIG_IGN);
            saveDataDeal growing(many, QString());
            QVERIFY(growing.open(path("growing.csv")));
            setrlimit(RLIMIT_FSIZE, &small);
            reason.clear();
            const bool written = saveDataDeal(many, QString()).writeCsv(path("full.csv"), &reason);
            QString appendReason;
            const bool appended = growing.appendRecords(0, &appendReason);
            setrlimit(RLIMIT_FSIZE, &before);
            signal(SIGXFSZ, previous);
            QVERIFY(!written);
            QVERIFY(!reason.isEmpty());
            // Written as the run goes, the same: a failure, said.
            QVERIFY(!appended);
            QVERIFY(!appendReason.isEmpty());
            // A new file is there whole or not at all, and nothing is left
            // behind under another name.
            QVERIFY(!QFileInfo::exists(path("full.csv")));
            QCOMPARE(QDir(m_dir->path()).entryList({QStringLiteral("*full.csv*")}, QDir::Files | QDir::Hidden),
                     QStringList());
        }
        // A named pipe, even one with a reader, is left alone.
        const NamedPipe pipe(path("pipe.csv"), NamedPipe::ProgramWrites);
        QVERIFY(pipe.made());
        QVERIFY(!deal.writeCsv(path("pipe.csv"), &reason));
        QCOMPARE(reason, QStringLiteral("不是普通文件（例如命名管道或设备）"));
        QVERIFY(!pipe.touched());
    }

    // Values and times read back from a file are whatever the file holds:
    // every float and every 64-bit time stamp gives a CSV line of the
    // header's columns that reads back, and a JSON line that parses.
    void extremeValues()
    {
        const float inf = std::numeric_limits<float>::infinity();
        const float nan = std::numeric_limits<float>::quiet_NaN();
        const float specials[] = {nan, -nan, inf, -inf, FLT_MAX, -FLT_MAX, FLT_MIN, -FLT_MIN,
                                  std::numeric_limits<float>::denorm_min(), -0.0f, 0.0f, 3.4e38f, 16777217.0f,
                                  -999999.9f, 0.0005f};
        const qint64 times[] = {std::numeric_limits<qint64>::min(), std::numeric_limits<qint64>::max(),
                                std::numeric_limits<qint64>::min() + 999, -1, 0, -62167219200001,
                                253402300800000, 1796000000000};
        QRandomGenerator rng(20261208);
        ReadingLog log;
        for (int i = 0; i < 3000; ++i) {
            ReadingLog::Values v;
            for (float &x : v) {
                const quint32 pick = rng.bounded(4);
                if (pick == 0) {
                    x = specials[rng.bounded(int(sizeof specials / sizeof *specials))];
                } else if (pick == 1) {
                    const quint32 bits = rng.generate();
                    std::memcpy(&x, &bits, sizeof x);
                } else {
                    x = float(rng.generateDouble() * 20.0 - 1.0);
                }
            }
            qint64 t;
            const quint32 pick = rng.bounded(3);
            if (pick == 0)
                t = times[rng.bounded(int(sizeof times / sizeof *times))];
            else if (pick == 1)
                t = qint64(rng.generate64());
            else
                t = 1700000000000 + qint64(rng.bounded(100000000)) * 1000 + rng.bounded(1000);
            log.append(t, t, v);
        }
        QVERIFY(saveDataDeal(log, QStringLiteral("M512X")).writeCsv(path("extreme.csv")));
        QList<QByteArray> lines = contents(path("extreme.csv")).split('\n');
        QCOMPARE(lines.takeLast(), QByteArray());
        QCOMPARE(lines.size(), 4 + log.size());
        QCOMPARE(lines[3] + '\n', kHeader);
        const int columns = int(lines[3].split(',').size()) - 1;   // the header ends with a comma
        QCOMPARE(columns, 11);
        const int decimals[] = {6, 6, 6, 3, 3, 3, 3, 3, 3, 1};
        const ReadingLog::Column order[] = {ReadingLog::Vbus, ReadingLog::Ibus, ReadingLog::Power, ReadingLog::Cap,
                                            ReadingLog::Ele,  ReadingLog::Pd,   ReadingLog::Pm,    ReadingLog::Cc1,
                                            ReadingLog::Cc2,  ReadingLog::CpuTemp};
        const QRegularExpression date(QStringLiteral("^-?\\d{4,}-\\d\\d-\\d\\d_\\d\\d:\\d\\d:\\d\\d$"));
        for (int i = 0; i < log.size(); ++i) {
            QByteArray line = lines[4 + i];
            QVERIFY2(line.endsWith('\r'), line.constData());
            line.chop(1);
            const QList<QByteArray> fields = line.split(',');
            QVERIFY2(fields.size() == columns, line.constData());
            QVERIFY2(date.match(QString::fromLatin1(fields[0])).hasMatch(), line.constData());
            const qint64 t = log.timeMs(i);
            if (t >= 0 && t < 2000000000000) {
                QCOMPARE(fields[0], QDateTime::fromMSecsSinceEpoch(t).toString(QStringLiteral("yyyy-MM-dd_hh:mm:ss")).toLatin1());
            }
            for (int c = 0; c < 10; ++c) {
                const float v = log.value(order[c], i);
                bool ok = false;
                const double back = fields[1 + c].toDouble(&ok);
                QVERIFY2(ok, line.constData());
                if (std::isnan(v))
                    QVERIFY2(fields[1 + c] == "nan", line.constData());
                else if (std::isinf(v))
                    QVERIFY2(back == double(v), line.constData());
                else
                    QVERIFY2(std::fabs(back - double(v)) <= 0.5 * std::pow(10.0, -decimals[c]) + std::fabs(double(v)) * 1e-15,
                             qPrintable(QStringLiteral("%1 %2 %3").arg(c).arg(double(v), 0, 'g', 17).arg(back, 0, 'g', 17)));
            }

            QByteArray json;
            JsonLines::appendRecord(json, log, i);
            QVERIFY(json.endsWith("}\n"));
            QJsonParseError error;
            const QJsonObject o = QJsonDocument::fromJson(json, &error).object();
            QVERIFY2(error.error == QJsonParseError::NoError, json.constData());
            QCOMPARE(o.size(), 11);
            QVERIFY2(QRegularExpression(QStringLiteral("^-?\\d{4,}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}[+-]\\d\\d:\\d\\d$"))
                         .match(o.value(QStringLiteral("time")).toString())
                         .hasMatch(),
                     json.constData());
            const float vbus = log.value(ReadingLog::Vbus, i);
            if (std::isfinite(vbus))
                QVERIFY2(float(o.value(QStringLiteral("vbus")).toDouble()) == vbus, json.constData());
            else
                QVERIFY2(o.value(QStringLiteral("vbus")).isNull(), json.constData());
        }

        // Byte for byte, in UTC: the largest float, what is not a number,
        // the years either side of 0..9999.
        const QByteArray zone = qgetenv("TZ");
        qputenv("TZ", "UTC");
        tzset();
        ReadingLog edges;
        edges.append(-62167219200001, {FLT_MAX, -inf, nan, -0.0f, 1e-45f, 0.0005f, 1.0f, 2.0f, 3.0f, 31.25f});
        edges.append(-62167219200000, {});
        edges.append(253402300800000, {});
        QByteArray csv, json;
        for (int i = 0; i < edges.size(); ++i) {
            saveDataDeal::appendRecord(csv, edges, i);
            JsonLines::appendRecord(json, edges, i);
        }
        if (zone.isNull())
            qunsetenv("TZ");
        else
            qputenv("TZ", zone);
        tzset();
        QCOMPARE(csv, QByteArray("-0001-12-31_23:59:59,340282346638528859811704183484516925440.000000,-inf,nan,"
                                 "2.000,3.000,-0.000,0.000,0.001,1.000,31.2\r\n"
                                 "0000-01-01_00:00:00,0.000000,0.000000,0.000000,0.000,0.000,0.000,0.000,0.000,0.000,0.0\r\n"
                                 "10000-01-01_00:00:00,0.000000,0.000000,0.000000,0.000,0.000,0.000,0.000,0.000,0.000,0.0\r\n"));
        QCOMPARE(json.left(json.indexOf('\n') + 1),
                 QByteArray("{\"time\":\"-0001-12-31T23:59:59.999+00:00\",\"vbus\":3.4028235e+38,\"ibus\":null,"
                            "\"power\":null,\"cap\":2,\"ele\":3,\"pd\":-0,\"pm\":1e-45,\"cc1\":5e-04,\"cc2\":1,"
                            "\"cpu_temp\":31.25}\n"));
    }

    void exportThroughTheWindow()
    {
        sim::Meter &meter = sim::attach(meterWithSerial(L"1111111111"));
        meter.setReportRate(0);
        auto d = dialog();
        d->show();
        QVERIFY(QTest::qWaitForWindowExposed(d.get()));
        clickOn(d->form()->disp_Btn_Run);
        clickOn(d->form()->disp_Btn_Run);   // a run on the test's clock
        MeterReading &r = meterReading();
        r.vbus = 9.0f, r.ibus = 1.5f, r.power = 13.5f, r.pd = 0.6f, r.pm = 0.4f, r.cc1 = 1.2f, r.cc2 = 0.3f;
        r.capacity = 0.25f, r.energy = 2.5f, r.cpu_temp = 30.5f;
        meterMeasures(*d, meter);
        ticks(*d, 3);

        // Too few records: the notice, and the export goes on; each reading
        // in its own column.
        m_saveAs = path("run.csv");
        QVERIFY(chooseFromMenu(*d, QStringLiteral("导出数据(.csv)")));
        QCOMPARE(m_notices, QStringList({QStringLiteral("数据太少了吧，请记录至少二十条数据。")}));
        QCOMPARE(contents(m_saveAs).count("\r\n2026-12-07_09:00:0"), 3);
        QVERIFY(contents(m_saveAs).contains(
            "\r\n2026-12-07_09:00:01,9.000000,1.500000,13.500000,0.250,2.500,0.600,0.400,1.200,0.300,30.5\r\n"));
        QVERIFY(m_warnings.isEmpty());

        // Cancelled: nothing written.
        const QByteArray before = contents(m_saveAs);
        m_saveAs.clear();
        QVERIFY(chooseFromMenu(*d, QStringLiteral("导出数据(.csv)")));
        QCOMPARE(contents(path("run.csv")), before);

        // A place that cannot be written: a warning naming the file.
        m_saveAs = m_dir->path();
        QVERIFY(chooseFromMenu(*d, QStringLiteral("导出数据(.csv)")));
        QCOMPARE(m_warnings.size(), 1);
        QVERIFY(m_warnings[0].contains(QDir::toNativeSeparators(m_dir->path())));

        // A new run: only its records, and 20 of them need no notice.
        d->form()->disp_Btn_Run->click();
        d->form()->disp_Btn_Run->click();
        ticks(*d, 20);
        m_notices.clear();
        m_saveAs = path("second.csv");
        QVERIFY(chooseFromMenu(*d, QStringLiteral("导出数据(.csv)")));
        QVERIFY(m_notices.isEmpty());
        QCOMPARE(contents(m_saveAs).count("\r\n"), 4 + 20);

        // The same run as a sigrok session, as sigrok-cli reads it; an
        // existing one replaced only when the user says so.
        m_saveAs = path("second.sr");
        m_questions.clear();
        QVERIFY(chooseFromMenu(*d, QStringLiteral("导出数据(.csv)")));
        QVERIFY(m_questions.isEmpty() && m_warnings.size() == 1);
        const QList<QList<QByteArray>> rows = SigrokCli::csvRows(m_saveAs);
        QCOMPARE(rows.size(), 20);
        for (const QList<QByteArray> &row : rows)
            QCOMPARE(row.join(','), QByteArray("9,1.5,13.5,0.25,2.5,0.6,0.4,1.2,0.3,30.5"));
        const QByteArray first = contents(m_saveAs);
        ticks(*d, 2);
        m_answer = false;
        QVERIFY(chooseFromMenu(*d, QStringLiteral("导出数据(.csv)")));
        QCOMPARE(m_questions.size(), 1);
        QCOMPARE(contents(m_saveAs), first);
        m_answer = true;
        QVERIFY(chooseFromMenu(*d, QStringLiteral("导出数据(.csv)")));
        QVERIFY(contents(m_saveAs) != first);
    }

    void chartPicture()
    {
        auto d = dialog();
        d->show();
        QVERIFY(QTest::qWaitForWindowExposed(d.get()));
        const QSize size = d->chartView()->size();

        m_saveAs = path("chart.png");
        QVERIFY(chooseFromMenu(*d, QStringLiteral("导出图片(.png)")));
        QImage png(m_saveAs, "PNG");
        QCOMPARE(png.size(), size);
        m_saveAs = path("chart.jpg");
        QVERIFY(chooseFromMenu(*d, QStringLiteral("导出图片(.png)")));
        QVERIFY(contents(m_saveAs).startsWith("\xFF\xD8\xFF"));
        m_saveAs = path("nosuffix");
        QVERIFY(chooseFromMenu(*d, QStringLiteral("导出图片(.png)")));
        QVERIFY(!QImage(path("nosuffix.png"), "PNG").isNull());
        QVERIFY(m_warnings.isEmpty());
        QVERIFY(m_questions.isEmpty());
        // The suffix added names a file that exists now: asked about that
        // file; kept on no, replaced on yes.
        QFile old(path("nosuffix.png"));
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write("keep") == 4);
        old.close();
        QVERIFY(chooseFromMenu(*d, QStringLiteral("导出图片(.png)")));
        QCOMPARE(m_questions.size(), 1);
        QVERIFY(m_questions[0].contains(QDir::toNativeSeparators(path("nosuffix.png"))));
        QCOMPARE(contents(path("nosuffix.png")), QByteArray("keep"));
        m_answer = true;
        QVERIFY(chooseFromMenu(*d, QStringLiteral("导出图片(.png)")));
        QVERIFY(!QImage(path("nosuffix.png"), "PNG").isNull());

        m_saveAs.clear();
        const QStringList files = QDir(m_dir->path()).entryList(QDir::Files);
        QVERIFY(chooseFromMenu(*d, QStringLiteral("导出图片(.png)")));
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), files);

        m_saveAs = path("no/such/dir/chart.png");
        QVERIFY(chooseFromMenu(*d, QStringLiteral("导出图片(.png)")));
        QCOMPARE(m_warnings.size(), 1);
        QVERIFY(m_warnings[0].contains(QDir::toNativeSeparators(m_saveAs)));

        // A named pipe a program reads: the picture goes into it, and the
        // pipe stays; one that nobody reads: refused at once, said.
        const NamedPipe pipe(path("pipe.png"), NamedPipe::ProgramWrites);
        QVERIFY(pipe.made());
        m_saveAs = path("pipe.png");
        QVERIFY(chooseFromMenu(*d, QStringLiteral("导出图片(.png)")));
        QCOMPARE(m_warnings.size(), 1);
        QTRY_VERIFY(pipe.touched());
        QVERIFY(pipe.inPlace());
        m_saveAs = path("unread.png");
        QCOMPARE(::mkfifo(QFile::encodeName(m_saveAs).constData(), 0600), 0);
        QVERIFY(chooseFromMenu(*d, QStringLiteral("导出图片(.png)")));
        QCOMPARE(m_warnings.value(1), QStringLiteral("无法保存图片：%1\n命名管道没有读取方").arg(m_saveAs));
        // A folder of that name: the reason is told.
        QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("folder.png")));
        m_saveAs = path("folder.png");
        QVERIFY(chooseFromMenu(*d, QStringLiteral("导出图片(.png)")));
        QCOMPARE(m_warnings.value(2), QStringLiteral("无法保存图片：%1\nIs a directory").arg(m_saveAs));
    }

    void runHistory()
    {
        sim::Meter &meter = sim::attach(meterWithSerial(L"1111111111"));
        meter.setReportRate(0);
        auto d = dialog();
        d->show();
        QVERIFY(QTest::qWaitForWindowExposed(d.get()));
        clickOn(d->form()->disp_Btn_Run);   // a run on the test's clock
        clickOn(d->form()->disp_Btn_Run);
        for (int i = 0; i < 25; ++i) {
            meterReading().vbus = 5.0f + 0.01f * i;
            meterReading().ibus = 2.0f - 0.01f * i;
            meterMeasures(*d, meter);
            ticks(*d, 1);
        }
        m_saveAs = path("live.csv");
        QVERIFY(chooseFromMenu(*d, QStringLiteral("导出数据(.csv)")));
        clickOn(d->form()->disp_Btn_Run);   // stopped
        clickOn(d->form()->disp_Btn_Run);   // and the next run
        meterReading().ibus = 3.6f;
        meterReading().power = 36.0f;
        meterMeasures(*d, meter);
        ticks(*d, 3);
        // The main window near the screen's bottom right corner.
        const QRect available = d->windowHandle()->screen()->availableGeometry();
        d->move(available.center());

        // The data menu opens the history: newest first, the live run marked.
        QVERIFY(chooseFromMenu(*d, QStringLiteral("历史记录")));
        RunHistoryWindow *history = d->historyWindow();
        QVERIFY(history && history->isVisible());
        QVERIFY(QTest::qWaitForWindowExposed(history));
        // Whole on the screen, over the main window.
        QVERIFY2(available.contains(history->frameGeometry()),
                 qPrintable(QStringLiteral("%1,%2 %3x%4").arg(history->frameGeometry().x()).arg(history->frameGeometry().y())
                                .arg(history->frameGeometry().width()).arg(history->frameGeometry().height())));
        QVERIFY(history->frameGeometry().intersects(d->frameGeometry()));
        QTableWidget *table = history->table();
        // Its size: every column whole (the name last) and ten rows, as far
        // as this small screen lets it.
        const QSize wanted = history->preferredSize();
        QVERIFY2(history->width() >= std::min(wanted.width(), available.width() - 60)
                     && history->height() >= std::min(wanted.height(), available.height() - 100),
                 qPrintable(QStringLiteral("%1x%2, wanted %3x%4").arg(history->width()).arg(history->height())
                                .arg(wanted.width()).arg(wanted.height())));
        history->resize(wanted);
        QTest::qWait(50);
        const int nameEnd = table->columnViewportPosition(RunHistoryWindow::Name) + table->columnWidth(RunHistoryWindow::Name);
        QVERIFY2(nameEnd <= table->viewport()->width() && table->horizontalScrollBar()->maximum() == 0,
                 qPrintable(QStringLiteral("%1 %2").arg(nameEnd).arg(table->viewport()->width())));
        for (int c = 0; c < RunHistoryWindow::ColumnCount; ++c)
            QVERIFY2(table->columnWidth(c) >= static_cast<QAbstractItemView *>(table)->sizeHintForColumn(c), qPrintable(QString::number(c)));
        QVERIFY2(table->viewport()->height() >= RunHistoryWindow::kRowsShown * table->rowHeight(0),
                 qPrintable(QStringLiteral("%1 %2").arg(table->viewport()->height()).arg(table->rowHeight(0))));
        QCOMPARE(table->rowCount(), 2);
        QCOMPARE(table->item(0, RunHistoryWindow::EndReason)->text(), QStringLiteral("记录中"));
        // The live run's figures so far: 2 s at 3.6 A and 36 W.
        QCOMPARE(table->item(0, RunHistoryWindow::Charge)->text(), QStringLiteral("0.0020"));
        QCOMPARE(table->item(0, RunHistoryWindow::Energy)->text(), QStringLiteral("0.0200"));
        QCOMPARE(table->item(0, RunHistoryWindow::PeakPower)->text(), QStringLiteral("36.000"));
        QCOMPARE(table->item(1, RunHistoryWindow::EndReason)->text(), QStringLiteral("已停止"));
        QCOMPARE(table->item(1, RunHistoryWindow::Records)->text(), QStringLiteral("25"));
        QCOMPARE(table->item(1, RunHistoryWindow::Duration)->text(), QStringLiteral("0:00:24"));
        QCOMPARE(table->item(1, RunHistoryWindow::Meter)->text(), QStringLiteral("M512X 1111111111"));
        clickRow(table, 0);
        QVERIFY(!history->deleteButton()->isEnabled());   // the live run stays

        // Opened in the chart, read-only; the live run records behind it.
        QTest::mouseMove(d->windowHandle(), d->chartView()->mapTo(d.get(), d->chartView()->rect().center()));
        // The history says which run the chart shows, and back to live only
        // while it is a stored one.
        const auto says = [history](const char *text) {
            QStringList labels;
            for (const QLabel *l : history->findChildren<QLabel *>())
                labels << l->text();
            return labels.contains(QString::fromUtf8(text));
        };
        QVERIFY(says("图表显示的是实时运行。"));
        QVERIFY(!history->liveButton()->isEnabled());
        clickRow(table, 1);
        clickOn(history->openButton());
        QVERIFY(d->showsStoredRun());
        QVERIFY(says("图表显示的是一次保存的运行（只读）。"));
        QVERIFY(history->liveButton()->isEnabled());
        // The chart's own page says which run it shows.
        StoredRunBar *bar = d->storedRunBar();
        QVERIFY(bar->isVisible() && bar->backButton()->isVisible());
        QCOMPARE(bar->label()->text(), QStringLiteral("图表显示已保存的运行 %1，开始于 %2")
                                           .arg(history->runAt(1))
                                           .arg(table->item(1, RunHistoryWindow::Start)->text()));
        QVERIFY(!d->form()->disp_Btn_Run->isEnabled());
        QCOMPARE(d->storedLog().size(), 25);
        const QVector<QPointF> drawn = d->shownChart()->series(VBUS)->pointsVector();
        QVERIFY(drawn.contains(QPointF(double(d->storedLog().runMs(24)), double(5.0f + 0.01f * 24))));
        // The read-out reads the stored run.
        QtCharts::QChart *chart = d->shownChart()->chart();
        const QPointF at(chart->mapToPosition(QPointF(double(d->storedLog().runMs(12)), 0),
                                              d->shownChart()->series(VBUS)).x(),
                         chart->plotArea().center().y());
        QTest::mouseMove(d->windowHandle(), d->chartView()->viewport()->mapTo(
                                                d.get(), d->chartView()->mapFromScene(chart->mapToScene(at))));
        QVERIFY2(d->chartView()->hoverItem()->text().contains(QStringLiteral("VBUS 5.120 V")),
                 qPrintable(d->chartView()->hoverItem()->text()));
        QCOMPARE(d->chartView()->hoverItem()->parentItem(), chart);
        ticks(*d, 2);
        QCOMPARE(d->readingLog().size(), 5);
        QCOMPARE(d->storedLog().size(), 25);
        QCOMPARE(table->item(0, RunHistoryWindow::Records)->text(), QStringLiteral("5"));
        QCOMPARE(table->item(0, RunHistoryWindow::Charge)->text(), QStringLiteral("0.0040"));
        QCOMPARE(table->item(0, RunHistoryWindow::Energy)->text(), QStringLiteral("0.0400"));
        // Its curve groups work as on the live chart.
        clickOn(d->form()->disp_btn_temp);
        QCOMPARE(d->shownChart()->group(), CurveGroup::Temp);
        QCOMPARE(d->liveChart()->group(), CurveGroup::Main);

        // Exported, it is byte for byte the live run's export.
        m_saveAs = path("stored.csv");
        clickOn(history->csvButton());
        QCOMPARE(contents(path("stored.csv")), contents(path("live.csv")));
        // Its picture from the history's PNG button: the chart as shown, the
        // stored run's curves in their colours.
        clickOn(d->form()->disp_btn_temp);   // back to the main curves
        QCOMPARE(d->shownChart()->group(), CurveGroup::Main);
        m_saveAs = path("stored.png");
        clickOn(history->pngButton());
        const QImage picture(path("stored.png"), "PNG");
        QCOMPARE(picture.size(), d->chartView()->size());
        QCOMPARE(picture.convertToFormat(QImage::Format_RGB32),
                 d->chartView()->grab().toImage().convertToFormat(QImage::Format_RGB32));
        const QRgb vbusColour = d->shownChart()->series(VBUS)->pen().color().rgb();
        int vbusPixels = 0;
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x)
                vbusPixels += qAbs(qRed(picture.pixel(x, y)) - qRed(vbusColour))
                                  + qAbs(qGreen(picture.pixel(x, y)) - qGreen(vbusColour))
                                  + qAbs(qBlue(picture.pixel(x, y)) - qBlue(vbusColour)) < 24;
        QVERIFY2(vbusPixels > 20, qPrintable(QStringLiteral("%1 pixels of %2").arg(vbusPixels).arg(vbusColour, 0, 16)));
        // Renamed there: the new name in the list and for the command line.
        Prompts::setTextHandler([](QWidget *, const QString &, const QString &, QString &text) {
            text = QStringLiteral("  cable B  ");
            return true;
        });
        clickOn(history->renameButton());
        Prompts::setTextHandler(nullptr);
        QCOMPARE(table->item(1, RunHistoryWindow::Name)->text(), QStringLiteral("cable B"));
        QProcess runs;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        // The command line's data folder holds the window's journal.
        QVERIFY(QDir().mkpath(path("cli-data")));
        QVERIFY(QFile::link(QFileInfo(RunJournal::defaultPath()).absolutePath(), path("cli-data/ombrel")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), path("cli-data"));
        runs.setProcessEnvironment(env);
        runs.start(QStringLiteral(OMBREL_SIM_BINARY), {QStringLiteral("runs"), QStringLiteral("--json")});
        QVERIFY(runs.waitForFinished(30000));
        const QByteArray out = runs.readAllStandardOutput();
        const QJsonArray listed = QJsonDocument::fromJson(out).array();
        QVERIFY2(listed.size() == 2, (out + runs.readAllStandardError()).constData());
        QCOMPARE(listed[1].toObject().value(QStringLiteral("name")).toString(), QStringLiteral("cable B"));
        QCOMPARE(listed[0].toObject().value(QStringLiteral("name")).toString(), QString());

        // Deleted after a question; no at first.
        m_questions.clear();
        m_answer = false;
        clickOn(history->deleteButton());
        QCOMPARE(m_questions.size(), 1);
        QCOMPARE(table->rowCount(), 2);
        m_answer = true;
        clickOn(history->deleteButton());
        QCOMPARE(table->rowCount(), 1);
        QCOMPARE(int(d->journal()->runs().size()), 1);
        QVERIFY(!d->showsStoredRun());   // the chart went back to the live run

        // The live run opened, then back to live: not a record lost.
        clickRow(table, 0);
        clickOn(history->openButton());
        QVERIFY(d->showsStoredRun());
        ticks(*d, 1);
        clickOn(history->liveButton());
        QVERIFY(!d->showsStoredRun());
        QVERIFY(says("图表显示的是实时运行。"));
        QVERIFY(!history->liveButton()->isEnabled());
        QCOMPARE(d->shownChart(), d->liveChart());
        QCOMPARE(d->chartView()->chart(), d->liveChart()->chart());
        QCOMPARE(d->readingLog().size(), 6);
        QVERIFY(d->form()->disp_Btn_Run->isEnabled());
        QVERIFY(!bar->isVisible());
        // The same from the chart's page.
        clickOn(history->openButton());
        QVERIFY(d->showsStoredRun() && bar->isVisible());
        QVERIFY2(bar->label()->text().startsWith(QStringLiteral("图表显示已保存的运行 %1，").arg(history->runAt(0))),
                 qPrintable(bar->label()->text()));
        clickOn(bar->backButton());
        QVERIFY(!d->showsStoredRun() && !bar->isVisible());
        QCOMPARE(d->chartView()->chart(), d->liveChart()->chart());
        QVERIFY(m_warnings.isEmpty());
    }

    // Measure on a run opened from the history: the cursors are on its chart
    // and times, the figures are the journal's, and the live run recording
    // behind it moves neither.
    void measurementOnAStoredRun()
    {
        sim::Meter &meter = sim::attach(meterWithSerial(L"1111111111"));
        meter.setReportRate(0);
        auto d = dialog();
        d->show();
        QVERIFY(QTest::qWaitForWindowExposed(d.get()));
        clickOn(d->form()->disp_Btn_Run);
        clickOn(d->form()->disp_Btn_Run);   // a run of 7 December, 9:00, at 5 V and 2 A
        meterReading().vbus = 5.0f;
        meterReading().ibus = 2.0f;
        meterReading().power = 10.0f;
        meterMeasures(*d, meter);
        ticks(*d, 600);
        clickOn(d->form()->disp_Btn_Run);   // stopped
        m_now += 86400000;                  // the next day, a live run at 9 V and 1 A
        meterReading().vbus = 9.0f;
        meterReading().ibus = 1.0f;
        meterReading().power = 9.0f;
        meterMeasures(*d, meter);
        clickOn(d->form()->disp_Btn_Run);
        ticks(*d, 5);

        QVERIFY(chooseFromMenu(*d, QStringLiteral("历史记录")));
        RunHistoryWindow *history = d->historyWindow();
        QVERIFY(history && QTest::qWaitForWindowExposed(history));
        clickRow(history->table(), 1);
        clickOn(history->openButton());
        QVERIFY(d->showsStoredRun());
        QCOMPARE(d->storedLog().size(), 600);

        // A press near the right and a drag out past the left edge, then A
        // dragged out past the right: the whole stored run.
        d->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(d.get()));
        clickOn(d->measureButton());
        QVERIFY(d->measureButton()->isChecked());
        MeasureCursors *cursors = d->measureCursors();
        QtCharts::QChart *chart = d->shownChart()->chart();
        const QRectF plot = chart->plotArea();
        auto at = [&](double x) {
            return d->chartView()->viewport()->mapTo(
                d.get(), d->chartView()->mapFromScene(chart->mapToScene(QPointF(x, plot.center().y()))));
        };
        QTest::mousePress(d->windowHandle(), Qt::LeftButton, Qt::NoModifier, at(plot.right() - 20));
        QTest::mouseMove(d->windowHandle(), at(plot.center().x()));
        QTest::mouseMove(d->windowHandle(), at(plot.left() - 30));
        QTest::mouseRelease(d->windowHandle(), Qt::LeftButton, Qt::NoModifier, at(plot.left() - 30));
        QVERIFY(cursors->isSet());
        const double aX = chart->mapToPosition(QPointF(double(cursors->a()), 0), d->shownChart()->series(VBUS)).x();
        QTest::mousePress(d->windowHandle(), Qt::LeftButton, Qt::NoModifier, at(aX + 2));
        QTest::mouseMove(d->windowHandle(), at(plot.right() + 30));
        QTest::mouseRelease(d->windowHandle(), Qt::LeftButton, Qt::NoModifier, at(plot.right() + 30));
        QCOMPARE(cursors->line(0)->parentItem(), chart);
        QVERIFY(cursors->line(0)->isVisible() && cursors->line(1)->isVisible());
        const qint64 first = d->storedLog().runMs(0);
        const qint64 last = d->storedLog().runMs(599);
        QVERIFY(cursors->b() <= first && cursors->a() >= last);
        QCOMPARE(QDateTime::fromMSecsSinceEpoch(cursors->b()).date(), QDate(2026, 12, 7));
        QCOMPARE(QDateTime::fromMSecsSinceEpoch(cursors->a()).date(), QDate(2026, 12, 7));
        // 599 s at 2 A and 10 W.
        const IntervalStats shown = d->statsPanel()->interval();
        QCOMPARE(shown.records, 600);
        auto figure = [&](const char *name) {
            return d->statsPanel()->findChild<QLabel *>(QLatin1String(name))->text();
        };
        QCOMPARE(figure("stats_charge"), QStringLiteral("0.3328 Ah"));
        QCOMPARE(figure("stats_energy"), QStringLiteral("1.6639 Wh"));
        QCOMPARE(figure("stats_vbus_mean"), QStringLiteral("5.0000"));

        // The live run grows behind it: the cursors and figures stay.
        const qint64 a = cursors->a(), b = cursors->b();
        ticks(*d, 3);
        QCOMPARE(cursors->a(), a);
        QCOMPARE(cursors->b(), b);
        QCOMPARE(d->statsPanel()->interval().records, 600);
        QCOMPARE(figure("stats_charge"), QStringLiteral("0.3328 Ah"));

        // Back to live: cleared, on the live chart again.
        clickOn(history->liveButton());
        QVERIFY(!cursors->isSet());
        QVERIFY(!d->statsPanel()->isVisible());
        QCOMPARE(cursors->line(0)->parentItem(), d->liveChart()->chart());
        QVERIFY(m_warnings.isEmpty());
    }

    // Marks: on the live run by the shortcut at the moment it is pressed,
    // on a stored run by a click on its chart; drawn as labelled lines,
    // renamed and deleted in the history, where the run's fields are
    // edited and filtered. The interval between the cursors exported is the
    // same records as the whole export.
    void marksFieldsAndIntervalThroughTheWindow()
    {
        sim::Meter &meter = sim::attach(meterWithSerial(L"1111111111"));
        meter.setReportRate(0);
        auto d = dialog();
        d->show();
        QVERIFY(QTest::qWaitForWindowExposed(d.get()));
        d->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(d.get()));
        clickOn(d->form()->disp_Btn_Run);
        clickOn(d->form()->disp_Btn_Run);
        for (int i = 0; i < 12; ++i) {
            meterReading().vbus = 5.0f + 0.25f * i;
            meterReading().ibus = 1.0f;
            meterMeasures(*d, meter);
            ticks(*d, 1);
        }
        QStringList asked;
        QString answer;
        Prompts::setTextHandler([&](QWidget *, const QString &, const QString &, QString &text) {
            asked << text;
            m_now += 5000;   // typing the name takes a while
            text = answer;
            return !answer.isEmpty();
        });
        const qint64 first = d->readingLog().runMs(0);
        const qint64 runId = d->journal()->storedId(d->journalRunId());
        // Pressed 400 ms after the 8th record; cancelled, then named.
        m_now = d->readingLog().runMs(7) + 400;
        QTest::keyClick(d->windowHandle(), Qt::Key_M, Qt::ControlModifier);
        QCOMPARE(asked.size(), 1);
        m_now = d->readingLog().runMs(7) + 400;
        QVERIFY(d->journal()->marks(runId).empty());
        answer = QStringLiteral("plug");
        const qint64 pressed = m_now;
        QTest::keyClick(d->windowHandle(), Qt::Key_M, Qt::ControlModifier);
        std::vector<RunMark> marks = d->journal()->marks(runId);
        QCOMPARE(marks.size(), size_t(1));
        QCOMPARE(marks[0].atMs, pressed - first);
        QCOMPARE(marks[0].wallMs, pressed);
        QCOMPARE(marks[0].name, QStringLiteral("plug"));
        MarkLines *lines = d->markController()->lines();
        QCOMPARE(lines->count(), 1);
        QCOMPARE(lines->label(0)->text(), QStringLiteral("plug"));
        QtCharts::QChart *liveChart = d->liveChart()->chart();
        d->liveChart()->showWholeRun();
        const double markX = liveChart->mapToPosition(QPointF(double(first + marks[0].atMs), 0),
                                                      d->liveChart()->series(VBUS)).x();
        QVERIFY(lines->line(0)->isVisible());
        QVERIFY2(qAbs(lines->line(0)->line().x1() - markX) < 0.5,
                 qPrintable(QStringLiteral("%1 %2").arg(lines->line(0)->line().x1()).arg(markX)));
        QCOMPARE(lines->line(0)->parentItem(), liveChart);

        clickOn(d->form()->disp_Btn_Run);   // stopped; the next run goes on
        clickOn(d->form()->disp_Btn_Run);
        ticks(*d, 2);
        QVERIFY(chooseFromMenu(*d, QStringLiteral("历史记录")));
        RunHistoryWindow *history = d->historyWindow();
        QVERIFY(history && QTest::qWaitForWindowExposed(history));
        RunNotesPanel *notes = history->findChild<RunNotesPanel *>();
        QVERIFY(notes);
        QTableWidget *table = history->table();
        QCOMPARE(table->rowCount(), 2);
        clickRow(table, 1);
        QCOMPARE(history->selectedRun(), runId);
        QCOMPARE(notes->marksTable()->rowCount(), 1);
        QCOMPARE(notes->marksTable()->item(0, RunNotesPanel::MarkName)->text(), QStringLiteral("plug"));
        QCOMPARE(notes->marksTable()->item(0, RunNotesPanel::MarkTime)->text(), QStringLiteral("0:00:07.400"));

        // Its fields typed and saved, then found by the filter.
        typeInto(notes->dutEdit(), QStringLiteral("Phone X"));
        typeInto(notes->cableEdit(), QStringLiteral("1 m"));
        typeInto(notes->ambientEdit(), QStringLiteral("31.5"));
        clickOn(notes->saveButton());
        RunFields saved;
        for (const JournalRun &r : d->journal()->runs())
            if (r.id == runId)
                saved = r.fields;
        QCOMPARE(saved.dut, QStringLiteral("Phone X"));
        QCOMPARE(saved.cable, QStringLiteral("1 m"));
        QCOMPARE(saved.ambientC, 31.5);
        typeInto(notes->filterEdit(), QStringLiteral("phone"));
        QVERIFY(table->isRowHidden(0));
        QVERIFY(!table->isRowHidden(1));
        typeInto(notes->filterEdit(), QStringLiteral(" y"));
        QVERIFY(table->isRowHidden(0) && table->isRowHidden(1));
        notes->filterEdit()->clear();
        QVERIFY(!table->isRowHidden(0) && !table->isRowHidden(1));

        // Opened: its mark on its chart; "Mark", then a click on the chart
        // at the time of record 3.
        clickRow(table, 1);
        clickOn(history->openButton());
        QVERIFY(d->showsStoredRun());
        d->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(d.get()));
        QCOMPARE(lines->count(), 1);
        QtCharts::QChart *chart = d->shownChart()->chart();
        QCOMPARE(lines->line(0)->parentItem(), chart);
        clickOn(d->markController()->button());
        QVERIFY(d->markController()->isArmed());
        const QRectF plot = chart->plotArea();
        auto at = [&](double x) {
            return d->chartView()->viewport()->mapTo(
                d.get(), d->chartView()->mapFromScene(chart->mapToScene(QPointF(x, plot.center().y()))));
        };
        const qint64 third = d->storedLog().runMs(3);
        const double x3 = chart->mapToPosition(QPointF(double(third), 0), d->shownChart()->series(VBUS)).x();
        answer = QStringLiteral("stored click");
        QTest::mouseClick(d->windowHandle(), Qt::LeftButton, Qt::NoModifier, at(x3));
        QVERIFY(!d->markController()->isArmed());
        marks = d->journal()->marks(runId);
        QCOMPARE(marks.size(), size_t(2));
        QCOMPARE(marks[0].name, QStringLiteral("stored click"));
        const double msPerPixel = double(d->storedLog().runMs(11) - first) / plot.width() * 1.5;
        QVERIFY2(qAbs(double(marks[0].atMs - (third - first))) <= msPerPixel + 1,
                 qPrintable(QString::number(marks[0].atMs)));
        QCOMPARE(lines->count(), 2);

        // Renamed and deleted in the history (no, then yes).
        QTRY_COMPARE(notes->marksTable()->rowCount(), 2);
        clickRow(notes->marksTable(), 1);
        answer = QStringLiteral("unplug");
        clickOn(notes->renameMarkButton());
        QCOMPARE(d->journal()->marks(runId)[1].name, QStringLiteral("unplug"));
        QCOMPARE(notes->marksTable()->item(1, RunNotesPanel::MarkName)->text(), QStringLiteral("unplug"));
        QTRY_COMPARE(lines->label(1)->text(), QStringLiteral("unplug"));
        clickRow(notes->marksTable(), 0);
        m_questions.clear();
        m_answer = false;
        clickOn(notes->deleteMarkButton());
        QCOMPARE(m_questions.size(), 1);
        QCOMPARE(d->journal()->marks(runId).size(), size_t(2));
        m_answer = true;
        clickOn(notes->deleteMarkButton());
        QCOMPARE(d->journal()->marks(runId).size(), size_t(1));
        QCOMPARE(notes->marksTable()->rowCount(), 1);
        QTRY_COMPARE(lines->count(), 1);

        // The whole run exported, then the interval between the cursors.
        m_saveAs = path("whole.csv");
        clickOn(history->csvButton());
        QVERIFY(JsonLines::writeFile(d->storedLog(), path("whole.jsonl")));
        d->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(d.get()));
        clickOn(d->measureButton());
        const double x2 = chart->mapToPosition(QPointF(double(d->storedLog().runMs(2)), 0), d->shownChart()->series(VBUS)).x();
        const double x8 = chart->mapToPosition(QPointF(double(d->storedLog().runMs(8)), 0), d->shownChart()->series(VBUS)).x();
        QTest::mousePress(d->windowHandle(), Qt::LeftButton, Qt::NoModifier, at(x2 - 4));
        QTest::mouseMove(d->windowHandle(), at((x2 + x8) / 2));
        QTest::mouseMove(d->windowHandle(), at(x8 + 4));
        QTest::mouseRelease(d->windowHandle(), Qt::LeftButton, Qt::NoModifier, at(x8 + 4));
        MeasureCursors *cursors = d->measureCursors();
        QVERIFY(cursors->isSet());
        QVERIFY(d->markController()->exportButton()->isVisible());
        QVERIFY(d->markController()->exportButton()->isEnabled());
        m_saveAs = path("part.csv");
        clickOn(d->markController()->exportButton());
        m_saveAs = path("part.jsonl");
        clickOn(d->markController()->exportButton());
        // Records 2 to 8, as the cursors lie around them.
        QVERIFY(cursors->a() < d->storedLog().runMs(2) && cursors->a() > d->storedLog().runMs(1));
        QVERIFY(cursors->b() > d->storedLog().runMs(8) && cursors->b() < d->storedLog().runMs(9));
        const QByteArray whole = contents(path("whole.csv"));
        const QList<QByteArray> wholeLines = whole.split('\n');
        QCOMPARE(wholeLines.size(), 4 + 12 + 1);
        const QByteArray part = contents(path("part.csv"));
        QCOMPARE(part, wholeLines.mid(0, 4).join('\n') + '\n' + wholeLines.mid(4 + 2, 7).join('\n') + '\n');
        const QList<QByteArray> jsonLines = contents(path("whole.jsonl")).split('\n');
        QCOMPARE(contents(path("part.jsonl")), jsonLines.mid(2, 7).join('\n') + '\n');
        QVERIFY2(m_warnings.isEmpty(), qPrintable(m_warnings.join('\n')));
        Prompts::setTextHandler(nullptr);
    }

    void journalFaults()
    {
        // A data folder that cannot be made: said on the tip line, the run
        // recorded in memory all the same.
        QFile blocker(path("blocker"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        qputenv("XDG_DATA_HOME", QFile::encodeName(path("blocker")));
        sim::Meter &meter = sim::attach(meterWithSerial(L"1111111111"));
        meter.setReportRate(0);
        {
            auto d = dialog();
            meterMeasures(*d, meter);
            ticks(*d, 3);
            QCOMPARE(d->readingLog().size(), 3);
            QVERIFY2(d->form()->label_left_tips->text().contains(QStringLiteral("无法写入")),
                     qPrintable(d->form()->label_left_tips->text()));
        }

        // A file that is no database: moved aside, kept, the user told where.
        qputenv("XDG_DATA_HOME", QFile::encodeName(path("data")));
        QString dbPath;
        {
            auto d = dialog();
            dbPath = d->journal()->path();
        }
        for (const QString &name : QDir(QFileInfo(dbPath).path()).entryList(QDir::Files))
            QFile::remove(QFileInfo(dbPath).path() + QLatin1Char('/') + name);
        QFile garbage(dbPath);
        QVERIFY(garbage.open(QIODevice::WriteOnly));
        garbage.write(QByteArray(8192, 'x'));
        garbage.close();
        auto d = dialog();
        const QString aside = d->journal()->movedAsidePath();
        QVERIFY(aside.startsWith(dbPath + QStringLiteral(".broken-")));
        QCOMPARE(contents(aside), QByteArray(8192, 'x'));
        QVERIFY2(d->form()->label_left_tips->text().contains(QDir::toNativeSeparators(aside)),
                 qPrintable(d->form()->label_left_tips->text()));

        // Held by another program: the records wait in memory and are all
        // written when it lets go; the tip line says so meanwhile.
        meterMeasures(*d, meter);
        ticks(*d, 2);
        sqlite3 *other = nullptr;
        QCOMPARE(sqlite3_open(QFile::encodeName(dbPath).constData(), &other), SQLITE_OK);
        QCOMPARE(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
        ticks(*d, 3);
        const QString held = d->form()->label_left_tips->text();
        QVERIFY2(held.contains(QStringLiteral("另一个程序占用")), qPrintable(held));
        sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close(other);
        // The live run opened from the history before the next tick: the
        // records that waited are written first, so none is missing.
        d->openStoredRun(d->journal()->storedId(d->journalRunId()));
        QCOMPARE(d->storedLog().size(), 5);
        d->showLiveRun();
        ticks(*d, 1);
        QCOMPARE(d->form()->label_left_tips->text(), QStringLiteral("运行记录数据库已赶上：至今的每条记录都已保存。"));
        ReadingLog stored;
        QVERIFY(d->journal()->load(d->journal()->storedId(d->journalRunId()), stored));
        QCOMPARE(stored.size(), 6);
    }

    // The journal opens once the window has painted itself: a run that a
    // program left open is closed as interrupted only then, the run a meter
    // plugged in began before is kept from its first record, and the Run
    // button works meanwhile.
    void theJournalOpensAfterTheFirstPaint()
    {
        QString db;
        {
            RunJournal other;
            QVERIFY(other.open());
            db = other.path();
            ReadingLog log;
            log.append(m_now - 60000, {5.0f, 1.0f, 5.0f, 0, 0, 0, 0, 0, 0, 30});
            QVERIFY(other.sync(other.beginRun(m_now - 60000, QStringLiteral("M512X"), QStringLiteral("V1.2"),
                                              QStringLiteral("DEAD")),
                               log));
        }   // its program died
        auto endOnDisk = [&db] {
            sqlite3 *raw = nullptr;
            sqlite3_stmt *q = nullptr;
            QString reason = QStringLiteral("none");
            if (sqlite3_open_v2(QFile::encodeName(db).constData(), &raw, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK
                && sqlite3_prepare_v2(raw, "SELECT end_reason FROM run WHERE serial = 'DEAD'", -1, &q, nullptr)
                       == SQLITE_OK
                && sqlite3_step(q) == SQLITE_ROW)
                reason = sqlite3_column_type(q, 0) == SQLITE_NULL
                             ? QString() : QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(q, 0)));
            sqlite3_finalize(q);
            sqlite3_close(raw);
            return reason;
        };
        QCOMPARE(endOnDisk(), QString());

        sim::Meter &meter = sim::attach(meterWithSerial(L"1111111111"));
        meter.setReportRate(0);
        auto d = dialog();
        QVERIFY(d->isPlotting());   // the plugged meter began a run
        QCOMPARE(endOnDisk(), QString());
        d->show();
        QVERIFY(QTest::qWaitForWindowExposed(d.get()));
        QTRY_COMPARE(endOnDisk(), QStringLiteral("interrupted"));
        QVERIFY2(d->form()->label_left_tips->text().contains(QStringLiteral("上次有 1 次运行未正常结束")),
                 qPrintable(d->form()->label_left_tips->text()));
        meterMeasures(*d, meter);
        ticks(*d, 2);
        const qint64 live = d->journal()->storedId(d->journalRunId());
        QVERIFY(live > 0);
        QTest::mouseClick(d->windowHandle(), Qt::LeftButton, Qt::NoModifier,
                          d->form()->disp_Btn_Run->mapTo(d.get(), d->form()->disp_Btn_Run->rect().center()));
        QVERIFY(!d->isPlotting());
        const std::vector<JournalRun> runs = d->journal()->runs();
        QCOMPARE(int(runs.size()), 2);
        QCOMPARE(runs.front().id, live);
        QCOMPARE(runs.front().serial, QStringLiteral("1111111111"));
        QCOMPARE(runs.front().records, 2);
        QCOMPARE(runs.front().endReason, QStringLiteral("stopped"));
        QCOMPARE(runs.back().endReason, QStringLiteral("interrupted"));
    }

    // The history tells a stop condition's end reason in the window's
    // language and an older version's words as they are; a run that another
    // program records is not deleted, and the user is told why.
    void historyReasonsAndOthersRuns()
    {
        sim::attach(meterWithSerial(L"1111111111")).setReportRate(0);
        // A size cap beyond what the file's MiB can hold: the default, said.
        Setting().write(QStringLiteral("RunDatabaseLimitMB"), QStringLiteral("9000000000000"));
        auto d = dialog();
        d->show();
        QVERIFY(QTest::qWaitForWindowExposed(d.get()));
        QVERIFY2(d->form()->label_left_tips->text().contains(
                     QStringLiteral("RunDatabaseLimitMB 的值“9000000000000”无效")),
                 qPrintable(d->form()->label_left_tips->text()));
        QCOMPARE(d->journal()->sizeCap(), qint64(2048) << 20);
        // Another program on the same journal.
        RunJournal other;
        QVERIFY(other.open(d->journal()->path()));
        auto runFrom = [&](int day) {
            const qint64 start = localMs(2026, 12, day, 9, 0, 0);
            const qint64 id = other.beginRun(start, QStringLiteral("M512X"), QStringLiteral("V1.2"), QStringLiteral("7"));
            ReadingLog log;
            log.append(start, {5.0f, 1.0f, 5.0f, 0, 0, 0, 0, 0, 0, 30});
            return other.sync(id, log) ? id : qint64(0);
        };
        const qint64 charged = runFrom(1);
        QVERIFY(other.endRun(charged, localMs(2026, 12, 1, 10, 0, 0), QStringLiteral("current_below:0.05:30")));
        const qint64 older = runFrom(2);
        QVERIFY(other.endRun(older, localMs(2026, 12, 2, 10, 0, 0), QStringLiteral("condition: charge 1 Ah")));
        const qint64 recording = runFrom(3);
        QVERIFY(recording > 0);

        QVERIFY(chooseFromMenu(*d, QStringLiteral("历史记录")));
        RunHistoryWindow *history = d->historyWindow();
        QVERIFY(history && QTest::qWaitForWindowExposed(history));
        QTableWidget *table = history->table();
        auto rowOf = [&](qint64 id) {
            for (int row = 0; row < table->rowCount(); ++row)
                if (history->runAt(row) == id)
                    return row;
            return -1;
        };
        auto reason = [&](qint64 id) {
            const int row = rowOf(id);
            return row < 0 ? QString() : table->item(row, RunHistoryWindow::EndReason)->text();
        };
        QCOMPARE(reason(charged), QStringLiteral("条件：电流低于 0.05 A 持续 30 秒"));
        QCOMPARE(reason(older), QStringLiteral("condition: charge 1 Ah"));
        QCOMPARE(reason(recording), QStringLiteral("记录中"));

        // The run the other program records: refused, without a question.
        m_questions.clear();
        m_answer = true;
        clickRow(table, rowOf(recording));
        clickOn(history->deleteButton());
        QCOMPARE(m_questions.size(), 0);
        QCOMPARE(m_warnings.size(), 1);
        QVERIFY2(m_warnings[0].contains(QStringLiteral("另一个程序记录")), qPrintable(m_warnings[0]));
        QVERIFY(rowOf(recording) >= 0);
        // Once it has ended, it goes after the question.
        QVERIFY(other.endRun(recording, localMs(2026, 12, 3, 10, 0, 0), QStringLiteral("stopped")));
        clickOn(history->deleteButton());
        QCOMPARE(m_questions.size(), 1);
        QCOMPARE(rowOf(recording), -1);
        QCOMPARE(m_warnings.size(), 1);

        // In English.
        QVERIFY(chooseFromMenu(*d, QStringLiteral("English"), d->form()->btnMenu_Menu));
        QVERIFY(d->isEnglish());
        QCOMPARE(reason(charged), QStringLiteral("condition: current below 0.05 A for 30 s"));
        QCOMPARE(reason(older), QStringLiteral("condition: charge 1 Ah"));
        QVERIFY(chooseFromMenu(*d, QStringLiteral("简体中文"), d->form()->btnMenu_Menu));
        QVERIFY(!d->isEnglish());
    }

    void aPulledCableKeepsTheRun()
    {
        sim::Meter &first = sim::attach(meterWithSerial(L"1111111111"));
        first.setReportRate(0);
        auto d = dialog();
        QVERIFY(d->isPlotting());
        d->form()->disp_Btn_Run->click();   // a run on the test's clock
        d->form()->disp_Btn_Run->click();
        meterMeasures(*d, first);
        ticks(*d, 5);

        first.unplug();
        QTRY_VERIFY_WITH_TIMEOUT(!d->isPlotting(), 3000);
        m_now += 30000;   // half a minute without the meter: no records
        first.plug();
        QTRY_VERIFY_WITH_TIMEOUT(d->isPlotting(), 3000);
        // Nothing of the meter back until it has measured.
        ticks(*d, 1);
        QCOMPARE(d->readingLog().size(), 5);
        m_now -= 1000;
        meterMeasures(*d, first);
        ticks(*d, 2);
        QCOMPARE(d->readingLog().size(), 7);
        QCOMPARE(d->readingLog().timeMs(5) - d->readingLog().timeMs(4), qint64(31000));
        // One run in the journal all along, holding every record as it is.
        RunJournal *journal = d->journal();
        const qint64 firstRun = journal->storedId(d->journalRunId());
        ReadingLog stored;
        QVERIFY(journal->load(firstRun, stored));
        QCOMPARE(stored.size(), 7);
        for (int i = 0; i < 7; ++i) {
            QCOMPARE(stored.timeMs(i), d->readingLog().timeMs(i));
            for (int c = 0; c < ReadingLog::ColumnCount; ++c)
                QCOMPARE(stored.value(ReadingLog::Column(c), i), d->readingLog().value(ReadingLog::Column(c), i));
        }

        // Another meter is another run.
        first.unplug();
        QTRY_VERIFY_WITH_TIMEOUT(!d->isPlotting(), 3000);
        sim::reset();
        sim::Meter &second = sim::attach(meterWithSerial(L"2222222222"));
        second.setReportRate(0);
        QTRY_VERIFY_WITH_TIMEOUT(d->isPlotting(), 3000);
        QCOMPARE(d->readingLog().size(), 0);
        // Its first report late: no record of zeros nor of the first
        // meter's values before it.
        ticks(*d, 2);
        QCOMPARE(d->readingLog().size(), 0);
        MeterReading twelve;
        twelve.vbus = 12.0f;
        twelve.ibus = 0.5f;
        meterMeasures(*d, second, twelve);
        ticks(*d, 3);
        QCOMPARE(d->readingLog().value(ReadingLog::Vbus, 0), 12.0);
        // As does the Run button after a pulled cable: a run that waits for
        // its meter, and records nothing meanwhile.
        sim::reset();
        QTRY_VERIFY_WITH_TIMEOUT(!d->isPlotting(), 3000);
        d->form()->disp_Btn_Run->click();
        QVERIFY(d->isPlotting());
        ticks(*d, 1);
        QCOMPARE(d->readingLog().size(), 0);

        // The history: the live run, the second meter's and the first's, both
        // ended by an unplug; the run without a record left nothing.
        const std::vector<JournalRun> runs = journal->runs();
        QCOMPARE(int(runs.size()), 3);
        QVERIFY(!runs[0].finished());
        QCOMPARE(runs[1].serial, QStringLiteral("2222222222"));
        QCOMPARE(runs[1].records, 3);
        QCOMPARE(runs[1].endReason, QStringLiteral("unplugged"));
        QCOMPARE(runs[2].id, firstRun);
        QCOMPARE(runs[2].records, 7);
        QCOMPARE(runs[2].endReason, QStringLiteral("unplugged"));
    }
};

QTEST_MAIN(TestExport)
#include "tst_export.moc"
