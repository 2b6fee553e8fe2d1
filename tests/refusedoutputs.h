#pragma once

// Broker settings that the window's live outputs dialog and `record`'s
// --mqtt options both refuse, by the same rule.
#include <QString>
#include <QStringList>

// Topic prefixes that would put + or # into a topic name, or an empty level
// before /state.
inline const QStringList &refusedTopicPrefixes()
{
    static const QStringList prefixes = {QStringLiteral("lab/#"), QStringLiteral("lab/+/bench"), QStringLiteral("#"),
                                         QStringLiteral("lab/")};
    return prefixes;
}

// What the dialog and `record` (in Chinese) say of one of them.
inline QString refusedTopicWords(const QString &prefix)
{
    return QStringLiteral("MQTT 主题前缀“%1”无效：不能含有 + 或 #，也不能以 / 结尾").arg(prefix);
}
