#pragma once

#include <QString>
#include <QStringList>

namespace app {

// What the program's command line asks for.
struct CommandLine {
    enum class Action { Run, Help, Version, Error };
    Action action = Action::Run;
    // The measurement file to open once the window is shown, as an absolute path; empty for none.
    QString file;
    // The complaint for Action::Error.
    QString error;
};

// arguments[0] is the program itself. A file manager passes paths or file:// URIs; a
// relative path is taken against workingFolder, since the folder navigation starts from the
// file's folder. Only the first file is opened, as only the first of several dropped files
// is. "--help" or "--version" anywhere before "--" wins over everything else, so they work
// even beside options meant for the toolkit. The toolkit's own options (-platform offscreen,
// -style=fusion ...) are skipped with their values, so the line can be judged before the toolkit
// starts, which a wrong option must not need (it may need a display).
CommandLine parseCommandLine(const QStringList& arguments, const QString& workingFolder);

QString usageText();
QString versionText();
// The maker's web page as the build was told it (ACCEL3_HOMEPAGE); empty when there is none.
QString makerWebPage();
// The main window's title: the board's name, then the maker's web page when there is one.
QString mainWindowTitle();

} // namespace app
