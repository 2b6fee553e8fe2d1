#include "base/appname.h"

#include <QCoreApplication>

#include <cstdlib>
#include <cstring>

namespace AppName {

void apply()
{
    QCoreApplication::setApplicationName(QStringLiteral("ombrel"));
    // No organisation: its name would become a folder of its own above the
    // data folder (~/.local/share/ORGANISATION/ombrel) and leave the runs
    // kept so far behind.
    QCoreApplication::setOrganizationName(QString());
}

bool chineseLocale()
{
    for (const char *name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char *value = std::getenv(name);
        if (value && *value)
            return std::strncmp(value, "zh", 2) == 0;
    }
    return false;
}

} // namespace AppName
