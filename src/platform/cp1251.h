#pragma once

// Texts in the program's files (measurement files, exports, INI files) are single-byte
// Windows-1251, the code page the board's software has always written them in.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace platform {

// A character the code page lacks becomes '?', as the Windows conversion does.
QByteArray toCp1251(const QString& text);
// Every byte maps to one character; the one unassigned byte (0x98) becomes U+FFFD.
QString fromCp1251(QByteArrayView bytes);

} // namespace platform
