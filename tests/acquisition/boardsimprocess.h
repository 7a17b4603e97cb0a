#pragma once

// The board emulator, started by a test: a real pseudo-terminal with the simulated board behind
// it, so the serial line is exercised through the kernel, not through a mock of it.

#include <QCoreApplication>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <memory>

class BoardSimProcess {
  public:
    // Starts accel3-boardsim (built beside the test program) and waits for it to print the
    // terminal's path. Empty path: it did not start; error() says why.
    explicit BoardSimProcess(const QStringList& arguments = {})
    {
        process_.setProgram(QCoreApplication::applicationDirPath() + QStringLiteral("/accel3-boardsim"));
        process_.setArguments(arguments);
        process_.start();
        if (process_.waitForStarted(5000) && process_.waitForReadyRead(5000)) {
            while (!process_.canReadLine() && process_.waitForReadyRead(2000)) {
            }
            path_ = QString::fromLocal8Bit(process_.readLine()).trimmed();
        }
    }
    ~BoardSimProcess() { stop(); }

    const QString& path() const { return path_; }
    QString error() const
    {
        return process_.errorString() + QString::fromLocal8Bit(process_.readAllStandardError());
    }
    bool running() const { return process_.state() == QProcess::Running; }

    // As the board is unplugged: the emulator ends and its terminal goes away.
    void stop()
    {
        if (process_.state() == QProcess::NotRunning)
            return;
        process_.terminate();
        if (!process_.waitForFinished(3000))
            process_.kill();
        process_.waitForFinished(3000);
    }
    bool waitForExit(int ms)
    {
        return process_.state() == QProcess::NotRunning || process_.waitForFinished(ms);
    }

  private:
    mutable QProcess process_;
    QString path_;
};
