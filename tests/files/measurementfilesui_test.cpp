#include <QBuffer>
#include <QDir>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <cmath>
#include <cstring>
#include <limits>

#include "acquisition/simulatedboard.h"
#include "acquisition/ui/measurementrun.h"
#include "files/axdfile.h"
#include "files/cp1251.h"
#include "files/ui/measurementfilesui.h"
#include "filesfixture.h"
#include "files/ui/folderbrowserui.h"

using files::MeasurementFilesUi;

namespace {

// Ten frames of X, Y, Z with distinct words.
QByteArray tenFrames()
{
    QByteArray b;
    for (int k = 0; k < 10; ++k) {
        for (int c = 0; c < 3; ++c) {
            const quint16 w = quint16(k * 10 + c) | (c == 2 && k % 3 == 0 ? 0x8000 : 0);
            b += char(w & 0xFF);
            b += char(w >> 8);
        }
    }
    return b;
}

QByteArray streamBytes(const app::TForm1& f)
{
    return QByteArray(reinterpret_cast<const char*>(f.record.sampleStream.data()),
                      qsizetype(f.record.sampleStream.size()));
}

// A measured record as a run leaves it, shown whole on the chart.
void measure(app::TForm1& f)
{
    f.record.sampleStream.clear();
    f.record.sampleStream.append(tenFrames());
    f.record.samplePeriodUs = 625;
    f.record.axisK = {0.5, 0.25, 2};
    f.record.axisC = {1.5, -2, 0};
    f.record.channelLetters = QStringLiteral("XYZ");
    f.record.loadedFromFile = false;
    f.record.startTime = QDateTime(QDate(2023, 5, 17), QTime(10, 20, 31, 400));
    f.chartPart->valuesForTests().channelMask = 7;
    f.chartPart->valuesForTests().firstVisibleIndex = 0;
    f.chartPart->valuesForTests().lastVisibleIndex = 8;
    f.chartPart->valuesForTests().xAxisTitle = QStringLiteral("Время, мс");
    f.chartPart->Chart1->yAxis->setLabel(QStringLiteral("Ускорение, см/с/с"));
    f.measurementFiles->mComment->setPlainText(QStringLiteral("стенд 3\nЗаписаны оси Y"));
}

// A measurement file of `frames` frames of X, Y and Z.
void writeFrames(const QString& path, int frames, double periodUs = 625)
{
    std::vector<std::uint8_t> data(std::size_t(frames) * 6);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = std::uint8_t(i % 2 ? 0 : i % 200);
    files::AxdWriteSource src;
    src.header.typeWord = 0x8003;
    src.header.channelMask = 7;
    src.header.samplePeriodUs = periodUs;
    src.axisK = {1, 1, 1};
    src.xAxisTitle = QStringLiteral("Время, мкс");
    src.yAxisTitle = QStringLiteral("g");
    src.data = data;
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    ASSERT_TRUE(files::writeAxd(out, src));
    ASSERT_TRUE(testutil::writeAll(path, out.data()));
}

// The simulated board behind the window, and a run of `samples` frames of X, Y and Z to the
// computer (target 0) or to the board's memory (1), started as the operator starts it.
void startRun(app::TForm1& f, int target, int samples = 320)
{
    for (QCheckBox* b : f.setupPanel->channelBoxes)
        b->setChecked(true);
    f.setupPanel->rgMem->setItemIndex(target);
    f.setupPanel->seSamples->setValue(samples);
    f.measurementRun->btStartPlus->click();
}

// Polls as the receive timer would, until the transfer under way has ended.
void pollToTheEnd(app::TForm1& f, platform::ManualTicks& ticks)
{
    for (int polls = 0; f.measurementRun->timRx->isActive() && polls < 100; ++polls) {
        ticks.advance(std::uint32_t(f.measurementRun->timRx->interval()));
        f.measurementRun->timRxTimer();
    }
}

// Zooms twice into the middle of the time axis and paints: a stretch the save would keep.
void zoomIn(app::TForm1& f)
{
    f.chartPart->Chart1->replot();
    const display::ValueRange x = f.chartPart->Chart1->bottomRange();
    f.chartPart->Chart1->zoomTimeAround(0.5, (x.lo + x.hi) / 2);
    f.chartPart->Chart1->zoomTimeAround(0.5, (x.lo + x.hi) / 2);
    f.chartPart->Chart1->replot();
}

} // namespace

TEST_F(FilesWindowTest, AnAmpersandInAFileNameIsShownInTheCaption)
{
    // A caption would take "&" for the mark of a shortcut letter and swallow it.
    const QString path = file(QStringLiteral("с пробелом & знаки.axd"));
    const QString caption = QStringLiteral("ФАЙЛ с пробелом && знаки.axd");
    auto f = make();
    measure(*f);
    dialogs.saveAnswers = {path};
    f->measurementFiles->btSaveClick();
    EXPECT_EQ(f->measurementFiles->gbFile->title(), caption) << "after the save";
    f->measurementFiles->gbFile->setTitle(QString());
    f->measurementFiles->loadWithoutDialog(path);
    EXPECT_EQ(f->measurementFiles->gbFile->title(), caption) << "after the load";
}

TEST_F(FilesWindowTest, ASavedMeasurementLoadsBackWhole)
{
    const QString path = file(QStringLiteral("m.axd"));
    {
        auto f = make();
        measure(*f);
        dialogs.saveAnswers = {path};
        f->measurementFiles->btSaveClick();
        EXPECT_EQ(f->measurementFiles->gbFile->title(), QStringLiteral("ФАЙЛ m.axd"));
        EXPECT_EQ(f->measurementFiles->mComment->toPlainText(), QStringLiteral("стенд 3\nЗаписаны оси XYZ"));
        EXPECT_EQ(f->measurementFiles->lastSaveName, path);
        EXPECT_TRUE(f->measurementFiles->currentFileName.isEmpty())
            << "a save does not change the current file";
        EXPECT_EQ(
            dialogs.fileDialogs.back().spec.filter,
            QStringLiteral(
                "Accelerometer files|*.axd|Save to Text file|*.txt|Save to CSV-file|*.csv|All files|*.*"));
        EXPECT_TRUE(dialogs.fileDialogs.back().spec.confirmOverwrite);
    }
    const QByteArray bytes = testutil::readAll(path);
    ASSERT_GT(bytes.size(), 17);
    EXPECT_EQ(bytes.left(2), QByteArray("\x03\x80", 2)) << "nothing loaded yet: 0x8003";
    EXPECT_EQ(files::readAxdFile(path).contents.xAxisTitle, QStringLiteral("Время, мс"));

    auto g = make();
    g->setupPanel->cbCh2->setChecked(false);
    g->measurementFiles->mComment->setPlainText(QStringLiteral("другое"));
    dialogs.openAnswers = {path};
    g->measurementFiles->btLoadFileClick();
    EXPECT_TRUE(dialogs.messages.empty()) << dialogs.messageTexts().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(streamBytes(*g), tenFrames()) << "frames F..L+1 of a fully shown chart are every frame";
    EXPECT_EQ(g->record.samplePeriodUs, 625.0);
    EXPECT_EQ(g->record.axisK, (std::array<double, 3>{0.5, 0.25, 2}));
    EXPECT_EQ(g->record.axisC, (std::array<double, 3>{1.5, -2, 0}));
    for (QCheckBox* b : g->setupPanel->channelBoxes)
        EXPECT_TRUE(b->isChecked());
    EXPECT_EQ(g->measurementFiles->mComment->toPlainText(), QStringLiteral("стенд 3\nЗаписаны оси XYZ"));
    EXPECT_EQ(g->chartPart->values().yAxisTitle, QStringLiteral("Ускорение, см/с/с"));
    EXPECT_EQ(g->record.startTime, QDateTime(QDate(2023, 5, 17), QTime(10, 20, 30)));
    EXPECT_TRUE(g->record.loadedFromFile);
    EXPECT_EQ(g->measurementFiles->currentFileName, path);
    EXPECT_EQ(g->measurementFiles->gbFile->title(), QStringLiteral("ФАЙЛ m.axd"));
    EXPECT_TRUE(g->folderBrowser->btPrevFile->isEnabled());
    EXPECT_TRUE(g->folderBrowser->btNextFile->isEnabled());
    EXPECT_TRUE(g->folderBrowser->btShowCmnt->isEnabled());
    EXPECT_FALSE(g->measurementFiles->plainTypeWord);
}

TEST_F(FilesWindowTest, ChannelsOfTheFileAndAZoomedStretch)
{
    const QString path = file(QStringLiteral("xz.axd"));
    auto f = make();
    measure(*f);
    // A record of X and Z: the boxes follow the stream's layout.
    f->setupPanel->cbCh2->setChecked(false);
    f->record.channelLetters = QStringLiteral("XZ");
    // Zoomed onto points 2..5 of the chart built and painted from it.
    f->resize(900, 600);
    f->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(f.get()));
    f->chartPart->ShowChart(nullptr);
    const double x2 = f->chartPart->Chart1->xValue(display::Series::X, 2);
    const double x5 = f->chartPart->Chart1->xValue(display::Series::X, 5);
    f->chartPart->Chart1->zoomTo({x2 - 1, x5 + 1}, {-1e6, 1e6});
    ASSERT_EQ(f->chartPart->values().firstVisibleIndex, 2);
    ASSERT_EQ(f->chartPart->values().lastVisibleIndex, 5);
    dialogs.saveAnswers = {path};
    f->measurementFiles->btSaveClick();

    const files::AxdReadResult r = files::readAxdFile(path);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.contents.header.channelMask, 5);
    // Frames 2..6 of a 4-byte frame: bytes 8..28.
    EXPECT_EQ(r.contents.header.dataLength, 20u);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(r.contents.data.data()), 20), tenFrames().mid(8, 20));

    auto g = make();
    dialogs.openAnswers = {path};
    g->measurementFiles->btLoadFileClick();
    EXPECT_TRUE(g->setupPanel->cbCh1->isChecked());
    EXPECT_FALSE(g->setupPanel->cbCh2->isChecked());
    EXPECT_TRUE(g->setupPanel->cbCh3->isChecked());
}

TEST_F(FilesWindowTest, SavingAgainKeepsOneAxesLineAndOneRemark)
{
    const QString path = file(QStringLiteral("s.axd"));
    auto f = make();
    measure(*f);
    dialogs.saveAnswers = {path};
    f->measurementFiles->btSaveClick();
    dialogs.openAnswers = {path};
    f->measurementFiles->btLoadFileClick();

    f->chartPart->seSmooth->setValue(8);
    f->chartPart->cbSmooth->setChecked(true);
    dialogs.saveAnswers = {path};
    f->measurementFiles->btSaveClick();
    f->chartPart->seSmooth->setValue(500);
    dialogs.saveAnswers = {path};
    f->measurementFiles->btSaveClick();
    const QString remark =
        QStringLiteral(". Перед сохранением файла ГРАФИК просматривался при сглаживании с весом ");
    EXPECT_EQ(f->measurementFiles->mComment->toPlainText(),
              QStringLiteral("стенд 3\nЗаписаны оси XYZ") + remark + QStringLiteral("500"));
    const files::AxdReadResult r = files::readAxdFile(path);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.contents.comment, f->measurementFiles->mComment->toPlainText());
}

TEST_F(FilesWindowTest, TypeWordFollowsTheLastFileLoaded)
{
    auto f = make();
    measure(*f);
    const QString plain = file(QStringLiteral("plain.axd"));
    dialogs.saveAnswers = {plain};
    f->measurementFiles->btSaveClick();
    QByteArray bytes = testutil::readAll(plain);
    bytes[1] = 0; // as an older program wrote it: 0x0003
    ASSERT_TRUE(testutil::writeAll(plain, bytes));

    struct Step {
        const char* load;
        const char* save;
        QByteArray typeWord;
    } steps[] = {
        {"plain.axd", "a.axd", QByteArray("\x03\x00", 2)},
        {nullptr, "b.axd", QByteArray("\x03\x00", 2)}, // a new measurement keeps it
        {"b.axd", "c.axd", QByteArray("\x03\x00", 2)},
        {"plain.axd", "d.axd", QByteArray("\x03\x00", 2)},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.save);
        if (s.load) {
            dialogs.openAnswers = {file(QString::fromUtf8(s.load))};
            f->measurementFiles->btLoadFileClick();
        } else {
            measure(*f);
        }
        dialogs.saveAnswers = {file(QString::fromUtf8(s.save))};
        f->measurementFiles->btSaveClick();
        EXPECT_EQ(testutil::readAll(file(QString::fromUtf8(s.save))).left(2), s.typeWord);
    }
}

TEST_F(FilesWindowTest, AFailedLoadLeavesEverythingAsItWas)
{
    auto f = make();
    measure(*f);
    const QString good = file(QStringLiteral("good.axd"));
    dialogs.saveAnswers = {good};
    f->measurementFiles->btSaveClick();
    const QByteArray saved = testutil::readAll(good);

    const QString cut = file(QStringLiteral("cut.axd"));
    ASSERT_TRUE(testutil::writeAll(cut, saved.left(saved.size() - 40)));
    QByteArray huge = saved;
    huge.replace(5, 4, QByteArray("\xF0\xFF\xFF\x7F", 4));
    const QString claims = file(QStringLiteral("claims.axd"));
    ASSERT_TRUE(testutil::writeAll(claims, huge));
    const QString foreign = file(QStringLiteral("foreign.axd"));
    ASSERT_TRUE(testutil::writeAll(foreign, QByteArray("\x01\x80") + saved.mid(2)));
    const QString missing = file(QStringLiteral("missing.axd"));
    const QString folder = file(QStringLiteral("folder.axd"));
    ASSERT_TRUE(QDir().mkpath(folder));
    // Times, frequencies, spectrum and trend all divide by the sampling period.
    auto withPeriod = [&](const char* name, double period) {
        QByteArray b = saved;
        std::memcpy(b.data() + 9, &period, 8);
        const QString path = file(QString::fromUtf8(name));
        EXPECT_TRUE(testutil::writeAll(path, b));
        return path;
    };
    const QString zero = withPeriod("zero.axd", 0.0);
    const QString negative = withPeriod("negative.axd", -625.0);
    const QString nan = withPeriod("nan.axd", std::numeric_limits<double>::quiet_NaN());
    const QString tiny = withPeriod("tiny.axd", 5e-324);
    // X's calibration factor, the first double after the header, as not a number.
    QByteArray nanK = saved;
    const double notANumber = std::numeric_limits<double>::quiet_NaN();
    std::memcpy(nanK.data() + 17, &notANumber, 8);
    const QString nanFactor = file(QStringLiteral("nan-k.axd"));
    ASSERT_TRUE(testutil::writeAll(nanFactor, nanK));

    struct Case {
        QString path;
        QString message;
        bool errorBox;
    } cases[] = {
        // The message, then why.
        {cut, QStringLiteral("Stream read error: файл обрывается на байте "), true},
        {claims, QStringLiteral("Stream read error: файл обрывается на байте "), true},
        {missing, QStringLiteral("Cannot open file ") + missing + QStringLiteral(": Файл или папка не найдены"), true},
        {folder, QStringLiteral("Cannot open file ") + folder + QStringLiteral(": это папка"), true},
        {foreign, QString::fromUtf8(files::kForeignFileMessage), false},
        {zero, files::badSamplePeriodMessage(zero, 0), false},
        {negative, files::badSamplePeriodMessage(negative, -625), false},
        {nan, files::badSamplePeriodMessage(nan, std::nan("")), false},
        {tiny, files::notFiniteFileMessage(tiny), false},
        {nanFactor, files::notFiniteFileMessage(nanFactor), false},
    };
    // The current file, then a record of X and Y of another measurement, with its own comment.
    dialogs.openAnswers = {good};
    f->measurementFiles->btLoadFileClick();
    f->record.sampleStream.clear();
    f->record.sampleStream.append(QByteArray("\x01\x00\x02\x00", 4));
    f->setupPanel->cbCh3->setChecked(false);
    f->measurementFiles->mComment->setPlainText(QStringLiteral("текущий"));
    f->measurementFiles->gbFile->setTitle(QStringLiteral("Комментарий"));
    const auto k = f->record.axisK;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        dialogs.messages.clear();
        dialogs.openAnswers = {c.path};
        f->measurementFiles->btLoadFileClick();
        ASSERT_EQ(dialogs.messages.size(), 1u);
        EXPECT_TRUE(dialogs.messages[0].text.startsWith(c.message)) << dialogs.messages[0].text.toStdString();
        EXPECT_EQ(dialogs.messages[0].standardError, c.errorBox);
        EXPECT_EQ(streamBytes(*f), QByteArray("\x01\x00\x02\x00", 4));
        EXPECT_TRUE(f->setupPanel->cbCh1->isChecked());
        EXPECT_TRUE(f->setupPanel->cbCh2->isChecked());
        EXPECT_FALSE(f->setupPanel->cbCh3->isChecked());
        EXPECT_EQ(f->measurementFiles->mComment->toPlainText(), QStringLiteral("текущий"));
        EXPECT_EQ(f->measurementFiles->gbFile->title(), QStringLiteral("Комментарий"));
        EXPECT_EQ(f->measurementFiles->currentFileName, good) << "the export, Copy and Next name it";
        EXPECT_EQ(f->record.axisK, k);
    }
    // A cancelled dialog does nothing at all.
    dialogs.messages.clear();
    f->measurementFiles->btLoadFileClick();
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(streamBytes(*f), QByteArray("\x01\x00\x02\x00", 4));
}

TEST_F(FilesWindowTest, SaveNamesAndTheirFormats)
{
    auto f = make();
    measure(*f);
    struct Case {
        const char* name;
        bool written;
        const char* startsWith;
    } cases[] = {
        {"upper.AXD", true, "\x03\x80"},
        {"export.TXT", true, "\xD0\xE5\xE7"}, // "Рез..." of "Результат измерения"
        {"export.csv", true, "\xD0\xE5\xE7"},
        {"notes.dat", false, nullptr},
        {"noextension", false, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        dialogs.messages.clear();
        const QString path = file(QString::fromUtf8(c.name));
        dialogs.saveAnswers = {path};
        f->measurementFiles->btSaveClick();
        EXPECT_EQ(QFileInfo::exists(path), c.written);
        if (c.written) {
            EXPECT_TRUE(testutil::readAll(path).startsWith(c.startsWith));
            EXPECT_TRUE(dialogs.messages.empty());
            EXPECT_EQ(files::fileModificationTime(path), QDateTime(QDate(2023, 5, 17), QTime(10, 20, 30)));
        } else {
            ASSERT_EQ(dialogs.messages.size(), 1u);
            EXPECT_TRUE(dialogs.messages[0].text.contains(QStringLiteral("*.axd, *.txt и *.csv")));
        }
    }
    // A save that cannot create its file says so and leaves the comment alone.
    dialogs.messages.clear();
    const QString before = f->measurementFiles->mComment->toPlainText();
    dialogs.saveAnswers = {file(QStringLiteral("no/such/folder/m.axd"))};
    f->measurementFiles->btSaveClick();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_TRUE(dialogs.messages[0].standardError);
    EXPECT_TRUE(dialogs.messages[0].text.startsWith(QStringLiteral("Cannot create file")));
    EXPECT_EQ(f->measurementFiles->mComment->toPlainText(), before);
}

TEST_F(FilesWindowTest, ExportHeaderFollowsTheWindow)
{
    auto f = make();
    measure(*f);
    f->measurementFiles->cbDivider->setCurrentIndex(0); // "запятая"
    f->chartPart->cbSmooth->setChecked(true);
    f->chartPart->seSmooth->setValue(16);
    f->setupPanel->cbCh2->setChecked(false);
    f->chartPart->Chart1->xAxis->setLabel(QStringLiteral("Время, мс"));
    f->chartPart->Chart1->setSeriesShown(display::Series::IaI, false);
    f->measurementFiles->cbStoreX->setCurrentIndex(0);
    const QString path = file(QStringLiteral("e.txt"));
    dialogs.saveAnswers = {path};
    f->measurementFiles->btSaveClick();
    const QStringList lines = files::fromCp1251(testutil::readAll(path)).split(QLatin1Char('\r'));
    ASSERT_GE(lines.size(), 12);
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("Результат измерения ")));
    EXPECT_EQ(lines[2], QStringLiteral("1\t1,5\t0,5"));
    EXPECT_EQ(lines[3], QStringLiteral("2\t-2\t0,25"));
    EXPECT_EQ(lines[5], QStringLiteral("Ускорение, см/с/с\t<-name of Y axis"));
    EXPECT_EQ(lines[6], QStringLiteral("Время, мс\t<-name of X axis"));
    EXPECT_EQ(lines[7], QStringLiteral("Выполнено сглаживание с весом 16"));
    EXPECT_EQ(lines[8] + lines[9], QStringLiteral("стенд 3\nЗаписаны оси Y"));
    EXPECT_EQ(lines[11], QStringLiteral("Время, мс\tX\tZ\t"));
    EXPECT_EQ(f->measurementFiles->mComment->toPlainText(), QStringLiteral("стенд 3\nЗаписаны оси Y"))
        << "an export keeps the comment";
}

TEST_F(FilesWindowTest, ADroppedFileLoadsWithItsNameAsItIs)
{
    auto f = make();
    measure(*f);
    const QString path = file(QStringLiteral("Mixed Case.AXD"));
    dialogs.saveAnswers = {path};
    f->measurementFiles->btSaveClick();
    f->measurementFiles->mComment->clear();
    f->record.sampleStream.clear();

    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(path), QUrl::fromLocalFile(file(QStringLiteral("other.axd")))});
    // As the desktop delivers a drop: the drag enters the window, then the files are let go.
    QDragEnterEvent enter(QPoint(100, 300), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(f.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(100, 300), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(f.get(), &drop);
    EXPECT_TRUE(drop.isAccepted());
    EXPECT_EQ(f->measurementFiles->currentFileName, path);
    EXPECT_EQ(streamBytes(*f), tenFrames());
    EXPECT_EQ(f->measurementFiles->mComment->toPlainText(), QStringLiteral("стенд 3\nЗаписаны оси XYZ"));
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_TRUE(std::none_of(dialogs.fileDialogs.begin(), dialogs.fileDialogs.end(), [](const auto& d) {
        return d.kind == FakeDialogs::FileDialogKind::Open;
    })) << "a drop asks nothing";
    // The open dialog offers the dropped file next time.
    f->measurementFiles->btLoadFileClick();
    EXPECT_EQ(dialogs.fileDialogs.back().spec.fileName, path);
}

TEST_F(FilesWindowTest, WithEveryChannelHiddenTheWholeRecordIsSavedAndExported)
{
    writeFrames(file(QStringLiteral("short.axd")), 200);
    writeFrames(file(QStringLiteral("long.axd")), 2000);
    auto f = make();
    f->resize(900, 600);
    f->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(f.get()));
    dialogs.openAnswers = {file(QStringLiteral("short.axd"))};
    f->measurementFiles->btLoadFileClick();
    f->chartPart->Chart1->replot();
    ASSERT_EQ(f->chartPart->values().lastVisibleIndex, 198);
    // X, Y and Z switched off in the legend, then the longer record loaded and painted.
    for (display::Series s : f->chartPart->channelSeries) {
        QTest::mouseClick(f->chartPart->Chart1, Qt::LeftButton, {}, f->chartPart->Chart1->legend->item(int(s))->outerRect().center());
        ASSERT_FALSE(f->chartPart->Chart1->isSeriesShown(s));
    }
    dialogs.openAnswers = {file(QStringLiteral("long.axd"))};
    f->measurementFiles->btLoadFileClick();
    f->chartPart->Chart1->replot();
    ASSERT_TRUE(dialogs.messages.empty()) << dialogs.messageTexts().join(QLatin1Char('|')).toStdString();

    dialogs.saveAnswers = {file(QStringLiteral("saved.axd")), file(QStringLiteral("saved.csv"))};
    f->measurementFiles->btSaveClick();
    f->measurementFiles->btSaveClick();
    const files::AxdReadResult r = files::readAxdFile(file(QStringLiteral("saved.axd")));
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.contents.header.dataLength, 2000u * 6);
    const QStringList lines = files::fromCp1251(testutil::readAll(file(QStringLiteral("saved.csv"))))
                                  .split(QLatin1Char('\r'), Qt::SkipEmptyParts);
    const auto header = lines.indexOf(f->chartPart->Chart1->xAxis->label() + QStringLiteral(";X;Y;Z;IaI;"));
    ASSERT_GE(header, 0);
    EXPECT_EQ(lines.size() - header - 1, 1999) << "every point the chart holds";
}

// A file larger than one piece of the reader is read with the message loop running: the status
// bar says so, and whatever the operator does meanwhile, at whichever piece, takes over. The read
// is then dropped unseen, and the window shows what it holds: the file opened or dropped instead,
// a run's empty record under no file's name, which is never saved, or, for a memory read that has
// brought no recording yet, the file shown before, still savable. An empty record stays empty as a
// run starts, so only the record's generation can tell the read that it has gone.
TEST_F(FilesWindowTest, ALargeFileIsReadWithTheWindowResponsive)
{
    const QString shown = file(QStringLiteral("shown.axd"));
    const QString big = file(QStringLiteral("big.axd"));
    const QString second = file(QStringLiteral("second.axd"));
    writeFrames(shown, 100);
    writeFrames(big, int(2 * files::kAxdReadPiece / 6) + 100);
    writeFrames(second, 0);
    struct Case {
        const char* what;
        std::function<void(app::TForm1&)> meanwhile;
        QString current; // the file name afterwards
        QString title;
        bool shownKept = false; // the file shown before the big one stays the record
    } cases[] = {
        {"a second Открыть",
         [&](app::TForm1& w) {
             dialogs.openAnswers = {second};
             w.measurementFiles->btLoadFile->click();
         },
         second, QStringLiteral("ФАЙЛ second.axd")},
        {"a drop", [&](app::TForm1& w) { w.measurementFiles->dropFile(second); }, second,
         QStringLiteral("ФАЙЛ second.axd")},
        {"Считать", [](app::TForm1& w) { w.measurementRun->btRd->click(); }, shown, QStringLiteral("ФАЙЛ shown.axd"),
         true},
        {"a run", [](app::TForm1& w) { startRun(w, 0, 20000); }, shown, QStringLiteral("Комментарий")},
        {"the window closed", [](app::TForm1& w) { w.close(); }, shown, {}},
    };
    for (int moment : {0, 1}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(QStringLiteral("%1 at piece %2").arg(QString::fromUtf8(c.what)).arg(moment).toStdString());
            auto f = make();
            f->measurementRun->device().setBackend(std::make_unique<acq::SimulatedBoard>(ticks));
            dialogs.openAnswers = {shown};
            f->measurementFiles->btLoadFile->click();
            const QString usual = f->status->panelText(1);
            QString statusWhileReading;
            // Each step waits for the next turn of the message loop, which the read gives it
            // between two pieces.
            std::function<void(int)> after = [&](int steps) {
                if (steps > 0) {
                    QTimer::singleShot(0, f.get(), [&after, steps] { after(steps - 1); });
                    return;
                }
                statusWhileReading = f->status->panelText(1);
                c.meanwhile(*f);
            };
            QTimer::singleShot(0, f.get(), [&] { after(moment); });
            dialogs.openAnswers = {big};
            f->measurementFiles->btLoadFile->click();
            ASSERT_EQ(statusWhileReading, files::kReadingFileText) << "the read was still under way";
            EXPECT_TRUE(dialogs.messages.empty()) << dialogs.messageTexts().join(QLatin1Char('|')).toStdString();
            EXPECT_EQ(f->measurementFiles->currentFileName, c.current);
            EXPECT_EQ(f->record.sampleStream.size(), c.shownKept ? 100u * 6 : 0u) << "the big file never becomes the record";
            EXPECT_NE(f->status->panelText(1), files::kReadingFileText);
            if (c.title.isEmpty())
                continue;
            EXPECT_EQ(f->measurementFiles->gbFile->title(), c.title);
            EXPECT_EQ(f->record.loadedFromFile, c.current == second || c.shownKept);
            if (c.current == second) {
                EXPECT_EQ(f->status->panelText(1), usual);
            }
            const QString out = file(QStringLiteral("out.axd"));
            dialogs.saveAnswers = {out};
            f->measurementFiles->btSave->click();
            EXPECT_EQ(QFileInfo::exists(out), c.shownKept) << "the empty record is not saved";
            EXPECT_EQ(dialogs.messages.size(), c.shownKept ? 0u : 1u) << dialogs.messageTexts().join(QLatin1Char('|')).toStdString();
            dialogs.messages.clear();
            QFile::remove(out);
        }
    }
}

// A zoom belongs to the record it was made on: whichever way the next record comes, it opens
// whole, without a way back into the old views, and a save writes all of it. A zoom into the
// record itself is saved as shown, and the status bar says so.
TEST_F(FilesWindowTest, ANewRecordOpensWholeAndIsSavedWhole)
{
    writeFrames(file(QStringLiteral("a.axd")), 2000);
    writeFrames(file(QStringLiteral("b.axd")), 3000);
    struct Case {
        const char* what;
        std::function<void(app::TForm1&)> replace;
        std::uint64_t bytes; // the new record's
    } cases[] = {
        {"Открыть",
         [&](app::TForm1& w) {
             dialogs.openAnswers = {file(QStringLiteral("b.axd"))};
             w.measurementFiles->btLoadFile->click();
         },
         3000 * 6},
        {"the next file of the folder", [](app::TForm1& w) { w.folderBrowser->btNextFile->click(); }, 3000 * 6},
        {"a drop", [&](app::TForm1& w) { w.measurementFiles->dropFile(file(QStringLiteral("b.axd"))); }, 3000 * 6},
        {"a run",
         [&](app::TForm1& w) {
             startRun(w, 0);
             pollToTheEnd(w, ticks);
         },
         320 * 6},
        {"Считать",
         [&](app::TForm1& w) {
             w.measurementRun->btRd->click();
             pollToTheEnd(w, ticks);
         },
         256 * 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto f = make();
        f->measurementRun->device().setBackend(std::make_unique<acq::SimulatedBoard>(ticks));
        f->resize(900, 600);
        f->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(f.get()));
        // A recording waits in the board's memory for "Считать".
        startRun(*f, 1, 256);
        pollToTheEnd(*f, ticks);
        f->measurementRun->timRx->stop();
        dialogs.openAnswers = {file(QStringLiteral("a.axd"))};
        f->measurementFiles->btLoadFile->click();
        zoomIn(*f);
        ASSERT_GT(f->chartPart->values().firstVisibleIndex, 0);

        c.replace(*f);
        f->chartPart->Chart1->replot();
        ASSERT_EQ(f->record.sampleStream.size(), c.bytes);
        EXPECT_FALSE(f->chartPart->Chart1->isZoomed());
        EXPECT_EQ(f->chartPart->Chart1->zoomHistorySize(), 0);
        const QString saved = file(QStringLiteral("saved.axd"));
        dialogs.saveAnswers = {saved};
        f->measurementFiles->btSave->click();
        const files::AxdReadResult r = files::readAxdFile(saved);
        ASSERT_TRUE(r.ok()) << dialogs.messageTexts().join(QLatin1Char('|')).toStdString();
        EXPECT_EQ(r.contents.header.dataLength, c.bytes);
        EXPECT_TRUE(dialogs.messages.empty()) << dialogs.messageTexts().join(QLatin1Char('|')).toStdString();

        // Zoomed into this record: the visible stretch, and the status bar tells.
        zoomIn(*f);
        dialogs.saveAnswers = {saved};
        f->measurementFiles->btSave->click();
        const std::uint64_t frames = files::readAxdFile(saved).contents.header.dataLength / 6;
        EXPECT_LT(frames, c.bytes / 6);
        EXPECT_EQ(f->status->panelText(1),
                  QStringLiteral("Записан видимый участок: %1 из %2 кадров").arg(frames).arg(c.bytes / 6));
    }
}

// A record that is still arriving, or that has no samples, is never written: the operator is
// told why, and is not even asked for a file name.
TEST_F(FilesWindowTest, SaveIsRefusedWhileReceivingOrWithoutData)
{
    struct Case {
        const char* what;
        std::function<void(app::TForm1&)> before;
        QString says;
        bool fileShown = true; // a file is shown when it begins
    } cases[] = {
        {"nothing measured or opened", [](app::TForm1&) {}, QStringLiteral("нет данных"), false},
        {"a run to the computer half received",
         [&](app::TForm1& w) {
             startRun(w, 0, 20000);
             ticks.advance(std::uint32_t(w.measurementRun->timRx->interval()));
             w.measurementRun->timRxTimer();
             ASSERT_GT(w.record.receivedBytes, 0u);
         },
         QStringLiteral("идёт приём")},
        {"a run to memory before Считать", [](app::TForm1& w) { startRun(w, 1, 256); },
         QStringLiteral("«Считать»")},
        {"a run to memory whose time is up",
         [&](app::TForm1& w) {
             startRun(w, 1, 256);
             ticks.advance(std::uint32_t(w.measurementRun->timRx->interval()));
             w.measurementRun->timRxTimer();
         },
         QStringLiteral("«Считать»")},
        // The record shown stays until a recording comes: here the run to memory's, empty.
        {"Считать pressed, nothing read yet",
         [&](app::TForm1& w) {
             startRun(w, 1, 256);
             w.measurementRun->timRx->stop();
             w.measurementRun->btRd->click();
         },
         QStringLiteral("нет данных")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto f = make();
        f->measurementRun->device().setBackend(std::make_unique<acq::SimulatedBoard>(ticks));
        // The window shows a file whose comment and name must not be given to another record.
        writeFrames(file(QStringLiteral("shown.axd")), 100);
        dialogs.openAnswers = {file(QStringLiteral("shown.axd"))};
        if (c.fileShown)
            f->measurementFiles->btLoadFile->click();
        c.before(*f);
        dialogs.messages.clear();
        dialogs.fileDialogs.clear();
        const QString title = f->measurementFiles->gbFile->title();
        for (const char* name : {"r.axd", "r.csv"}) {
            dialogs.saveAnswers = {file(QString::fromLatin1(name))};
            f->measurementFiles->btSave->click();
            EXPECT_FALSE(QFileInfo::exists(file(QString::fromLatin1(name)))) << name;
        }
        EXPECT_TRUE(dialogs.fileDialogs.empty()) << "no file name is asked for";
        ASSERT_EQ(dialogs.messages.size(), 2u);
        EXPECT_TRUE(dialogs.messages.front().text.contains(c.says)) << dialogs.messages.front().text.toStdString();
        EXPECT_EQ(f->measurementFiles->gbFile->title(), title);
    }
}

// Unticking a channel box only hides its trace: a chart rebuilt afterwards still reads the
// record's frames as they were laid out, and a save writes them under their own channels.
TEST_F(FilesWindowTest, AnUntickedChannelHidesItsTraceWithoutReframingTheRecord)
{
    const std::pair<const char*, std::function<void(app::TForm1&)>> cases[] = {
        {"a run",
         [&](app::TForm1& w) {
             startRun(w, 0);
             pollToTheEnd(w, ticks);
         }},
        {"a file",
         [&](app::TForm1& w) {
             writeFrames(file(QStringLiteral("xyz.axd")), 300);
             w.measurementFiles->loadWithoutDialog(file(QStringLiteral("xyz.axd")));
         }},
    };
    const auto values = [](const app::TForm1& w, display::Series s) {
        const double* y = w.chartPart->Chart1->yValues(s);
        return y ? std::vector<double>(y, y + w.chartPart->Chart1->pointCount(s)) : std::vector<double>{};
    };
    for (const auto& [what, measure] : cases) {
        SCOPED_TRACE(what);
        auto f = make();
        f->measurementRun->device().setBackend(std::make_unique<acq::SimulatedBoard>(ticks));
        measure(*f);
        const std::uint64_t bytes = f->record.sampleStream.size();
        ASSERT_GT(bytes, 0u);
        const auto y = values(*f, display::Series::Y);
        const auto z = values(*f, display::Series::Z);
        ASSERT_FALSE(y.empty());

        f->setupPanel->cbCh1->click();
        ASSERT_FALSE(f->setupPanel->cbCh1->isChecked());
        f->chartPart->cbTimeunits->setCurrentIndex(2);
        emit f->chartPart->cbTimeunits->activated(2);
        QCoreApplication::processEvents();

        EXPECT_EQ(values(*f, display::Series::Y), y);
        EXPECT_EQ(values(*f, display::Series::Z), z);
        EXPECT_FALSE(f->chartPart->Chart1->isSeriesShown(display::Series::X));

        const QString saved = file(QStringLiteral("saved.axd"));
        dialogs.saveAnswers = {saved};
        f->measurementFiles->btSaveClick();
        const files::AxdReadResult r = files::readAxdFile(saved);
        ASSERT_TRUE(r.ok());
        EXPECT_EQ(r.contents.header.channelMask, 7);
        EXPECT_EQ(r.contents.header.dataLength, bytes);
    }
}
