#include "files/ui/measurementfilesui.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QCoreApplication>
#include <QMimeData>
#include <QPointer>
#include <QShortcut>
#include <QUrl>

#include <bit>
#include <cmath>

#include "acquisition/ui/measurementrun.h"
#include "acquisition/ui/setuppanel.h"
#include "app/ui/mainwindow.h"
#include "display/ui/signalchart.h"
#include "files/savefile.h"
#include "files/ui/exportprogress.h"
#include "files/ui/folderbrowserui.h"
#include "files/ui/journalui.h"
#include "platform/ui/dialogs.h"

namespace files {

namespace {

const QString kWrongExtensionMessage = QStringLiteral(
    "Файл не записан: программа записывает файлы *.axd, *.txt и *.csv. Укажите имя файла с одним из этих "
    "расширений.");

platform::FileDialogSpec saveDialogSpec()
{
    platform::FileDialogSpec spec;
    spec.filter = QStringLiteral(
        "Accelerometer files|*.axd|Save to Text file|*.txt|Save to CSV-file|*.csv|All files|*.*");
    spec.defaultExtension = QStringLiteral("axd");
    spec.initialFolder = QStringLiteral("Data");
    spec.confirmOverwrite = true;
    return spec;
}

// A caption takes "&" as the mark of its shortcut letter: a file's "&" is doubled to be shown.
QString fileCaption(const QString& path)
{
    return QStringLiteral("ФАЙЛ ") + QFileInfo(path).fileName().replace(QLatin1Char('&'), QStringLiteral("&&"));
}

} // namespace

const QString kReadingFileText = QStringLiteral("Чтение файла…");
const QString kCommentTitle = QStringLiteral("Комментарий");

QString badSamplePeriodMessage(const QString& path, double periodUs)
{
    return QStringLiteral("Файл %1 не открыт: период выборки в нём (%2 мкс) должен быть положительным числом.")
        .arg(QFileInfo(path).fileName(), QString::number(periodUs));
}

QString notFiniteFileMessage(const QString& path)
{
    return QStringLiteral("Файл %1 не открыт: период выборки или калибровка в нём дают значения, "
                          "которые не являются конечными числами.")
        .arg(QFileInfo(path).fileName());
}

platform::FileDialogSpec openDialogSpec(const QString& fileName)
{
    platform::FileDialogSpec spec;
    spec.filter = QStringLiteral("Accelerometer files|*.axd|All files|*.*");
    spec.defaultExtension = QStringLiteral("axd");
    spec.initialFolder = QStringLiteral("Data");
    spec.fileName = fileName;
    return spec;
}

MeasurementFilesUi::MeasurementFilesUi(app::TForm1& form)
    : form_(form), exportProgress_(new ExportProgressPanel(&form, form.Chart1, form.services().ticks))
{
    connect(form.btSave, &QToolButton::clicked, this, [this] { btSaveClick(); });
    connect(form.btLoadFile, &QToolButton::clicked, this, [this] { btLoadFileClick(form_.btLoadFile); });
    connect(form.btCopy, &QToolButton::clicked, this, [this] { btCopyClick(); });
    // The keys of every other program; a disabled button ignores its key as it ignores a click.
    new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_O), &form, [&form] { form.btLoadFile->click(); });
    new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_S), &form, [&form] { form.btSave->click(); });
    // TAB is the field separator of the text exports the comment goes into: Tab moves on instead.
    form.mComment->setTabChangesFocus(true);
    form.installEventFilter(this);
    // A run or a memory read replaces the record: it is no longer the file's, nor named after it.
    if (form.measurementRun)
        connect(form.measurementRun.get(), &acq::MeasurementRun::transferBegun, this, [this] {
            form_.record.loadedFromFile = false;
            form_.gbFile->setTitle(kCommentTitle);
        });
}

SaveState MeasurementFilesUi::saveState() const
{
    SaveState s;
    if (const acq::MeasurementRun* run = form_.measurementRun.get()) {
        s.receiving = run->isReceiving();
        s.awaitingMemoryRead = run->recordingAwaitsRead();
    }
    // The frames as the chart was built from them: a save writes that layout.
    const int channels = std::popcount(unsigned(form_.channelMask & 7));
    if (channels > 0)
        s.frames = form_.record.sampleStream.size() / (std::uint64_t(channels) * 2);
    return s;
}

bool MeasurementFilesUi::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == &form_) {
        if (event->type() == QEvent::DragEnter) {
            auto* e = static_cast<QDragEnterEvent*>(event);
            const QMimeData* m = e->mimeData();
            if (m && m->hasUrls() && !m->urls().isEmpty() && m->urls().first().isLocalFile()) {
                e->acceptProposedAction();
                return true;
            }
        } else if (event->type() == QEvent::Drop) {
            auto* e = static_cast<QDropEvent*>(event);
            const QMimeData* m = e->mimeData();
            if (m && m->hasUrls() && !m->urls().isEmpty() && m->urls().first().isLocalFile()) {
                e->acceptProposedAction();
                // Only the first of several dropped files is loaded.
                dropFile(m->urls().first().toLocalFile());
                return true;
            }
        }
    }
    return QObject::eventFilter(watched, event);
}

void MeasurementFilesUi::dropFile(const QString& path)
{
    // The path stays as it is: this file system tells "A.axd" from "a.axd".
    openDialogFileName_ = path;
    loadWithoutDialog(path);
}

void MeasurementFilesUi::closeSetupPanel()
{
    // Closed as its own button closes it.
    if (form_.gbFT->isVisible() && form_.setupPanel)
        form_.setupPanel->btChooseFClick();
}

void MeasurementFilesUi::btLoadFileClick(QObject* sender)
{
    if (sender == form_.folderBrowser->btNextFile || sender == form_.btUSB) {
        loadWithoutDialog(currentFileName);
        return;
    }
    platform::Dialogs* dialogs = form_.services().dialogs;
    closeSetupPanel();
    searchLine = 0;
    const QString path = dialogs ? dialogs->openFile(&form_, openDialogSpec(openDialogFileName_)) : QString();
    if (path.isEmpty())
        return;
    openDialogFileName_ = path;
    loadFile(path);
}

bool MeasurementFilesUi::loadWithoutDialog(const QString& path)
{
    closeSetupPanel();
    searchLine = 0;
    return loadFile(path);
}

bool MeasurementFilesUi::loadFile(const QString& path)
{
    std::optional<AxdContents> c = readChecked(path);
    if (!c)
        return false;
    currentFileName = path;
    header = c->header;
    plainTypeWord = c->header.hasPlainTypeWord();
    takeContents(*c);
    form_.record.loadedFromFile = true;
    // A simulated record saved earlier says so in its own comment.
    form_.record.simulatedBoard = false;

    form_.gbFile->setTitle(fileCaption(currentFileName));
    emit fileLoaded();
    form_.record.startTime = fileModificationTime(currentFileName);
    form_.ShowChart(form_.btLoadFile);
    return true;
}

bool MeasurementFilesUi::openJournal(const JournalEntry& entry, const QString& incompleteWhy)
{
    closeSetupPanel();
    std::optional<AxdContents> c = readChecked(entry.path);
    if (!c)
        return false;
    // The record as a run leaves it: no file's, saved as a new measurement with its own start time.
    takeContents(*c);
    auto& r = form_.record;
    r.loadedFromFile = false;
    r.simulatedBoard = entry.simulated;
    const acq::ChannelSet channels = acq::ChannelSet::fromMask(c->header.channelMask);
    r.calcUseChnl(channels);
    r.channelLetters = channels.letters();
    r.sampleRateHz = 1000000.0 / r.samplePeriodUs;
    r.receivedBytes = std::uint32_t(std::min<std::uint64_t>(r.sampleStream.size(), UINT32_MAX));
    r.expectedBytes =
        std::uint32_t(std::min<std::uint64_t>(std::max(entry.expectedBytes, r.sampleStream.size()), UINT32_MAX));
    r.startTime = entry.startTime;
    form_.mComment->setComment(entry.comment);
    form_.gbFile->setTitle(kCommentTitle);
    if (!incompleteWhy.isEmpty())
        r.markIncomplete(incompleteWhy);
    form_.ShowChart(form_.btLoadFile);
    return true;
}

std::optional<AxdContents> MeasurementFilesUi::readChecked(const QString& path)
{
    platform::Dialogs* dialogs = form_.services().dialogs;
    // The whole file is read and checked first: only a complete measurement file replaces the
    // record, touches the controls and becomes the current file. A refused file must not lend
    // its name to the record still shown, nor its folder to the navigation.
    //
    // A large file is read a piece at a time with the message loop running in between, so that
    // the window repaints and takes clicks. A newer load begun meanwhile (a second "Открыть", the
    // navigation, a drop) or a run replacing the record wins: this read is then dropped unseen.
    const std::uint64_t load = ++loadsBegun_;
    const std::uint64_t generation = form_.record.generation;
    if (readsUnderway_++ == 0)
        statusBeforeRead_ = form_.status->panelText(1);
    form_.status->setPanelText(1, kReadingFileText);
    QPointer<app::TForm1> alive(&form_);
    AxdReadResult r = readAxdFile(path, DataBlock::Read, std::nullopt, [&](std::uint64_t, std::uint64_t) {
        QCoreApplication::processEvents();
        if (!alive || load != loadsBegun_ || form_.record.generation != generation)
            return false;
        // A load that failed meanwhile has put the old text back.
        form_.status->setPanelText(1, kReadingFileText);
        return true;
    });
    if (!alive)
        return std::nullopt;
    --readsUnderway_;
    if (r.status == AxdStatus::Abandoned) {
        // A newer load has set the status text its own way; a run that took over leaves this
        // panel alone, so the reading notice must not stay there for the whole run.
        if (readsUnderway_ == 0 && form_.status->panelText(1) == kReadingFileText)
            form_.status->setPanelText(1, statusBeforeRead_);
        return std::nullopt;
    }
    form_.status->setPanelText(1, statusBeforeRead_);
    if (r.status == AxdStatus::NotMeasurement) {
        if (dialogs)
            dialogs->message(&form_, QString::fromUtf8(kForeignFileMessage));
        return std::nullopt;
    }
    if (!r.ok()) {
        if (dialogs)
            dialogs->error(&form_, r.message(path));
        return std::nullopt;
    }
    const double period = r.contents.header.samplePeriodUs;
    if (!(period > 0) || !std::isfinite(period)) {
        // Every time, frequency, spectrum and trend of the record divides by this period.
        if (dialogs)
            dialogs->message(&form_, badSamplePeriodMessage(path, period));
        return std::nullopt;
    }
    if (!axdNumbersFinite(r.contents)) {
        if (dialogs)
            dialogs->message(&form_, notFiniteFileMessage(path));
        return std::nullopt;
    }
    if (r.contents.commentCut && dialogs)
        dialogs->message(&form_, axdCommentCutMessage(path));
    return std::move(r.contents);
}

void MeasurementFilesUi::takeContents(AxdContents& c)
{
    form_.record.samplePeriodUs = c.header.samplePeriodUs;
    // All boxes on, then off where the mask has no channel; their own handlers follow.
    for (QCheckBox* b : form_.channelBoxes)
        b->setChecked(true);
    const acq::ChannelSet channels = acq::ChannelSet::fromMask(c.header.channelMask);
    for (int i = 0; i < 3; ++i) {
        if (!channels.has(i))
            form_.channelBoxes[i]->setChecked(false);
    }
    form_.record.axisK = c.axisK;
    form_.record.axisC = c.axisC;
    form_.xAxisTitle = c.xAxisTitle;
    form_.yAxisTitle = c.yAxisTitle;
    ++form_.record.generation;
    form_.record.sampleStream = std::move(c.data);
    form_.record.sampleStream.seek(0);
    form_.mComment->setComment(c.comment);
}

void MeasurementFilesUi::btSaveClick()
{
    platform::Dialogs* dialogs = form_.services().dialogs;
    if (!dialogs)
        return;
    // Every save and export passes here first.
    if (const QString refusal = saveRefusal(saveState()); !refusal.isEmpty()) {
        dialogs->message(&form_, refusal);
        return;
    }
    const QString name = dialogs->saveFile(&form_, saveDialogSpec());
    if (name.isEmpty())
        return;
    lastSaveName = name;

    const SaveFormat format = saveFormatFor(name);
    if (format == SaveFormat::None) {
        dialogs->message(&form_, kWrongExtensionMessage);
        return;
    }
    QString stretchNote;
    const bool written = format == SaveFormat::Axd ? writeMeasurementFile(name, stretchNote)
                                                   : writeTextExport(name, format, stretchNote);
    if (!written)
        return;
    // Saved whole, the run no longer needs its journal; a visible stretch or a text export keeps it.
    if (format == SaveFormat::Axd && stretchNote.isEmpty() && form_.journal)
        form_.journal->recordSaved();
    form_.gbFile->setTitle(fileCaption(name));
    setFileStartTime(name, form_.record.startTime);
    // A zoomed chart saves what it shows: the operator learns that the file holds only that.
    if (!stretchNote.isEmpty())
        form_.status->setPanelText(1, stretchNote);
}

bool MeasurementFilesUi::writeMeasurementFile(const QString& path, QString& stretchNote)
{
    AxdHeader h;
    h.typeWord = plainTypeWord ? 0x0003 : 0x8003;
    h.fixedByte2 = 16;
    h.fixedByte3 = 1;
    h.channelMask = form_.channelMask & 7;
    h.samplePeriodUs = form_.record.samplePeriodUs;

    const int frameChannels = std::popcount(unsigned(h.channelMask));
    // Without a selected channel there is no series to take the visible stretch from.
    Stretch stretch;
    if (const int channel = firstSelectedChannel(); channel >= 0) {
        const auto visible = visibleStretch(form_.channelSeries[std::size_t(channel)]);
        stretch = savedStretch(form_.record.sampleStream.size(), frameChannels, visible ? visible->first : -1,
                               visible ? visible->second : -1);
    }

    std::optional<int> smoothing;
    if (form_.cbSmooth->isChecked())
        smoothing = form_.seSmooth->value();
    const QStringList lines =
        withAxesLine(memoLines(form_.mComment->comment()), form_.record.loadedFromFile,
                     form_.record.channelLetters, smoothing, form_.record.simulatedBoard);

    AxdWriteSource src;
    src.header = h;
    src.axisK = form_.record.axisK;
    src.axisC = form_.record.axisC;
    src.xAxisTitle = form_.xAxisTitle;
    src.yAxisTitle = form_.Chart1->yAxis->label();
    src.data = {form_.record.sampleStream.data() + stretch.offset, std::size_t(stretch.length)};
    src.comment = lines.join(QLatin1Char('\n'));

    const QString error = saveAtomically(path, [&src](QIODevice& out) { return writeAxd(out, src); });
    if (!error.isEmpty()) {
        if (form_.services().dialogs)
            form_.services().dialogs->error(&form_, error);
        return false;
    }
    h.dataLength = std::uint32_t(stretch.length);
    header = h;
    if (frameChannels > 0) {
        const std::uint64_t frameBytes = std::uint64_t(frameChannels) * 2;
        stretchNote = visibleStretchText(stretch.length / frameBytes, form_.record.sampleStream.size() / frameBytes);
    }
    form_.yAxisTitle = src.yAxisTitle;
    form_.mComment->setComment(src.comment);
    return true;
}

ExportSource MeasurementFilesUi::chartExportSource() const
{
    const QLocale locale = QLocale::system();
    ExportSource s;
    s.sourceLine = form_.record.loadedFromFile
                       ? fileSourceLine(currentFileName, fileModificationTime(currentFileName), locale)
                       : measurementSourceLine(QDateTime::currentDateTime(), locale);
    s.axisK = form_.record.axisK;
    s.axisC = form_.record.axisC;
    s.leftTitle = form_.Chart1->yAxis->label();
    s.bottomTitle = form_.Chart1->xAxis->label();
    if (form_.cbSmooth->isChecked())
        s.smoothWeight = form_.seSmooth->value();
    s.comment = form_.mComment->comment();
    s.storeX = form_.cbStoreX->currentIndex() == 0;

    const display::SignalChart* chart = form_.Chart1;
    int firstChannel = -1;
    for (int i = 0; i < 3; ++i) {
        if (!form_.channelBoxes[i]->isChecked())
            continue;
        if (firstChannel < 0)
            firstChannel = i;
        const display::Series series = form_.channelSeries[i];
        s.columns.push_back(
            {form_.channelBoxes[i]->text(), chart->yValues(series), chart->pointCount(series)});
    }
    if (chart->isSeriesShown(display::Series::IaI))
        s.columns.push_back({QStringLiteral("IaI"), chart->yValues(display::Series::IaI),
                             chart->pointCount(display::Series::IaI)});

    if (firstChannel < 0) {
        // No channel, no rows.
        s.first = 0;
        s.last = -1;
        return s;
    }
    const display::Series xSeries = form_.channelSeries[firstChannel];
    s.x = [chart, xSeries](std::int64_t i) { return chart->xValue(xSeries, i); };
    if (const auto visible = visibleStretch(xSeries)) {
        s.first = visible->first;
        s.last = visible->second;
    } else {
        s.first = 0;
        s.last = chart->pointCount(xSeries) - 1;
    }
    return s;
}

int MeasurementFilesUi::firstSelectedChannel() const
{
    for (int i = 0; i < 3; ++i) {
        if (form_.channelBoxes[std::size_t(i)]->isChecked())
            return i;
    }
    return -1;
}

std::optional<std::pair<qint64, qint64>> MeasurementFilesUi::visibleStretch(display::Series series) const
{
    // The indices are those the last paint took from the first shown channel series. With every
    // channel series hidden in the legend no paint takes any, and indices left from another
    // record or another build would cut this one short: then the whole record counts.
    const display::SignalChart* chart = form_.Chart1;
    bool anyShown = false;
    for (const display::Series s : form_.channelSeries)
        anyShown = anyShown || chart->isSeriesShown(s);
    const qint64 first = form_.firstVisibleIndex;
    const qint64 last = form_.lastVisibleIndex;
    if (!anyShown || first < 0 || last < first || last >= chart->pointCount(series))
        return std::nullopt;
    return std::pair{first, last};
}

bool MeasurementFilesUi::writeTextExport(const QString& path, SaveFormat format, QString& stretchNote)
{
    const ExportSource src = chartExportSource();
    if (!src.columns.empty() && src.last >= src.first)
        stretchNote = visibleStretchText(std::uint64_t(src.last - src.first + 1),
                                         std::uint64_t(src.columns.front().count));
    const QChar dp = exportDecimalPoint(form_.cbDivider->currentIndex(), QLocale::system());
    const ExportFormat fmt = format == SaveFormat::Csv ? csvFormat(dp) : textFormat(dp);

    // A long export lets the message loop run (see ExportProgressPanel). The values it writes
    // are the chart's own arrays: should they be replaced all the same, it stops before reading
    // them again.
    const display::SignalChart* chart = form_.Chart1;
    auto seriesState = [chart] {
        std::array<std::pair<const double*, qint64>, 4> s;
        for (int i = 0; i < 4; ++i)
            s[std::size_t(i)] = {chart->yValues(display::Series(i)), chart->pointCount(display::Series(i))};
        return s;
    };
    const auto before = seriesState();
    bool replaced = false;
    exportProgress_->begin(path);
    const QString error = saveAtomically(path, [&](QIODevice& out) {
        return writeExport(out, src, fmt, [&](std::int64_t done, std::int64_t rows) {
            if (!exportProgress_->step(done, rows))
                return false;
            replaced = seriesState() != before;
            return !replaced;
        });
    });
    exportProgress_->end();
    if (exportProgress_->cancelled())
        return false; // nothing written: the old file, if any, is as it was
    QString message = error;
    if (replaced)
        message = QStringLiteral("Файл %1 не записан: график перестроен во время записи").arg(path);
    if (!message.isEmpty()) {
        if (form_.services().dialogs)
            form_.services().dialogs->error(&form_, message);
        return false;
    }
    return true;
}

void MeasurementFilesUi::btCopyClick()
{
    platform::Dialogs* dialogs = form_.services().dialogs;
    const QString name = currentFileName;
    const QDateTime time = name.isEmpty() ? QDateTime() : fileModificationTime(name);
    if (!time.isValid()) {
        if (dialogs)
            dialogs->error(&form_, QStringLiteral("Invalid argument to date encode"));
        return;
    }
    // Staged in the hidden memo, then copied whole.
    form_.mClipBoard->setPlainText(form_.mComment->comment());
    form_.mClipBoard->appendPlainText(name + QStringLiteral("  ") + dateTimeText(time, QLocale::system()));
    if (dialogs)
        dialogs->setClipboardText(form_.mClipBoard->toPlainText());
}

} // namespace files
