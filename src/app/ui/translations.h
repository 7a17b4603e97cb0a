#pragma once

#include <QLocale>

#include <vector>

class QCoreApplication;
class QTranslator;

namespace app {

// Installs Qt's own translations for the locale, so the standard dialogs (open, save, colour) and
// buttons speak the user's language like the rest of the program. They come from the system's
// Qt translations folder (Debian: qt6-translations-l10n); without them the dialogs stay in
// English. The translators belong to the application; the ones installed are returned.
std::vector<QTranslator*> installQtTranslations(QCoreApplication& application, const QLocale& locale);

} // namespace app
