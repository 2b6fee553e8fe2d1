#include "outputs/mqttsettings.h"

#include "base/regularfile.h"
#include "outputs/addresstext.h"

#include <QCoreApplication>
#include <QUrl>

bool MqttSettings::setUrl(const QString &text, QString *error)
{
    auto fail = [&](const QString &reason) {
        if (error)
            *error = reason;
        return false;
    };
    const QUrl url(text.trimmed(), QUrl::StrictMode);
    // Said without a password the text may hold.
    const QString shown = AddressText::withoutPassword(text);
    const QString scheme = url.scheme().toLower();
    if (scheme != QLatin1String("mqtt") && scheme != QLatin1String("mqtts"))
        return fail(QCoreApplication::translate("MqttSettings", "“%1”不是 MQTT 代理地址：应为 mqtt://主机[:端口] 或 mqtts://主机[:端口]").arg(shown));
    // QUrl refuses a port that is not a number from 0 to 65535.
    if (!url.isValid() || url.port() == 0)
        return fail(QCoreApplication::translate("MqttSettings", "“%1”不是 MQTT 代理地址：端口应为 1 到 65535 的数字").arg(shown));
    if (url.host().isEmpty())
        return fail(QCoreApplication::translate("MqttSettings", "“%1”中没有主机名").arg(shown));
    if (!url.userInfo().isEmpty())
        return fail(QCoreApplication::translate("MqttSettings", "“%1”含有用户名或密码：请分别给出用户名和密码").arg(shown));
    if ((!url.path().isEmpty() && url.path() != QLatin1String("/")) || url.hasQuery() || url.hasFragment())
        return fail(QCoreApplication::translate("MqttSettings", "“%1”含有路径：主题由主题前缀决定").arg(shown));
    tls = scheme == QLatin1String("mqtts");
    host = url.host();
    port = url.port(tls ? kTlsPort : kPlainPort);
    return true;
}

QString MqttSettings::url() const
{
    const QString h = host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host;
    return QStringLiteral("%1://%2:%3").arg(QLatin1String(tls ? "mqtts" : "mqtt"), h).arg(port);
}

QString MqttSettings::prefixFor(const QString &serial) const
{
    if (!topicPrefix.isEmpty())
        return topicPrefix;
    return QStringLiteral("ombrel/") + topicLevel(serial);
}

QString MqttSettings::topicLevel(const QString &text)
{
    QString level = text.isEmpty() ? QStringLiteral("unknown") : text;
    for (QChar &c : level) {
        if (c == QLatin1Char('/') || c == QLatin1Char('+') || c == QLatin1Char('#') || c.unicode() < 0x20)
            c = QLatin1Char('_');
    }
    return level;
}

MqttSettings MqttSettings::forRole(const QString &role) const
{
    MqttSettings member = *this;
    if (!topicPrefix.isEmpty())
        member.topicPrefix = topicPrefix + QLatin1Char('/') + topicLevel(role);
    return member;
}

QString MqttSettings::benchPrefixFor(const QString &key) const
{
    return (topicPrefix.isEmpty() ? QStringLiteral("ombrel") : topicPrefix) + QStringLiteral("/bench/") + topicLevel(key);
}

QString MqttStatus::words(const QString &url) const
{
    QString text;
    switch (kind) {
    case Off:
        return QString();
    case Connecting:
        text = QCoreApplication::translate("MqttStatus", "正在连接 MQTT 代理 %1").arg(url);
        break;
    case Connected:
        return QCoreApplication::translate("MqttStatus", "已连接 MQTT 代理 %1").arg(url);
    case Refused:
        text = QCoreApplication::translate("MqttStatus", "MQTT 代理 %1 拒绝了连接").arg(url);
        break;
    case WrongPassword:
        text = QCoreApplication::translate("MqttStatus", "MQTT 代理 %1 拒绝了用户名或密码").arg(url);
        break;
    case Unreachable:
        text = QCoreApplication::translate("MqttStatus", "无法连接到 MQTT 代理 %1").arg(url);
        break;
    case TlsFailed:
        text = QCoreApplication::translate("MqttStatus", "与 MQTT 代理 %1 的 TLS 握手失败").arg(url);
        break;
    }
    return detail.isEmpty() ? text : QStringLiteral("%1 (%2)").arg(text, detail);
}

bool MqttSettings::validTopicPrefix(const QString &prefix)
{
    return !prefix.contains(QLatin1Char('+')) && !prefix.contains(QLatin1Char('#')) && !prefix.endsWith(QLatin1Char('/'));
}

MqttSettings::Fault MqttSettings::check(QString *detail) const
{
    if (!validTopicPrefix(topicPrefix))
        return Fault::TopicPrefix;
    if (!caFile.isEmpty()) {
        if (!tls)
            return Fault::CaWithoutTls;
        QByteArray pem;
        QString reason;
        if (!RegularFile::readSmall(caFile, &pem, &reason)) {
            if (detail)
                *detail = reason;
            return Fault::CaUnreadable;
        }
        if (!pem.contains("-----BEGIN CERTIFICATE-----"))
            return Fault::CaNoCertificate;
    }
    if (!password.isEmpty() && user.isEmpty())
        return Fault::PasswordWithoutUser;
    return Fault::None;
}
