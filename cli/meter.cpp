// ombrel list, get and set: the meters attached and their settings.
#include "cli/command.h"

#include "device/metersettings.h"
#include "device/productinfo.h"

#include <QCoreApplication>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace Cli {

namespace {

const QCommandLineOption &serialOption()
{
    static const QCommandLineOption option(QStringLiteral("serial"),
                                           QStringLiteral("The meter with this serial number (default: the first "
                                                          "one found)."),
                                           QStringLiteral("serial"));
    return option;
}

const QCommandLineOption &jsonOption()
{
    static const QCommandLineOption option(QStringLiteral("json"), QStringLiteral("Print JSON."));
    return option;
}

bool noArguments(const QCommandLineParser &parser, const char *command)
{
    if (parser.positionalArguments().isEmpty())
        return true;
    error(QLatin1String(command), QCoreApplication::translate("Cli", "多余的参数“%1”").arg(parser.positionalArguments().first()));
    return false;
}

} // namespace

int runList(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.addOption(jsonOption());
    if (const std::optional<int> done =
            parse(parser, "list",
                  QStringLiteral("Lists the meters attached, one a line: model, firmware version, serial number, "
                                 "device node, and whether this user may open it."),
                  arguments))
        return *done;
    if (!noArguments(parser, "list"))
        return Usage;

    QJsonArray json;
    QByteArray out;
    int count = 0;
    for (const AttachedMeter &m : attachedMeters()) {
        ++count;
        const QString access = m.accessible ? QStringLiteral("accessible")
                                            : m.refused ? QStringLiteral("no-access") : QStringLiteral("cannot-open");
        auto word = [](const QString &w) { return w.isEmpty() ? QStringLiteral("-") : w; };
        if (parser.isSet(jsonOption())) {
            json.append(QJsonObject{{QStringLiteral("model"), m.model},
                                    {QStringLiteral("version"), m.version},
                                    {QStringLiteral("serial"), m.serial},
                                    {QStringLiteral("path"), m.path},
                                    {QStringLiteral("accessible"), m.accessible}});
        } else {
            out += QStringList{word(m.model), word(m.version), word(m.serial), m.path, access}
                       .join(QLatin1Char(' '))
                       .toLocal8Bit()
                   + '\n';
        }
        if (m.refused)
            error(QStringLiteral("list"), accessHint(m.path));
    }
    if (parser.isSet(jsonOption()))
        out = QJsonDocument(json).toJson(QJsonDocument::Compact).append('\n');
    if (const int written = writeOut("list", out); written != Ok)
        return written;
    if (count == 0) {
        error(QStringLiteral("list"), QCoreApplication::translate("Cli", "没有连接电表"));
        return NoMeter;
    }
    return Ok;
}

int runGet(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.addOptions({jsonOption(), serialOption()});
    if (const std::optional<int> done =
            parse(parser, "get",
                  QStringLiteral("Prints the settings the meter reports, by the names ombrel set takes."),
                  arguments))
        return *done;
    if (!noArguments(parser, "get"))
        return Usage;
    MeterPort port;
    if (const std::optional<int> failed = openForCommand(port, "get", parser.value(serialOption())))
        return *failed;

    MeterReading reading;
    QString reason;
    if (!MeterSettings::read(port, &reading, &reason)) {
        error(QStringLiteral("get"), reason);
        return Failed;
    }
    const QList<QPair<QString, QString>> values = MeterSettings::reported(reading);
    if (parser.isSet(jsonOption())) {
        QJsonObject object;
        for (const auto &v : values) {
            bool number = false;
            const double d = v.second.toDouble(&number);
            object.insert(v.first, number ? QJsonValue(d) : QJsonValue(v.second));
        }
        return writeOut("get", QJsonDocument(object).toJson(QJsonDocument::Compact).append('\n'));
    }
    QByteArray out;
    for (const auto &v : values)
        out += (v.first + QStringLiteral(": ") + v.second).toLocal8Bit() + '\n';
    return writeOut("get", out);
}

int runSet(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.addOption(serialOption());
    QList<QCommandLineOption> options;
    for (const MeterSettings::Setting &s : MeterSettings::table()) {
        const QString help = QLatin1String(s.help) + (s.pages == MeterSettings::FullPage ? QStringLiteral(" (not on the compact family)") : QString());
        if (s.kind == MeterSettings::Kind::Action)
            options << QCommandLineOption(QLatin1String(s.name), help + QLatin1Char('.'));
        else
            options << QCommandLineOption(QLatin1String(s.name), help + QStringLiteral(": ") + MeterSettings::valueSyntax(s) + QLatin1Char('.'),
                                          QStringLiteral("value"));
        parser.addOption(options.last());
    }
    if (const std::optional<int> done =
            parse(parser, "set",
                  QStringLiteral("Changes the meter's settings with the frames of the window's settings pages, "
                                 "in the order given. The full and the compact family (K4, K4R, N70, M512, W2R, "
                                 "QM512R) have different pages: brightness is 1..9 on the full family and "
                                 "10..100 on the compact one."),
                  arguments))
        return *done;
    if (!noArguments(parser, "set"))
        return Usage;

    // In the order of the command line; the values are checked before the
    // meter is opened, except a range that depends on its family.
    QList<const MeterSettings::Setting *> chosen;
    for (const QString &name : parser.optionNames()) {
        if (const MeterSettings::Setting *s = MeterSettings::find(name))
            chosen << s;
    }
    if (chosen.isEmpty()) {
        error(QStringLiteral("set"), QCoreApplication::translate("Cli", "没有要更改的设置（ombrel set --help 列出全部设置）"));
        return Usage;
    }
    QStringList values;
    QHash<QString, int> seen;
    for (const MeterSettings::Setting *s : chosen) {
        const QString name = QLatin1String(s->name);
        values << parser.values(name).value(seen[name]++);
    }
    for (int i = 0; i < chosen.size(); ++i) {
        const MeterSettings::Setting *s = chosen[i];
        QString reason;
        if (s->kind != MeterSettings::Kind::Level && (s->pages & MeterSettings::FullPage)
            && MeterSettings::frame(*s, values[i], false, &reason).isEmpty()) {
            error(QStringLiteral("set"), reason);
            return Usage;
        }
    }

    MeterPort port;
    if (const std::optional<int> failed = openForCommand(port, "set", parser.value(serialOption())))
        return *failed;
    const bool compact = isCompactFamily(parseProductString(port.product()).modelWord);
    QList<QByteArray> frames;
    for (int i = 0; i < chosen.size(); ++i) {
        QString reason;
        const QByteArray frame = MeterSettings::frame(*chosen[i], values[i], compact, &reason);
        if (frame.isEmpty()) {
            error(QStringLiteral("set"), reason);
            return Usage;
        }
        frames << frame;
    }
    // As the window does: the settings page is entered, changed and left.
    QString reason;
    if (!MeterSettings::write(port, frames, &reason)) {
        error(QStringLiteral("set"), reason);
        return Failed;
    }
    return Ok;
}

} // namespace Cli
