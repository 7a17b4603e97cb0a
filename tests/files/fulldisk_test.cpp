// Every writer of the operator's files, on a disk that has run out of room (a file-size limit
// stands in for it): the failure is reported, and the previous file stays byte for byte.

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <functional>

#include "analysis/ui/spectrumwindow.h"
#include "common/axdtoolrun.h"
#include "common/filesizelimit.h"
#include "files/ui/measurementfilesui.h"
#include "files/ui/scalesui.h"
#include "filesfixture.h"

TEST_F(FilesWindowTest, EveryWriterReportsAFullDiskAndKeepsThePreviousFile)
{
    auto f = make();
    // A measured record of 2000 frames, shown whole.
    f->record.sampleStream.append(QByteArray(2000 * 6, '\x01'));
    f->record.samplePeriodUs = 625;
    f->record.channelLetters = QStringLiteral("XYZ");
    f->chartPart->valuesForTests().channelMask = 7;
    f->chartPart->ShowChart(f->measurementRun->btStartPlus);
    f->chartPart->valuesForTests().firstVisibleIndex = -1;
    f->chartPart->valuesForTests().lastVisibleIndex = -1;
    const QString axd = file(QStringLiteral("m.axd"));
    dialogs.saveAnswers = {axd};
    f->measurementFiles->btSaveClick();

    struct Case {
        const char* what;
        QString path;
        rlim_t limit;
        std::function<void()> write;
    } cases[] = {
        {"measurement file", file(QStringLiteral("old.axd")), 1024,
         [&] {
             dialogs.saveAnswers = {file(QStringLiteral("old.axd"))};
             f->measurementFiles->btSaveClick();
         }},
        {"CSV export", file(QStringLiteral("old.csv")), 1024,
         [&] {
             dialogs.saveAnswers = {file(QStringLiteral("old.csv"))};
             f->measurementFiles->btSaveClick();
         }},
        {"zero levels into Scales.scl", paths().scalesFile, 16,
         [&] {
             f->record.zeroLevels = {300, 150, -3};
             f->scales->btSaveZerosClick();
         }},
        {"spectrum window settings", paths().spectrumSettingsFile, 16,
         [&] {
             analysis::TForm2 g(app::Services{&dialogs, &help, &ticks}, paths().spectrumSettingsFile);
             g.close();
         }},
        // Last: the window is closed by it.
        {"main window settings at close", paths().settingsFile, 200, [&] { f->close(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QByteArray previous = "previous contents of " + QFileInfo(c.path).fileName().toUtf8() + "\r\n";
        ASSERT_TRUE(testutil::writeAll(c.path, previous));
        const QStringList folderBefore = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
        dialogs.messages.clear();
        {
            testutil::FileSizeLimit limit(c.limit);
            ASSERT_TRUE(limit.active());
            c.write();
        }
        ASSERT_EQ(dialogs.messages.size(), 1u);
        EXPECT_TRUE(dialogs.messages[0].standardError);
        EXPECT_EQ(dialogs.messages[0].text,
                  QStringLiteral("Unable to write to ") + c.path + QStringLiteral(": Превышен допустимый размер файла"));
        EXPECT_EQ(testutil::readAll(c.path), previous);
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), folderBefore) << "no temporary file";
    }

    // The command-line tool under "ulimit -f": exit status 1, the reason, the old export kept.
    const QString csv = file(QStringLiteral("x.csv"));
    ASSERT_TRUE(testutil::writeAll(csv, "old export"));
    QProcess p;
    p.setChildProcessModifier([] {
        struct rlimit rl {};
        ::getrlimit(RLIMIT_FSIZE, &rl);
        rl.rlim_cur = 2048;
        ::setrlimit(RLIMIT_FSIZE, &rl);
        // As a shell's ulimit leaves it: the signal at the limit would end the tool.
        std::signal(SIGXFSZ, SIG_DFL);
    });
    p.start(QCoreApplication::applicationDirPath() + QStringLiteral("/axdtool"),
            {QStringLiteral("export"), axd, csv});
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 1);
    EXPECT_TRUE(QString::fromUtf8(p.readAllStandardError()).contains(QStringLiteral("Превышен допустимый размер файла")));
    EXPECT_EQ(testutil::readAll(csv), QByteArray("old export"));
}
