#include "app/setting.h"

#include <QDir>
#include <QSettings>

namespace {

// The stored spelling of `key`, or `key` itself when the file has no such entry.
// An exact match wins over one that differs in case.
QString storedKey(const QSettings &settings, const QString &key)
{
    const QStringList keys = settings.allKeys();
    if (keys.contains(key))
        return key;
    for (const QString &k : keys) {
        if (k.compare(key, Qt::CaseInsensitive) == 0)
            return k;
    }
    return key;
}

} // namespace

Setting::Setting(QObject *parent) : QObject(parent) {}

QString Setting::filePath()
{
    return QDir::currentPath() + QStringLiteral("/usb-hid.ini");
}

QString Setting::read(const QString &key) const
{
    const QSettings settings(filePath(), QSettings::IniFormat);
    return settings.value(storedKey(settings, key)).toString();
}

void Setting::write(const QString &key, const QString &value)
{
    QSettings settings(filePath(), QSettings::IniFormat);
    settings.setValue(storedKey(settings, key), value);
}

void Setting::remove(const QString &key)
{
    QSettings settings(filePath(), QSettings::IniFormat);
    const QStringList keys = settings.allKeys();
    for (const QString &k : keys) {
        if (k.compare(key, Qt::CaseInsensitive) == 0
            || k.startsWith(key + QLatin1Char('/'), Qt::CaseInsensitive))
            settings.remove(k);
    }
}
