#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QLoggingCategory>
#include <QTimer>

#include <cstdio>
#include <optional>

#include <csignal>

#include "analysis/ui/spectrumwindow.h"
#include "app/apppaths.h"
#include "app/commandline.h"
#include "app/ui/mainwindow.h"
#include "app/ui/translations.h"
#include "app/ui/unixsignals.h"
#include "files/ui/measurementfilesui.h"
#include "platform/atomicfile.h"
#include "platform/ticks.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/help.h"

// Off unless asked for (QT_LOGGING_RULES="accel3.startup.info=true"): says which file the
// command line opened and what comment it brought, for scripts and the installation check.
Q_LOGGING_CATEGORY(lcStartup, "accel3.startup", QtWarningMsg)

namespace {

QStringList rawArguments(int argc, char** argv)
{
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    return args;
}

int print(std::FILE* stream, const QString& text, int status)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
    return status;
}

// The exit status of --help, --version or a wrong option, which are answered at once.
std::optional<int> answerWithoutDisplay(int argc, char** argv)
{
    const app::CommandLine early = app::parseCommandLine(rawArguments(argc, argv), QDir::currentPath());
    if (early.action == app::CommandLine::Action::Help)
        return print(stdout, app::usageText(), 0);
    if (early.action == app::CommandLine::Action::Version)
        return print(stdout, app::versionText(), 0);
    if (early.action == app::CommandLine::Action::Error)
        return print(stderr, early.error, 2);
    return std::nullopt;
}

void configureApplication(QApplication& application)
{
    QApplication::setApplicationName(QStringLiteral("accel3"));
    QApplication::setOrganizationName(QStringLiteral("accel3"));
    // Ties the windows to the installed menu entry and its icon (task bars, Wayland).
    QGuiApplication::setDesktopFileName(QStringLiteral("org.example.accel3"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("org.example.accel3")));
    app::installQtTranslations(application, QLocale::system());
    // The main window ends the program; a help window left open must not keep it alive.
    QApplication::setQuitOnLastWindowClosed(false);
}

void closeOnTermination(app::TerminationSignals& termination, platform::QtDialogs& dialogs, app::TForm1& form1)
{
    QObject::connect(&termination, &app::TerminationSignals::terminationRequested, &form1, [&dialogs, &form1] {
        // Closing on a signal: a settings file that cannot be written is reported on standard
        // error, and the program ends all the same.
        dialogs.setUnattended(true);
        form1.closeOnTerminationSignal();
    });
}

// Opened as a drop of the file would open it, once the window is up, so a failure's message box
// has the window behind it and leaves an empty program.
void openWhenShown(app::TForm1& form1, const QString& file)
{
    QTimer::singleShot(0, &form1, [&form1, file] {
        form1.measurementFiles->dropFile(file);
        qCInfo(lcStartup).noquote()
            << QStringLiteral("file: %1\ncomment: %2").arg(file, form1.measurementFiles->comment());
    });
}

} // namespace

int main(int argc, char** argv)
{
    // --help, --version and a wrong option need no display: answered before the toolkit looks
    // for one (without a display it would abort).
    if (const std::optional<int> status = answerWithoutDisplay(argc, argv))
        return *status;

    // Under a file-size limit a write past it is to fail like a full disk, reported and with
    // the old file kept, not to end the program and lose the measurement on screen.
    std::signal(SIGXFSZ, SIG_IGN);
    QApplication application(argc, argv);
    // Parsed again without the toolkit's own options (-platform, -style ...).
    const app::CommandLine commandLine =
        app::parseCommandLine(QCoreApplication::arguments(), QDir::currentPath());
    if (commandLine.action == app::CommandLine::Action::Error)
        return print(stderr, commandLine.error, 2);
    configureApplication(application);

    const app::AppPaths paths = app::resolvePaths(QCoreApplication::applicationFilePath(), app::userConfigFolder());
    // What a run killed in the middle of writing its settings left behind.
    platform::removeStaleTemporaries(paths.appFolder);

    platform::QtDialogs dialogs;
    platform::HelpWindow help(paths.helpFolder);
    platform::SystemTicks ticks;
    app::Services services{&dialogs, &help, &ticks};

    app::TForm1 form1(services, paths);
    analysis::TForm2 form2(services, paths.spectrumSettingsFile);
    form1.setSpectrumWindow(&form2);

    app::TerminationSignals termination;
    closeOnTermination(termination, dialogs, form1);
    QObject::connect(&form1, &app::TForm1::closed, &application, &QCoreApplication::quit, Qt::QueuedConnection);

    form1.show();
    if (!commandLine.file.isEmpty())
        openWhenShown(form1, commandLine.file);
    return QApplication::exec();
}
