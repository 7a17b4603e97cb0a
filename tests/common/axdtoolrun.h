#pragma once

#include <QCoreApplication>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace testutil {

// One run of the command-line tool that sits beside the test program.
struct ToolRun {
    int status = -1; // -1: it did not finish normally
    QString out;
    QString err;
    QByteArray outBytes;
};

// What a run gets besides its arguments: bytes on standard input, a working folder, a file in place
// of standard output (out stays empty then).
struct ToolSetting {
    QByteArray input;
    QString folder;
    QString outputFile;
};

inline ToolRun axdtool(const QStringList& args, const ToolSetting& setting = {})
{
    QProcess p;
    if (!setting.folder.isEmpty())
        p.setWorkingDirectory(setting.folder);
    if (!setting.outputFile.isEmpty())
        p.setStandardOutputFile(setting.outputFile);
    p.start(QCoreApplication::applicationDirPath() + QStringLiteral("/axdtool"), args);
    p.write(setting.input);
    p.closeWriteChannel();
    ToolRun r;
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit)
        return r;
    r.status = p.exitCode();
    r.outBytes = p.readAllStandardOutput();
    r.out = QString::fromUtf8(r.outBytes);
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

} // namespace testutil
