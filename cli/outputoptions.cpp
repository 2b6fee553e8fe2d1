#include "cli/outputoptions.h"

#include "cli/command.h"

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
    LiveOutputsSettings::Given given;
    for (const auto &[field, option] : m_options)
        given.fields.push_back(field);
    given.value = [&](const OutputField &f) -> std::optional<QString> {
        for (const auto &[field, option] : m_options) {
            if (field == &f && parser.isSet(option))
                return parser.value(option);
        }
        return std::nullopt;
    };
    given.name = [](const OutputField &f) { return QStringLiteral("--") + QLatin1String(f.option); };
    LiveOutputsSettings::Problem problem;
    if (settings->read(given, &problem))
        return std::nullopt;
    error(QLatin1String(command), problem.words);
    return problem.unreadable ? CannotWrite : Usage;
}

} // namespace Cli
