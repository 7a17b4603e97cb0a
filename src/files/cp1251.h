#pragma once

// Texts inside measurement files and exports are single-byte Windows-1251, the code page the
// board's software has always written them in.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace files {

// A character the code page lacks becomes '?', as the Windows conversion does.
QByteArray toCp1251(const QString& text);
// Every byte maps to one character; the one unassigned byte (0x98) becomes U+FFFD.
QString fromCp1251(QByteArrayView bytes);

} // namespace files
