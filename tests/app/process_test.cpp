#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>

// The program as the operator starts it: a copied folder with the executable.
// A termination request must close the main window the normal way and end the
// process cleanly and promptly.
TEST(Process, TerminationSignalsCloseTheWindowAndExitCleanly)
{
    QTemporaryDir dir;
    const QString exe = dir.filePath(QStringLiteral("accel3"));
    ASSERT_TRUE(QFile::copy(QCoreApplication::applicationDirPath() + QStringLiteral("/accel3"), exe));
    for (int sig : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(sig);
        QProcess p;
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        p.setProcessEnvironment(env);
        // A file named on the command line that cannot be read leaves its message box open:
        // the termination must end the program through that box as well.
        p.start(exe, {QStringLiteral("/nonexistent/measurement.axd")});
        ASSERT_TRUE(p.waitForStarted(5000));
        // Wait until the window is up: the program prints nothing, so give it time.
        QThread::msleep(1500);
        ASSERT_EQ(p.state(), QProcess::Running) << p.readAllStandardError().toStdString();
        QElapsedTimer t;
        t.start();
        ::kill(p.processId(), sig);
        ASSERT_TRUE(p.waitForFinished(5000));
        EXPECT_LT(t.elapsed(), 1000);
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    }
}
