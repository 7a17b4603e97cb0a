#include "app/ui/translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace app {

std::vector<QTranslator*> installQtTranslations(QCoreApplication& application, const QLocale& locale)
{
    std::vector<QTranslator*> installed;
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    // "qtbase" holds the dialogs and buttons; the widgets' own texts of other modules are not used.
    auto* t = new QTranslator(&application);
    if (t->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"), folder) &&
        QCoreApplication::installTranslator(t))
        installed.push_back(t);
    else
        delete t;
    return installed;
}

} // namespace app
