// A long text export in the window: its progress panel, cancelling it, and the window held still
// meanwhile.

#include <QDir>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include "files/ui/exportprogress.h"
#include "files/ui/measurementfilesui.h"
#include "filesfixture.h"

namespace {

constexpr int kFrames = 30000;

void measureLong(app::TForm1& f)
{
    QByteArray b;
    for (int k = 0; k < kFrames; ++k) {
        for (int c = 0; c < 3; ++c) {
            const quint16 w = quint16((k * 7 + c * 100) % 1024);
            b += char(w & 0xFF);
            b += char(w >> 8);
        }
    }
    f.record.sampleStream.clear();
    f.record.sampleStream.append(b);
    f.record.samplePeriodUs = 312.5;
    f.record.loadedFromFile = false;
    f.chartPart->ShowChart(nullptr);
    f.chartPart->valuesForTests().firstVisibleIndex = 0;
    f.chartPart->valuesForTests().lastVisibleIndex = qint32(f.chartPart->Chart1->pointCount(display::Series::X) - 1);
}

} // namespace

TEST_F(FilesWindowTest, ALongExportShowsItsProgressAndCanBeCancelled)
{
    struct Case {
        const char* what;
        std::uint32_t msPerTick; // how fast the clock runs against the export
        bool oldFile;
        bool cancel;
        bool panelShown;
        bool written;
    } cases[] = {
        {"a quick export shows nothing", 1, true, false, false, true},
        {"a long one shows the panel and runs to the end", 300, false, false, true, true},
        {"cancelled, the old file stays as it was", 300, true, true, true, false},
        {"cancelled, no file is left behind", 300, false, true, true, false},
    };
    auto f = make();
    measureLong(*f);
    files::ExportProgressPanel* panel = f->measurementFiles->exportProgress();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir out;
        const QString path = out.filePath(QStringLiteral("export.txt"));
        if (c.oldFile) {
            ASSERT_TRUE(testutil::writeAll(path, "old"));
        }
        int shown = 0;
        std::size_t dialogsBefore = dialogs.fileDialogs.size();
        const auto connection = QObject::connect(panel, &files::ExportProgressPanel::shownForExport, [&] {
            ++shown;
            EXPECT_FALSE(panel->isHidden());
            // The rest of the window takes no clicks meanwhile: no second dialog opens.
            dialogsBefore = dialogs.fileDialogs.size();
            QTest::mouseClick(f->measurementFiles->btLoadFile, Qt::LeftButton);
            EXPECT_EQ(dialogs.fileDialogs.size(), dialogsBefore);
            if (c.cancel)
                QTest::mouseClick(panel->cancelButton(), Qt::LeftButton);
        });
        ticks.setAutoAdvance(c.msPerTick);
        dialogs.saveAnswers = {path};
        f->measurementFiles->btSaveClick();
        ticks.setAutoAdvance(1);
        QObject::disconnect(connection);

        EXPECT_EQ(shown > 0, c.panelShown);
        EXPECT_TRUE(panel->isHidden()) << "the panel goes when the export ends";
        const QByteArray bytes = testutil::readAll(path);
        if (c.written) {
            EXPECT_EQ(bytes.count('\r'), 10 + kFrames - 1) << "header lines and a row per point";
        } else if (c.oldFile) {
            EXPECT_EQ(bytes, "old");
        } else {
            EXPECT_FALSE(QFileInfo::exists(path));
        }
        EXPECT_EQ(QDir(out.path()).entryList(QDir::Files | QDir::Hidden).size(), (c.written || c.oldFile) ? 1 : 0)
            << "no temporary file remains";
        EXPECT_TRUE(dialogs.messages.empty()) << dialogs.messageTexts().join(QLatin1Char('|')).toStdString();
    }
    // Clicks reach the window again.
    QTest::mouseClick(f->measurementFiles->btLoadFile, Qt::LeftButton);
    EXPECT_EQ(dialogs.fileDialogs.back().kind, FakeDialogs::FileDialogKind::Open);
}
