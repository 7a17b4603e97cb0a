#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <csignal>

#include "common/testutil.h"
#include "files/cp1251.h"

namespace {

// True once the process has its own handler for `sig`: the window is up and a signal now closes
// it instead of killing the process outright.
bool catches(qint64 pid, int sig)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("SigCgt:"))
            return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (sig - 1)) & 1;
    }
    return false;
}

} // namespace

// The program as the operator starts it: a copied folder with the executable. A logout, a closed
// terminal or Ctrl+C closes the main window the normal way: the settings are written with the
// window's state, or, when they cannot be, the reason goes to standard error instead of a box
// that nobody is there to answer; and the process ends cleanly.
TEST(Process, TerminationSignalsCloseTheWindowAndExitCleanly)
{
    struct Case {
        int sig;
        bool settingsWritable;
    } cases[] = {{SIGTERM, true}, {SIGINT, true}, {SIGHUP, true}, {SIGTERM, false}, {SIGHUP, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "signal " << c.sig << (c.settingsWritable ? "" : ", settings not writable"));
        QTemporaryDir dir;
        const QString exe = dir.filePath(QStringLiteral("accel3"));
        ASSERT_TRUE(QFile::copy(QCoreApplication::applicationDirPath() + QStringLiteral("/accel3"), exe));
        const QString ini = dir.filePath(QStringLiteral("tremor.ini"));
        if (c.settingsWritable) {
            // Some keys the window takes over and must write back, the rest missing.
            ASSERT_TRUE(testutil::writeAll(
                ini, files::toCp1251(QStringLiteral("[Options]\r\nSmooth by scale=77\r\nLoad Help on Start=1\r\n"
                                                    "[Окно F/T]\r\nSamples=5000\r\n"))));
        } else {
            ASSERT_TRUE(QDir().mkpath(ini + QStringLiteral("/taken")));
        }

        QProcess p;
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        p.setProcessEnvironment(env);
        // A file named on the command line that cannot be read leaves its message box open:
        // the termination must end the program through that box as well.
        p.start(exe, {QStringLiteral("/nonexistent/measurement.axd")});
        ASSERT_TRUE(p.waitForStarted(5000));
        const QDeadlineTimer up(60000);
        while (!catches(p.processId(), c.sig) && !up.hasExpired() && p.state() == QProcess::Running)
            QThread::msleep(20);
        ASSERT_EQ(p.state(), QProcess::Running) << p.readAllStandardError().toStdString();
        ::kill(pid_t(p.processId()), c.sig);
        ASSERT_TRUE(p.waitForFinished(30000)) << "the program still waits for something";
        const QString err = QString::fromLocal8Bit(p.readAllStandardError());
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p.exitCode(), 0) << err.toStdString();

        if (c.settingsWritable) {
            const QString text = files::fromCp1251(testutil::readAll(ini));
            for (const char* line : {"Smooth by scale=77", "Samples=5000", "Load Help on Start=1", "высота=515",
                                     "Degree|Time=1", "Channel 3=192"})
                EXPECT_TRUE(text.contains(QString::fromUtf8(line))) << line << "\n" << text.toStdString();
        } else {
            EXPECT_TRUE(err.contains(QStringLiteral("Unable to write to ") + ini)) << err.toStdString();
        }
    }
}
