#pragma once

// Broker settings that the window's live outputs dialog and `record`'s
// --mqtt options both refuse, by the same rule.
#include <QStringList>

// Topic prefixes that would put + or # into a topic name, or an empty level
// before /state.
inline const QStringList &refusedTopicPrefixes()
{
    static const QStringList prefixes = {QStringLiteral("lab/#"), QStringLiteral("lab/+/bench"), QStringLiteral("#"),
                                         QStringLiteral("lab/")};
    return prefixes;
}
