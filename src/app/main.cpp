#include <QApplication>
#include <QStandardPaths>

#include "analysis/ui/spectrumwindow.h"
#include "app/apppaths.h"
#include "app/ui/mainwindow.h"
#include "app/ui/unixsignals.h"
#include "platform/ticks.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/help.h"

// The command line is not examined: a file named there is not opened.
int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("accel3"));
    QApplication::setOrganizationName(QStringLiteral("accel3"));
    // The main window ends the program; a help window left open must not keep it alive.
    QApplication::setQuitOnLastWindowClosed(false);

    const app::AppPaths paths = app::resolvePaths(
        QCoreApplication::applicationFilePath(),
        QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation));

    platform::QtDialogs dialogs;
    platform::HelpWindow help(paths.helpFolder);
    platform::SystemTicks ticks;
    app::Services services{&dialogs, &help, &ticks};

    app::TForm1 form1(services, paths);
    analysis::TForm2 form2(services, paths.spectrumSettingsFile);
    form1.setSpectrumWindow(&form2);

    app::TerminationSignals termination;
    QObject::connect(&termination, &app::TerminationSignals::terminationRequested, &form1, &QWidget::close);
    QObject::connect(&form1, &app::TForm1::closed, &application, &QCoreApplication::quit, Qt::QueuedConnection);

    form1.show();
    return QApplication::exec();
}
