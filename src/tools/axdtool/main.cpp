// axdtool: the command-line companion of the accelerometer program for working with measurement
// files (".axd") in batches. It reads and writes them with the program's own code.

#include <QCoreApplication>
#include <QStringList>

#include <csignal>

#include "platform/atomicfile.h"
#include "tools/axdtool/command.h"

namespace {

int run(QStringList args)
{
    using namespace axdtool;
    if (args.isEmpty())
        return usageError(QStringLiteral("no command given"));
    const QString name = args.takeFirst();
    if (name == QLatin1String("--version")) {
        printOut(versionText());
        return kOk;
    }
    if (name == QLatin1String("help") || name == QLatin1String("--help") || name == QLatin1String("-h")) {
        if (args.isEmpty()) {
            printOut(usageText());
            return kOk;
        }
        const Command* c = findCommand(args.first());
        if (!c || args.size() > 1)
            return usageError(QStringLiteral("help takes one command's name"));
        printOut(commandHelp(*c));
        return kOk;
    }
    if (const Command* c = findCommand(name))
        return c->run(args);
    return usageError(QStringLiteral("unknown command \"%1\"").arg(name));
}

} // namespace

int main(int argc, char** argv)
{
    // Under a file-size limit a write past it is to fail like a full disk, reported and with
    // the old file kept, not to end the process.
    std::signal(SIGXFSZ, SIG_IGN);
    platform::removeTemporaryOnTerminationSignals();
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    // A report that did not all reach standard output is a failure, whatever the command thought.
    return axdtool::finishOutput(run(args));
}
