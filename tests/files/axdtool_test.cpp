// axdtool as a user runs it: exit statuses, messages, and what it prints and writes.

#include <QBuffer>
#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QThread>
#include <QDir>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/stat.h>

#include "app/commandline.h"
#include "common/axdtoolrun.h"
#include "common/testutil.h"
#include "files/axdfile.h"
#include "files/cp1251.h"
#include "files/ui/measurementfilesui.h"
#include "filesfixture.h"

namespace {

using testutil::axdtool;
using testutil::ToolRun;

QByteArray sampleFile(const QString& comment = QStringLiteral("стенд \"А\"\nЗаписаны оси YZ"))
{
    files::AxdWriteSource src;
    src.header.typeWord = 0x0003;
    src.header.channelMask = 6; // Y and Z
    src.header.samplePeriodUs = 625;
    src.axisK = {0.5, 0.25, 2};
    src.axisC = {1, -2, 0.5};
    src.xAxisTitle = QStringLiteral("Время, мкс");
    src.yAxisTitle = QStringLiteral("Ускорение, м/с2");
    // Four frames of Y, Z and a trailing partial word.
    const std::vector<std::uint8_t> data{10, 0, 20, 0x80, 12, 0, 22, 0, 14, 0, 24, 0x80, 16, 0, 26, 0, 0x55};
    src.data = data;
    src.comment = comment;
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    files::writeAxd(out, src);
    return out.data();
}

} // namespace

TEST(AxdTool, InfoPrintsOneJsonObject)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Замер 1.axd"));
    ASSERT_TRUE(testutil::writeAll(path, sampleFile()));
    ASSERT_TRUE(files::setFileStartTime(path, QDateTime(QDate(2023, 5, 17), QTime(10, 20, 31))));

    const ToolRun r = axdtool({QStringLiteral("info"), path});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    QJsonParseError error;
    const QJsonObject o = QJsonDocument::fromJson(r.out.toUtf8(), &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << r.out.toStdString();
    EXPECT_EQ(o.value(QStringLiteral("typeWord")).toInt(), 3);
    EXPECT_EQ(o.value(QStringLiteral("channelMask")).toInt(), 6);
    EXPECT_EQ(o.value(QStringLiteral("dataLength")).toInt(), 17);
    EXPECT_EQ(o.value(QStringLiteral("samplePeriodUs")).toDouble(), 625.0);
    EXPECT_EQ(o.value(QStringLiteral("axisK")).toArray(), (QJsonArray{0.5, 0.25, 2}));
    EXPECT_EQ(o.value(QStringLiteral("axisC")).toArray(), (QJsonArray{1, -2, 0.5}));
    EXPECT_EQ(o.value(QStringLiteral("xAxisTitle")).toString(), QStringLiteral("Время, мкс"));
    EXPECT_EQ(o.value(QStringLiteral("yAxisTitle")).toString(), QStringLiteral("Ускорение, м/с2"));
    EXPECT_EQ(o.value(QStringLiteral("comment")).toString(), QStringLiteral("стенд \"А\"\nЗаписаны оси YZ"));
    EXPECT_EQ(o.value(QStringLiteral("frames")).toInt(), 4);
    const QDateTime start =
        QDateTime::fromString(o.value(QStringLiteral("startTime")).toString(), Qt::ISODate);
    EXPECT_EQ(start, QDateTime(QDate(2023, 5, 17), QTime(10, 20, 30)));
    EXPECT_EQ(o.size(), 11) << "a whole record says nothing of being partial";

    // A run cut short: its axes line's note.
    ASSERT_TRUE(testutil::writeAll(
        path,
        sampleFile(QStringLiteral("Записаны оси YZ (неполная запись: принято 4 из 9 кадров, плата перестала "
                                  "передавать данные)"))));
    const QJsonObject partial =
        QJsonDocument::fromJson(axdtool({QStringLiteral("info"), path}).out.toUtf8()).object();
    EXPECT_TRUE(partial.value(QStringLiteral("partial")).toBool());
    EXPECT_EQ(partial.value(QStringLiteral("partialReason")).toString(),
              QStringLiteral("принято 4 из 9 кадров, плата перестала передавать данные"));
}

TEST(AxdTool, ExportWritesTheChosenFormat)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("m.axd"));
    ASSERT_TRUE(testutil::writeAll(path, sampleFile()));
    const QString out = dir.filePath(QStringLiteral("m.CSV"));
    const ToolRun r =
        axdtool({QStringLiteral("export"), path, out, QStringLiteral("--view"), QStringLiteral("1"),
                 QStringLiteral("--store-x=no"), QStringLiteral("--decimal"), QStringLiteral("comma"),
                 QStringLiteral("--no-modulus")});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QStringList lines = files::fromCp1251(testutil::readAll(out)).split(QLatin1Char('\r'));
    ASSERT_EQ(lines.size(), 15);
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("Данные из файла ") + QFileInfo(path).absoluteFilePath()));
    EXPECT_EQ(lines[2], QStringLiteral("1;1;0,5"));
    EXPECT_EQ(lines[5], QStringLiteral("единицы АЦП;<-name of Y axis"));
    EXPECT_EQ(lines[6], QStringLiteral("Выборки;<-name of X axis"));
    EXPECT_EQ(lines[7] + QLatin1Char('\r') + lines[8], QStringLiteral("стенд \"А\"\r\nЗаписаны оси YZ"));
    EXPECT_EQ(lines[10], QStringLiteral("Y;Z;"));
    // Frame 0 is never a point: three rows of raw ADC units.
    EXPECT_EQ(lines.mid(11), (QStringList{QStringLiteral("12;22;"), QStringLiteral("14;24;"),
                                          QStringLiteral("16;26;"), QString()}));
}

TEST(AxdTool, WrongCallsAndBadFiles)
{
    QTemporaryDir dir;
    const QString good = dir.filePath(QStringLiteral("good.axd"));
    ASSERT_TRUE(testutil::writeAll(good, sampleFile()));
    const QString cut = dir.filePath(QStringLiteral("cut.axd"));
    ASSERT_TRUE(testutil::writeAll(cut, sampleFile().left(100)));
    const QString foreign = dir.filePath(QStringLiteral("foreign.axd"));
    ASSERT_TRUE(testutil::writeAll(foreign, QByteArray("\x04\x80") + sampleFile().mid(2)));
    const QString out = dir.filePath(QStringLiteral("o.txt"));

    struct Case {
        const char* what;
        QStringList args;
        int status;
        const char* inError;
    } cases[] = {
        {"nothing", {}, 2, "Usage: axdtool"},
        {"unknown command", {QStringLiteral("frobnicate")}, 2, "Usage: axdtool"},
        {"info without a file", {QStringLiteral("info")}, 2, "Usage: axdtool"},
        {"a dash that is no option", {QStringLiteral("spectrum"), QStringLiteral("-x")}, 2, "unknown option -x"},
        {"missing file",
         {QStringLiteral("info"), dir.filePath(QStringLiteral("none.axd"))},
         1,
         "Cannot open file "},
        {"a folder", {QStringLiteral("info"), dir.path()}, 1, "Cannot open file "},
        {"file cut short", {QStringLiteral("info"), cut}, 1, "Stream read error: "},
        {"file of another kind", {QStringLiteral("export"), foreign, out}, 1, "Plinder.exe"},
        {"unknown option", {QStringLiteral("export"), good, out, QStringLiteral("--colour")}, 2, "--colour"},
        {"view out of range",
         {QStringLiteral("export"), good, out, QStringLiteral("--view"), QStringLiteral("4")},
         2,
         "--view"},
        {"option without its value",
         {QStringLiteral("export"), good, out, QStringLiteral("--smooth")},
         2,
         "--smooth"},
        {"smoothing weight out of range",
         {QStringLiteral("export"), good, out, QStringLiteral("--smooth"), QStringLiteral("1")},
         2,
         "--smooth"},
        {"output of another kind",
         {QStringLiteral("export"), good, dir.filePath(QStringLiteral("o.dat"))},
         2,
         ".csv"},
        {"output folder missing",
         {QStringLiteral("export"), good, dir.filePath(QStringLiteral("no/o.txt"))},
         1,
         "Cannot create file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const ToolRun r = axdtool(c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_TRUE(r.err.contains(QString::fromUtf8(c.inError))) << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty());
    }
    // The reason follows the message.
    EXPECT_TRUE(axdtool({QStringLiteral("info"), cut}).err.contains(QStringLiteral("обрывается на байте 100")));
    EXPECT_TRUE(axdtool({QStringLiteral("info"), dir.path()}).err.contains(QStringLiteral("папка")));
    EXPECT_FALSE(QFileInfo::exists(out)) << "nothing is written on a failed call";

    const ToolRun help = axdtool({QStringLiteral("help")});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.contains(QStringLiteral("export FILE OUT")));
}

TEST_F(FilesWindowTest, TheExportOfAWholeChartIsWhatAxdtoolWrites)
{
    const QString path = file(QStringLiteral("whole.axd"));
    ASSERT_TRUE(testutil::writeAll(path, sampleFile()));
    struct Case {
        int view;
        int unit;
        bool comma;
        bool storeX;
        bool modulus;
        int smooth; // 0: off
        QStringList args;
    } cases[] = {
        {0, 0, false, true, true, 0, {}},
        {1,
         1,
         true,
         false,
         false,
         8,
         {QStringLiteral("--view"), QStringLiteral("1"), QStringLiteral("--units"), QStringLiteral("ms"),
          QStringLiteral("--decimal"), QStringLiteral("comma"), QStringLiteral("--store-x"),
          QStringLiteral("no"), QStringLiteral("--no-modulus"), QStringLiteral("--smooth"),
          QStringLiteral("8")}},
        {3,
         2,
         false,
         true,
         true,
         500,
         {QStringLiteral("--view=3"), QStringLiteral("--units=s"), QStringLiteral("--smooth=500")}},
        {2,
         0,
         true,
         true,
         true,
         0,
         {QStringLiteral("--view"), QStringLiteral("2"), QStringLiteral("--decimal=comma")}},
    };
    auto f = make();
    dialogs.openAnswers = {path};
    f->measurementFiles->btLoadFileClick();
    f->chartPart->rgTimGrad->setItemIndex(0); // the tool draws the pulse trace as time
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(QLatin1Char(' ')).toStdString());
        showForExport(*f, c, display::Series::Y);
        ASSERT_EQ(f->chartPart->values().lastVisibleIndex, 2);

        const QString fromProgram = file(QStringLiteral("program%1.csv").arg(n));
        const QString fromTool = file(QStringLiteral("tool%1.csv").arg(n++));
        dialogs.saveAnswers = {fromProgram};
        f->measurementFiles->btSaveClick();
        const ToolRun r = axdtool(QStringList{QStringLiteral("export"), path, fromTool} + c.args);
        ASSERT_EQ(r.status, 0) << r.err.toStdString();
        const QByteArray program = testutil::readAll(fromProgram);
        EXPECT_FALSE(program.isEmpty());
        EXPECT_EQ(testutil::readAll(fromTool), program);
    }
}

// An export stopped by Ctrl+C, SIGTERM or SIGHUP takes its temporary file with it: an interrupted
// export of a large file would otherwise leave a hidden partial copy of it in the folder.
TEST(AxdTool, AnInterruptedExportLeavesNoTemporaryFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("big.axd"));
    {
        files::AxdWriteSource src;
        src.header.channelMask = 7;
        src.header.samplePeriodUs = 312.5;
        const std::vector<std::uint8_t> data(6 * 1000000, 0x21);
        src.data = data;
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_TRUE(files::writeAxd(f, src));
    }
    for (const int sig : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(sig);
        QProcess p;
        p.start(QCoreApplication::applicationDirPath() + QStringLiteral("/axdtool"),
                {QStringLiteral("export"), path, dir.filePath(QStringLiteral("x.csv"))});
        ASSERT_TRUE(p.waitForStarted());
        // Stopped as soon as its temporary file is there, so the signal comes in the middle of the write.
        bool writing = false;
        while (!writing && p.state() == QProcess::Running) {
            writing = !QDir(dir.path()).entryList({QStringLiteral(".x.csv.~accel3-*")}, QDir::Files | QDir::Hidden).isEmpty();
            if (!writing)
                QThread::usleep(500);
        }
        ASSERT_TRUE(writing) << "the export ended before it could be interrupted";
        ::kill(pid_t(p.processId()), sig);
        ASSERT_TRUE(p.waitForFinished(60000));
        EXPECT_EQ(p.exitStatus(), QProcess::CrashExit) << "ended by the signal";
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("big.axd")});
    }
}

// A FIFO that nobody reads, behind the name to write: the export fails at once and says why, and
// the FIFO stays.
TEST(AxdTool, ExportToAFifoWithoutAReaderFailsAndLeavesIt)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("m.axd"));
    ASSERT_TRUE(testutil::writeAll(path, sampleFile()));
    const QString fifo = dir.filePath(QStringLiteral("pipe"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString link = dir.filePath(QStringLiteral("out.csv"));
    ASSERT_TRUE(QFile::link(fifo, link));
    const ToolRun r = axdtool({QStringLiteral("export"), path, link});
    EXPECT_NE(r.status, 0);
    EXPECT_TRUE(r.err.contains(QStringLiteral("канал никто не читает"))) << r.err.toStdString();
    EXPECT_TRUE(QFileInfo(fifo).exists() && !QFileInfo(fifo).isFile());
    EXPECT_TRUE(QFileInfo(link).isSymLink());
}

TEST(AxdTool, StandardStreamsSeveralFilesAndHelp)
{
    QTemporaryDir dir;
    const QString good = dir.filePath(QStringLiteral("good.axd"));
    ASSERT_TRUE(testutil::writeAll(good, sampleFile()));
    ASSERT_TRUE(testutil::writeAll(dir.filePath(QStringLiteral("--x.axd")), sampleFile()));
    const QString missing = dir.filePath(QStringLiteral("none.axd"));
    const QString S = QStringLiteral("spectrum");
    const QString csv = QStringLiteral("--csv");
    struct Case {
        const char* what;
        QStringList args;
        bool input; // the sample file on standard input
        int status;
        const char* inOut;
        int outLines; // -1: not counted
    } cases[] = {
        {"info of standard input", {QStringLiteral("info"), QStringLiteral("-")}, true, 0, "\"startTime\":null", 1},
        {"info of two files, one line each", {QStringLiteral("info"), good, QStringLiteral("-")}, true, 0, "typeWord", 2},
        {"a failing file does not stop the others", {QStringLiteral("info"), good, missing, good}, false, 1, "typeWord", 2},
        {"-- ends the options", {QStringLiteral("info"), QStringLiteral("--"), QStringLiteral("--x.axd")}, false, 0, "typeWord", 1},
        {"spectrum of standard input", {S, QStringLiteral("-")}, true, 0, "Amplitude", -1},
        {"two files as one CSV table", {S, good, QStringLiteral("-"), csv, QStringLiteral("--peaks=1")}, true, 0,
         "file,frequency_hz,amplitude,channel\n", 3},
        {"the export on standard output", {QStringLiteral("export"), good, QStringLiteral("-"), QStringLiteral("--format"), QStringLiteral("csv")},
         false, 0, "Channel:;C (ADC Shift):", -1},
        {"the spectrogram on standard output",
         {QStringLiteral("spectrogram"), good, QStringLiteral("-"), QStringLiteral("--format=csv"), QStringLiteral("--segment=256")},
         false, 0, "time_s", -1},
        {"standard output needs a format", {QStringLiteral("export"), good, QStringLiteral("-")}, false, 2, "", 0},
        {"a command's help", {QStringLiteral("export"), QStringLiteral("--help")}, false, 0, "--columns-only", -1},
        {"help on a command", {QStringLiteral("help"), S}, false, 0, "--peaks N", -1},
        {"-h is help, not a file", {S, QStringLiteral("-h")}, false, 0, "Usage: axdtool spectrum", -1},
        {"version", {QStringLiteral("--version")}, false, 0, "axdtool ", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        testutil::ToolSetting setting;
        setting.folder = dir.path();
        if (c.input)
            setting.input = sampleFile();
        const ToolRun r = axdtool(c.args, setting);
        EXPECT_EQ(r.status, c.status) << r.err.toStdString();
        EXPECT_TRUE(r.out.contains(QString::fromUtf8(c.inOut))) << r.out.left(400).toStdString();
        if (c.outLines >= 0) {
            EXPECT_EQ(r.out.count(QLatin1Char('\n')), c.outLines) << r.out.left(400).toStdString();
        }
    }
}

TEST(AxdTool, AReportThatCannotBeWrittenFails)
{
    QTemporaryDir dir;
    const QString good = dir.filePath(QStringLiteral("good.axd"));
    ASSERT_TRUE(testutil::writeAll(good, sampleFile()));
    const QStringList calls[] = {
        {QStringLiteral("info"), good},
        {QStringLiteral("spectrum"), good},
        {QStringLiteral("spectrum"), good, QStringLiteral("--csv")},
        {QStringLiteral("trend"), good},
        {QStringLiteral("export"), good, QStringLiteral("-"), QStringLiteral("--format=txt")},
        {QStringLiteral("spectrogram"), good, QStringLiteral("-"), QStringLiteral("--format=png"), QStringLiteral("--segment=256")},
        {QStringLiteral("help")},
    };
    testutil::ToolSetting full;
    full.outputFile = QStringLiteral("/dev/full");
    for (const QStringList& args : calls) {
        SCOPED_TRACE(args.first().toStdString());
        ASSERT_EQ(axdtool(args).status, 0);
        const ToolRun r = axdtool(args, full);
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(r.err.contains(QStringLiteral("cannot write to standard output: "))) << r.err.toStdString();
    }
}

TEST(AxdTool, TheScriptExportIsAPlainTable)
{
    QTemporaryDir dir;
    const QString good = dir.filePath(QStringLiteral("good.axd"));
    ASSERT_TRUE(testutil::writeAll(good, sampleFile()));
    const QStringList plain{QStringLiteral("--format=csv"), QStringLiteral("--encoding=utf-8"),
                            QStringLiteral("--newline=lf"), QStringLiteral("--columns-only"), QStringLiteral("--view=1")};
    struct Case {
        QStringList args;
        QByteArray out;
    } cases[] = {
        {plain + QStringList{QStringLiteral("--no-modulus"), QStringLiteral("--store-x=no")},
         "Y;Z\n12;22\n14;24\n16;26\n"},
        {plain + QStringList{QStringLiteral("--no-modulus"), QStringLiteral("--newline=crlf")},
         "Выборки;Y;Z\r\n1;12;22\r\n2;14;24\r\n3;16;26\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(QLatin1Char(' ')).toStdString());
        const ToolRun r = axdtool(QStringList{QStringLiteral("export"), good, QStringLiteral("-")} + c.args);
        ASSERT_EQ(r.status, 0) << r.err.toStdString();
        EXPECT_EQ(r.outBytes, c.out);
    }
    // The header block in UTF-8 keeps the comment, with the chosen line ends.
    const ToolRun r = axdtool({QStringLiteral("export"), good, QStringLiteral("-"), QStringLiteral("--format=txt"),
                               QStringLiteral("--encoding=utf-8"), QStringLiteral("--newline=lf")});
    EXPECT_TRUE(r.out.contains(QStringLiteral("\nстенд \"А\"\nЗаписаны оси YZ\n\n"))) << r.out.toStdString();
}

// Every option the help lists is in the manual page, and a page lists no option its program lacks.
TEST(ManualPages, ListTheOptionsOfTheHelp)
{
    static const QRegularExpression option(QStringLiteral("(?<![\\w-])--([A-Za-z][A-Za-z-]*)"));
    auto options = [](const QString& text) {
        QSet<QString> names;
        for (const QRegularExpressionMatch& m : option.globalMatch(text))
            names.insert(m.captured(1));
        return names;
    };
    auto manPage = [](const char* name) {
        QString text = QString::fromUtf8(testutil::readAll(QStringLiteral(ACCEL3_MAN_PAGES "/") + QLatin1String(name)));
        // Commands of other programs the page quotes (udevadm, run with sudo) bring their own options.
        static const QRegularExpression quoted(QStringLiteral("^.*sudo .*$"), QRegularExpression::MultilineOption);
        return text.remove(quoted).replace(QStringLiteral("\\-"), QStringLiteral("-"));
    };

    // axdtool: the usage text and every command's help.
    const QString axdtoolPage = manPage("axdtool.1");
    const ToolRun all = axdtool({QStringLiteral("help")});
    QString axdtoolHelp = all.out;
    static const QRegularExpression command(QStringLiteral("^  ([a-z]+) "), QRegularExpression::MultilineOption);
    for (const QRegularExpressionMatch& m : command.globalMatch(all.out)) {
        const QString name = m.captured(1);
        EXPECT_TRUE(axdtoolPage.contains(QStringLiteral(".B axdtool ") + name)) << name.toStdString();
        axdtoolHelp += axdtool({QStringLiteral("help"), name}).out;
    }
    QProcess boardsim;
    boardsim.start(QCoreApplication::applicationDirPath() + QStringLiteral("/accel3-boardsim"), {QStringLiteral("--help")});
    ASSERT_TRUE(boardsim.waitForFinished(30000));

    const struct {
        const char* page;
        QString help;
    } cases[] = {
        {"axdtool.1", axdtoolHelp},
        {"accel3-boardsim.1", QString::fromUtf8(boardsim.readAllStandardOutput())},
        {"accel3.1", app::usageText()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.page);
        const QSet<QString> help = options(c.help);
        EXPECT_GE(help.size(), 2);
        auto sorted = [](const QSet<QString>& set) {
            QStringList list(set.begin(), set.end());
            list.sort();
            return list.join(QLatin1Char(' ')).toStdString();
        };
        EXPECT_EQ(sorted(options(manPage(c.page))), sorted(help));
    }
}
