#include "app/commandline.h"

#include <QDir>
#include <QUrl>

#ifndef ACCEL3_VERSION
#define ACCEL3_VERSION "unknown"
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
            if (unknown.isEmpty())
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

} // namespace app
