#pragma once
// Texts inside the program are bytes of a single-byte code page (Latin-1); they become
// QStrings only at the window boundary, through these two.
#include <QString>
#include <string>

namespace zorv {

inline QString ToQString(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// Characters outside Latin-1 become "?".
inline std::string FromQString(const QString& text) { return text.toLatin1().toStdString(); }

}  // namespace zorv
