#include "outputs/addresstext.h"

namespace AddressText {

QString withoutPassword(const QString &text)
{
    const int scheme = text.indexOf(QLatin1String("://"));
    const int start = scheme < 0 ? 0 : scheme + 3;
    // The last "@": a password may itself hold "@", "/" or "?".
    const int at = text.lastIndexOf(QLatin1Char('@'));
    if (at < start)
        return text;
    const int colon = text.indexOf(QLatin1Char(':'), start);
    if (colon < 0 || colon > at)
        return text;   // a user without a password
    return text.left(colon + 1) + QStringLiteral("****") + text.mid(at);
}

} // namespace AddressText
