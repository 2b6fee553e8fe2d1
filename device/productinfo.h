#pragma once

#include <QString>

#include <optional>

// What the meter's USB identity strings tell the application.
struct ProductInfo {
    QString modelWord;     // second word of the product string, may be empty
    QString versionWord;   // third word, may be empty
};

// Splits the product string at every single space, keeping empty parts, so
// two spaces in a row make an empty word.
ProductInfo parseProductString(const QString &product);

// First six characters of the serial number string.
QString serialPrefix(const QString &serial);

// The six model words that get the compact settings page (case-sensitive).
bool isCompactFamily(const QString &modelWord);

// Whether the compact page's motor switch group is shown for this model:
// hidden for N70 and M512, shown for the rest of the compact family, and no
// say (nullopt) for any other model.
std::optional<bool> motorGroupVisible(const QString &modelWord);
