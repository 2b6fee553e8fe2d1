#pragma once

#include <QString>

namespace AddressText {

// An address a user typed (a broker's, a server's) as it may be shown in a
// message: whatever could be a password in it, from the colon after the
// user to the last "@", is "****". Works on text that is no address at all.
QString withoutPassword(const QString &text);

} // namespace AddressText
