// axdtool: the command-line companion of the accelerometer program for working with measurement
// files (".axd") in batches. It reads and writes them with the program's own code.

#include <QCoreApplication>
#include <QStringList>

#include <csignal>

#include "platform/atomicfile.h"
#include "tools/axdtool/command.h"

int main(int argc, char** argv)
{
    // Under a file-size limit a write past it is to fail like a full disk, reported and with
    // the old file kept, not to end the process.
    std::signal(SIGXFSZ, SIG_IGN);
    platform::removeTemporaryOnTerminationSignals();
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    if (args.isEmpty())
        return axdtool::usageError(QStringLiteral("no command given"));
    const QString name = args.takeFirst();
    if (name == QLatin1String("help") || name == QLatin1String("--help") || name == QLatin1String("-h")) {
        axdtool::printOut(axdtool::usageText());
        return axdtool::kOk;
    }
    for (const axdtool::Command& c : axdtool::commands()) {
        if (c.name == name)
            return c.run(args);
    }
    return axdtool::usageError(QStringLiteral("unknown command \"%1\"").arg(name));
}
