#include "app/commandline.h"

#include <QDir>
#include <QUrl>

#ifndef ACCEL3_VERSION
#define ACCEL3_VERSION "unknown"
#endif
#ifndef ACCEL3_HOMEPAGE
#define ACCEL3_HOMEPAGE ""
#endif

namespace app {

namespace {

QString localPath(const QString& argument, const QString& workingFolder)
{
    if (argument.startsWith(QLatin1String("file:"), Qt::CaseInsensitive)) {
        QUrl url(argument);
        // "file://localhost/..." is this machine, not a share named localhost.
        if (url.host().compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
            url.setHost(QString());
        // A URI of another host or a broken one is kept as given: opening it fails with the
        // file layer's usual message naming it.
        if (url.isValid() && url.isLocalFile())
            return QDir::cleanPath(url.toLocalFile());
        return argument;
    }
    return QDir::cleanPath(QDir(workingFolder).absoluteFilePath(argument));
}

// The toolkit's own options: they are the toolkit's to take (before or after the program
// parses), neither files nor mistakes. The second field: whether a value follows as the next
// argument. Given with one dash or two, as the toolkit takes them.
struct ToolkitOption {
    const char* name;
    bool value;
};
constexpr ToolkitOption kToolkitOptions[] = {
    {"platform", true},    {"platformpluginpath", true}, {"platformtheme", true}, {"plugin", true},
    {"qwindowgeometry", true}, {"qwindowicon", true},   {"qwindowtitle", true},  {"geometry", true},
    {"title", true},       {"icon", true},               {"display", true},       {"session", true},
    {"style", true},       {"stylesheet", true},         {"name", true},          {"visual", true},
    {"ncols", true},       {"cmap", true},               {"reverse", false},      {"widgetcount", false},
    {"nograb", false},     {"dograb", false},            {"sync", false},         {"testability", false},
    {"qmljsdebugger", false},
};

// How many arguments a toolkit option at a takes (0 when a is none).
int toolkitArguments(const QString& a, bool hasNext)
{
    QString name = a.mid(a.startsWith(QLatin1String("--")) ? 2 : 1);
    const bool inlineValue = name.contains(QLatin1Char('='));
    name = name.section(QLatin1Char('='), 0, 0);
    for (const ToolkitOption& o : kToolkitOptions) {
        if (name == QLatin1String(o.name))
            return o.value && !inlineValue && hasNext ? 2 : 1;
    }
    return 0;
}

} // namespace

CommandLine parseCommandLine(const QStringList& arguments, const QString& workingFolder)
{
    CommandLine result;
    bool help = false;
    bool version = false;
    bool optionsEnded = false;
    QString unknown;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments.at(i);
        if (!optionsEnded && a == QLatin1String("--")) {
            optionsEnded = true;
        } else if (!optionsEnded && (a == QLatin1String("-h") || a == QLatin1String("--help"))) {
            help = true;
        } else if (!optionsEnded && (a == QLatin1String("-v") || a == QLatin1String("--version"))) {
            version = true;
        } else if (!optionsEnded && a.startsWith(QLatin1Char('-')) && a.size() > 1) {
            if (const int n = toolkitArguments(a, i + 1 < arguments.size()); n > 0)
                i += n - 1;
            else if (unknown.isEmpty())
                unknown = a;
        } else if (result.file.isEmpty() && !a.isEmpty()) {
            result.file = localPath(a, workingFolder);
        }
    }
    if (help) {
        result.action = CommandLine::Action::Help;
    } else if (version) {
        result.action = CommandLine::Action::Version;
    } else if (!unknown.isEmpty()) {
        result.action = CommandLine::Action::Error;
        result.error = QStringLiteral("accel3: неизвестный параметр «%1»\nСправка: accel3 --help\n").arg(unknown);
    }
    return result;
}

QString usageText()
{
    return QStringLiteral(
        "Использование: accel3 [ФАЙЛ.axd]\n"
        "Программа трёхосевого USB-акселерометра: измерения, графики, файлы измерений, спектры.\n"
        "\n"
        "  ФАЙЛ.axd       открыть файл измерения после запуска (путь или URI file://)\n"
        "  -h, --help     показать эту справку и выйти\n"
        "  -v, --version  показать версию и выйти\n"
        "\n"
        "Плата выбирается переменной окружения ACCEL3_DEVICE (sim, none, serial,\n"
        "serial:/dev/ttyUSB0) или файлом device.ini. Установленная программа хранит\n"
        "настройки в ~/.config/accel3/.\n"
        "Подробнее: man accel3.\n");
}

QString versionText()
{
    return QStringLiteral("accel3 " ACCEL3_VERSION "\n");
}

QString makerWebPage()
{
    return QStringLiteral(ACCEL3_HOMEPAGE);
}

QString mainWindowTitle()
{
    const QString page = makerWebPage();
    return QStringLiteral("3-канальный АКСЕЛЕРОМЕТР USB") + (page.isEmpty() ? QString() : QStringLiteral(", ") + page);
}

} // namespace app
