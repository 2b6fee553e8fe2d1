#include "cli/outputoptions.h"

#include "base/regularfile.h"
#include "cli/command.h"

#include <QDir>
#include <QFileInfo>

namespace Cli {

OutputOptions::OutputOptions(std::initializer_list<OutputKind> outputs, bool switches)
{
    for (const OutputField &f : outputFields()) {
        if (std::find(outputs.begin(), outputs.end(), f.output) == outputs.end()
            || (!switches && f.value == OutputField::Value::Switch))
            continue;
        m_options.emplace_back(&f, f.valueName ? QCommandLineOption(QLatin1String(f.option), QLatin1String(f.help),
                                                                    QLatin1String(f.valueName))
                                               : QCommandLineOption(QLatin1String(f.option), QLatin1String(f.help)));
    }
}

void OutputOptions::add(QCommandLineParser &parser) const
{
    for (const auto &[field, option] : m_options)
        parser.addOption(option);
}

std::optional<int> OutputOptions::read(const QCommandLineParser &parser, const char *command,
                                       LiveOutputsSettings *settings) const
{
    const QString name = QLatin1String(command);
    auto fail = [&](int status, const QString &text) {
        error(name, text);
        return std::optional<int>(status);
    };
    const OutputField *switched = nullptr;
    for (const auto &[f, option] : m_options) {
        // Without its output's first option, an option has nothing to set.
        const OutputField *opener = nullptr;
        for (const auto &[g, unused] : m_options) {
            if (g->output == f->output && g->opens())
                opener = g;
        }
        const bool on = opener && (parser.isSet(QLatin1String(opener->option)) || !(settings->*opener->text).isEmpty());
        if (!parser.isSet(option)) {
            if (on && f->value == OutputField::Value::Secret)
                settings->*f->text = qEnvironmentVariable(f->environment);
            continue;
        }
        if (!on)
            return fail(Usage, QStringLiteral("--%1 needs --%2").arg(QLatin1String(f->option), QLatin1String(opener->option)));
        if (f->value == OutputField::Value::Switch) {
            if (switched)
                return fail(Usage, QStringLiteral("--%1 and --%2 contradict each other")
                                       .arg(QLatin1String(switched->option), QLatin1String(f->option)));
            switched = f;
            settings->*f->flag = !QByteArray(f->option).startsWith("no-");
            continue;
        }
        const QString value = parser.value(option);
        if (value.isEmpty() && f->value != OutputField::Value::Verbatim)
            return fail(Usage, QStringLiteral("--%1: the value is empty").arg(QLatin1String(f->option)));
        QString reason;
        switch (f->value) {
        case OutputField::Value::Secret:
            // A secret from a file (its first line), never from the command
            // line, where any user sees it.
            if (!RegularFile::readSecret(value, &(settings->*f->text), &reason))
                return fail(CannotWrite, QStringLiteral("cannot read --%1 %2: %3")
                                             .arg(QLatin1String(f->option), QDir::toNativeSeparators(value), reason));
            break;
        case OutputField::Value::Path:
            settings->*f->text = QFileInfo(value).absoluteFilePath();
            break;
        default:
            settings->*f->text = value;
            break;
        }
    }
    LiveOutputsSettings::Problem problem;
    if (!settings->check(&problem))
        return fail(problem.unreadable ? CannotWrite : Usage,
                    QStringLiteral("--%1: %2").arg(QLatin1String(problem.field->option), problem.words));
    return std::nullopt;
}

} // namespace Cli
