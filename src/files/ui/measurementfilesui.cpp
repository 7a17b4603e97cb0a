#include "files/ui/measurementfilesui.h"

#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QPointer>
#include <QShortcut>
#include <QUrl>

#include <bit>
#include <cmath>

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QPlainTextEdit>
#include <QStyle>
#include <QToolButton>

#include "acquisition/measurementrecord.h"
#include "app/ui/controls.h"
#include "display/ui/signalchart.h"
#include "files/savefile.h"
#include "files/ui/commentbox.h"
#include "files/ui/exportprogress.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/help.h"

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

constexpr std::array<display::Series, 3> kChannelSeries{display::Series::X, display::Series::Y,
                                                        display::Series::Z};

// A caption takes "&" as the mark of its shortcut letter: a file's "&" is doubled to be shown.
QString fileCaption(const QString& path)
{
    return QStringLiteral("ФАЙЛ ") +
           QFileInfo(path).fileName().replace(QLatin1Char('&'), QStringLiteral("&&"));
}

} // namespace

const QString kReadingFileText = QStringLiteral("Чтение файла…");
const QString kCommentTitle = QStringLiteral("Комментарий");

QString badSamplePeriodMessage(const QString& path, double periodUs)
{
    return QStringLiteral(
               "Файл %1 не открыт: период выборки в нём (%2 мкс) должен быть положительным числом.")
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

MeasurementFilesUi::MeasurementFilesUi(MeasurementFilesHost& host, acq::MeasurementRecord& record,
                                       platform::Dialogs* dialogs, platform::TickSource* ticks,
                                       QFrame* fileBar, QWidget* window)
    : host_(host), record_(record), dialogs_(dialogs), ticks_(ticks), window_(window)
{
    buildToolButtons(fileBar);
    buildCommentGroup();
    buildExportOptions();
    connect(btSave, &QToolButton::clicked, this, [this] { btSaveClick(); });
    connect(btLoadFile, &QToolButton::clicked, this, [this] { btLoadFileClick(); });
    connect(btCopy, &QToolButton::clicked, this, [this] { btCopyClick(); });
    // The keys of every other program; a disabled button ignores its key as it ignores a click.
    new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_O), window, [this] { btLoadFile->click(); });
    new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_S), window, [this] { btSave->click(); });
    window->installEventFilter(this);
}

// The groups the window has not placed yet are nobody's children.
MeasurementFilesUi::~MeasurementFilesUi()
{
    for (QWidget* w : std::initializer_list<QWidget*>{gbFile, gbCSV_TXT})
        if (!w->parent())
            delete w;
}

void MeasurementFilesUi::buildToolButtons(QFrame* fileBar)
{
    QStyle* st = fileBar->style();
    btSave = app::toolButton(fileBar, "btSave", {}, QStringLiteral("Сохранить измерение в файл"),
                             st->standardIcon(QStyle::SP_DialogSaveButton));
    btLoadFile = app::toolButton(fileBar, "btLoadFile", {}, QStringLiteral("Открыть файл измерения"),
                                 st->standardIcon(QStyle::SP_DialogOpenButton));
    btCopy = app::toolButton(fileBar, "btCopy", {}, QStringLiteral("Копировать комментарий в буфер обмена"),
                             st->standardIcon(QStyle::SP_FileDialogContentsView));
    int help = 101;
    for (QWidget* w : std::initializer_list<QWidget*>{btSave, btLoadFile, btCopy})
        platform::setHelpContext(w, help++);
}

void MeasurementFilesUi::buildCommentGroup()
{
    gbFile = app::group(nullptr, "gbFile", kCommentTitle);
    mComment = new CommentBox(gbFile);
    mComment->setObjectName(QStringLiteral("mComment"));
    mComment->setAccessibleName(QStringLiteral("Комментарий"));
    // TAB is the field separator of the text exports the comment goes into: Tab moves on instead.
    mComment->setTabChangesFocus(true);
    mClipBoard = new QPlainTextEdit(gbFile);
    mClipBoard->setObjectName(QStringLiteral("mClipBoard"));
    mClipBoard->hide();
    for (QWidget* w : std::initializer_list<QWidget*>{gbFile, mComment})
        platform::setHelpContext(w, 2);
}

void MeasurementFilesUi::buildExportOptions()
{
    gbCSV_TXT = app::group(nullptr, "gbCSV_TXT", QStringLiteral("Файлы *.txt, *.csv"));
    auto* ex = new QGridLayout(gbCSV_TXT);
    ex->setContentsMargins(6, 2, 6, 4);
    ex->setVerticalSpacing(1);
    cbStoreX =
        app::listBox(gbCSV_TXT, "cbStoreX", {QStringLiteral("сохранять"), QStringLiteral("не сохранять")});
    cbDivider = app::listBox(gbCSV_TXT, "cbDivider", {QStringLiteral("запятая"), QStringLiteral("точка")});
    cbDivider->setCurrentIndex(1);
    ex->addWidget(app::label(gbCSV_TXT, QStringLiteral("Ось X"), cbStoreX), 0, 0);
    ex->addWidget(cbStoreX, 0, 1);
    ex->addWidget(app::label(gbCSV_TXT, QStringLiteral("Разделитель"), cbDivider), 1, 0);
    ex->addWidget(cbDivider, 1, 1);
    platform::setHelpContext(gbCSV_TXT, 5);
    platform::setHelpContext(cbDivider, 312);
    platform::setHelpContext(cbStoreX, 312);
    for (QComboBox* list : {cbStoreX, cbDivider})
        connect(list, &QComboBox::activated, this, &MeasurementFilesUi::exportChoicePicked);
}

void MeasurementFilesUi::setCommentArea(const QRect& area)
{
    gbFile->setGeometry(area);
    mComment->setGeometry(8, 16, std::max(0, area.width() - 16), 35);
}

void MeasurementFilesUi::setChartWidget(QWidget* chart)
{
    exportProgress_ = new ExportProgressPanel(window_, chart, ticks_);
}

void MeasurementFilesUi::recordTakenByRun()
{
    record_.loadedFromFile = false;
    gbFile->setTitle(kCommentTitle);
}

QString MeasurementFilesUi::comment() const
{
    return mComment->comment();
}

int MeasurementFilesUi::exportDivider() const
{
    return cbDivider->currentIndex();
}

void MeasurementFilesUi::setExportDivider(int index)
{
    cbDivider->setCurrentIndex(index >= 0 && index < cbDivider->count() ? index : 1);
}

SaveState MeasurementFilesUi::saveState() const
{
    SaveState s;
    s.receiving = host_.receiving();
    s.awaitingMemoryRead = host_.recordingAwaitsRead();
    // The frames as the chart was built from them: a save writes that layout.
    const int channels = std::popcount(unsigned(host_.channelMask() & 7));
    if (channels > 0)
        s.frames = record_.sampleStream.size() / (std::uint64_t(channels) * 2);
    return s;
}

bool MeasurementFilesUi::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == window_) {
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

void MeasurementFilesUi::btLoadFileClick()
{
    platform::Dialogs* dialogs = dialogs_;
    host_.closeSetupPanel();
    searchLine = 0;
    const QString path =
        dialogs ? dialogs->openFile(window_, openDialogSpec(openDialogFileName_)) : QString();
    if (path.isEmpty())
        return;
    openDialogFileName_ = path;
    loadFile(path);
}

bool MeasurementFilesUi::loadWithoutDialog(const QString& path)
{
    host_.closeSetupPanel();
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
    record_.loadedFromFile = true;
    // A simulated record saved earlier says so in its own comment.
    record_.simulatedBoard = false;

    gbFile->setTitle(fileCaption(currentFileName));
    emit fileLoaded();
    record_.startTime = fileModificationTime(currentFileName);
    host_.showChart();
    return true;
}

bool MeasurementFilesUi::openJournal(const JournalEntry& entry, const QString& incompleteWhy)
{
    host_.closeSetupPanel();
    std::optional<AxdContents> c = readChecked(entry.path);
    if (!c)
        return false;
    // The record as a run leaves it: no file's, saved as a new measurement with its own start time.
    takeContents(*c);
    auto& r = record_;
    r.loadedFromFile = false;
    r.simulatedBoard = entry.simulated;
    const acq::ChannelSet channels = acq::ChannelSet::fromMask(c->header.channelMask);
    r.calcUseChnl(channels);
    r.channelLetters = channels.letters();
    r.sampleRateHz = 1000000.0 / r.samplePeriodUs;
    r.receivedBytes = std::uint32_t(std::min<std::uint64_t>(r.sampleStream.size(), UINT32_MAX));
    r.expectedBytes = std::uint32_t(
        std::min<std::uint64_t>(std::max(entry.expectedBytes, r.sampleStream.size()), UINT32_MAX));
    r.startTime = entry.startTime;
    mComment->setComment(entry.comment);
    gbFile->setTitle(kCommentTitle);
    if (!incompleteWhy.isEmpty())
        r.markIncomplete(incompleteWhy);
    host_.showChart();
    return true;
}

std::optional<AxdContents> MeasurementFilesUi::readChecked(const QString& path)
{
    // The whole file is read and checked first: only a complete measurement file replaces the
    // record, touches the controls and becomes the current file. A refused file must not lend
    // its name to the record still shown, nor its folder to the navigation.
    std::optional<AxdReadResult> r = readGivingWay(path);
    if (!r || !fitForRecord(*r, path))
        return std::nullopt;
    if (r->contents.commentCut && dialogs_)
        dialogs_->message(window_, axdCommentCutMessage(path));
    return std::move(r->contents);
}

std::optional<AxdReadResult> MeasurementFilesUi::readGivingWay(const QString& path)
{
    // A large file is read a piece at a time with the message loop running in between, so that
    // the window repaints and takes clicks. A newer load begun meanwhile (a second "Открыть", the
    // navigation, a drop) or a run replacing the record wins: this read is then dropped unseen.
    const std::uint64_t load = ++loadsBegun_;
    const std::uint64_t generation = record_.generation;
    if (readsUnderway_++ == 0)
        statusBeforeRead_ = host_.status().panelText(1);
    host_.status().setPanelText(1, kReadingFileText);
    QPointer<QWidget> alive(window_);
    AxdReadResult r = readAxdFile(path, DataBlock::Read, std::nullopt, [&](std::uint64_t, std::uint64_t) {
        QCoreApplication::processEvents();
        if (!alive || load != loadsBegun_ || record_.generation != generation)
            return false;
        // A load that failed meanwhile has put the old text back.
        host_.status().setPanelText(1, kReadingFileText);
        return true;
    });
    if (!alive)
        return std::nullopt;
    --readsUnderway_;
    if (r.status == AxdStatus::Abandoned) {
        // A newer load has set the status text its own way; a run that took over leaves this
        // panel alone, so the reading notice must not stay there for the whole run.
        if (readsUnderway_ == 0 && host_.status().panelText(1) == kReadingFileText)
            host_.status().setPanelText(1, statusBeforeRead_);
        return std::nullopt;
    }
    host_.status().setPanelText(1, statusBeforeRead_);
    return r;
}

bool MeasurementFilesUi::fitForRecord(const AxdReadResult& r, const QString& path) const
{
    platform::Dialogs* dialogs = dialogs_;
    if (r.status == AxdStatus::NotMeasurement) {
        if (dialogs)
            dialogs->message(window_, QString::fromUtf8(kForeignFileMessage));
        return false;
    }
    if (!r.ok()) {
        if (dialogs)
            dialogs->error(window_, r.message(path));
        return false;
    }
    const double period = r.contents.header.samplePeriodUs;
    if (!(period > 0) || !std::isfinite(period)) {
        // Every time, frequency, spectrum and trend of the record divides by this period.
        if (dialogs)
            dialogs->message(window_, badSamplePeriodMessage(path, period));
        return false;
    }
    if (!axdNumbersFinite(r.contents)) {
        if (dialogs)
            dialogs->message(window_, notFiniteFileMessage(path));
        return false;
    }
    return true;
}

void MeasurementFilesUi::takeContents(AxdContents& c)
{
    record_.samplePeriodUs = c.header.samplePeriodUs;
    // All boxes on, then off where the mask has no channel; their own handlers follow.
    for (int i = 0; i < 3; ++i)
        host_.setChannelChecked(i, true);
    const acq::ChannelSet channels = acq::ChannelSet::fromMask(c.header.channelMask);
    for (int i = 0; i < 3; ++i) {
        if (!channels.has(i))
            host_.setChannelChecked(i, false);
    }
    record_.axisK = c.axisK;
    record_.axisC = c.axisC;
    host_.setAxisTitles(c.xAxisTitle, c.yAxisTitle);
    ++record_.generation;
    record_.layout = channels;
    record_.sampleStream = std::move(c.data);
    record_.sampleStream.seek(0);
    mComment->setComment(c.comment);
}

void MeasurementFilesUi::btSaveClick()
{
    platform::Dialogs* dialogs = dialogs_;
    if (!dialogs)
        return;
    // Every save and export passes here first.
    if (const QString refusal = saveRefusal(saveState()); !refusal.isEmpty()) {
        dialogs->message(window_, refusal);
        return;
    }
    const QString name = dialogs->saveFile(window_, saveDialogSpec());
    if (name.isEmpty())
        return;
    lastSaveName = name;
    // Saved over, another copy's journal would be lost to it while it still writes.
    if (journalInUse(name)) {
        dialogs->message(window_, QStringLiteral("%1: в этот файл идёт запись в другой копии программы. "
                                                 "Выберите другое имя.").arg(name));
        return;
    }

    const SaveFormat format = saveFormatFor(name);
    if (format == SaveFormat::None) {
        dialogs->message(window_, kWrongExtensionMessage);
        return;
    }
    QString stretchNote;
    const bool written = format == SaveFormat::Axd ? writeMeasurementFile(name, stretchNote)
                                                   : writeTextExport(name, format, stretchNote);
    if (!written)
        return;
    // Saved whole, the run no longer needs its journal; a visible stretch or a text export keeps it.
    if (format == SaveFormat::Axd && stretchNote.isEmpty())
        emit recordSavedWhole(name);
    gbFile->setTitle(fileCaption(name));
    setFileStartTime(name, record_.startTime);
    // A zoomed chart saves what it shows: the operator learns that the file holds only that.
    if (!stretchNote.isEmpty())
        host_.status().setPanelText(1, stretchNote);
}

bool MeasurementFilesUi::writeMeasurementFile(const QString& path, QString& stretchNote)
{
    AxdHeader h = saveHeader();
    const int frameChannels = std::popcount(unsigned(h.channelMask));
    const Stretch stretch = stretchToSave(frameChannels);
    const AxdWriteSource src = measurementSource(h, stretch);
    const QString error = saveAtomically(path, [&src](QIODevice& out) { return writeAxd(out, src); });
    if (!error.isEmpty()) {
        if (dialogs_)
            dialogs_->error(window_, error);
        return false;
    }
    h.dataLength = std::uint32_t(stretch.length);
    header = h;
    if (frameChannels > 0) {
        const std::uint64_t frameBytes = std::uint64_t(frameChannels) * 2;
        stretchNote =
            visibleStretchText(stretch.length / frameBytes, record_.sampleStream.size() / frameBytes);
    }
    host_.setAxisTitles(src.xAxisTitle, src.yAxisTitle);
    mComment->setComment(src.comment);
    return true;
}

AxdHeader MeasurementFilesUi::saveHeader() const
{
    AxdHeader h;
    h.typeWord = plainTypeWord ? 0x0003 : 0x8003;
    h.fixedByte2 = 16;
    h.fixedByte3 = 1;
    h.channelMask = host_.channelMask() & 7;
    h.samplePeriodUs = record_.samplePeriodUs;
    return h;
}

Stretch MeasurementFilesUi::stretchToSave(int frameChannels) const
{
    // Without a selected channel there is no series to take the visible stretch from.
    Stretch stretch;
    if (const int channel = firstSelectedChannel(); channel >= 0) {
        const auto visible = visibleStretch(kChannelSeries[std::size_t(channel)]);
        stretch = savedStretch(record_.sampleStream.size(), frameChannels, visible ? visible->first : -1,
                               visible ? visible->second : -1);
    }
    return stretch;
}

AxdWriteSource MeasurementFilesUi::measurementSource(const AxdHeader& h, const Stretch& stretch) const
{
    const std::optional<int> smoothing = host_.smoothing();
    const QStringList lines = withAxesLine(memoLines(mComment->comment()), record_.loadedFromFile,
                                           record_.channelLetters, smoothing, record_.simulatedBoard);
    AxdWriteSource src;
    src.header = h;
    src.axisK = record_.axisK;
    src.axisC = record_.axisC;
    src.xAxisTitle = host_.timeTitle();
    src.yAxisTitle = host_.chart().yAxis->label();
    src.data = {record_.sampleStream.data() + stretch.offset, std::size_t(stretch.length)};
    src.comment = lines.join(QLatin1Char('\n'));
    return src;
}

ExportSource MeasurementFilesUi::chartExportSource() const
{
    ExportSource s = exportHeading();
    const int firstChannel = addExportColumns(s);
    if (firstChannel < 0) {
        // No channel, no rows.
        s.first = 0;
        s.last = -1;
        return s;
    }
    const display::SignalChart* chart = &host_.chart();
    const display::Series xSeries = kChannelSeries[std::size_t(firstChannel)];
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

ExportSource MeasurementFilesUi::exportHeading() const
{
    const QLocale locale = QLocale::system();
    ExportSource s;
    s.sourceLine = record_.loadedFromFile
                       ? fileSourceLine(currentFileName, fileModificationTime(currentFileName), locale)
                       : measurementSourceLine(QDateTime::currentDateTime(), locale);
    s.axisK = record_.axisK;
    s.axisC = record_.axisC;
    s.leftTitle = host_.chart().yAxis->label();
    s.bottomTitle = host_.chart().xAxis->label();
    if (const auto weight = host_.smoothing())
        s.smoothWeight = *weight;
    s.comment = mComment->comment();
    s.storeX = cbStoreX->currentIndex() == 0;
    return s;
}

int MeasurementFilesUi::addExportColumns(ExportSource& s) const
{
    const display::SignalChart* chart = &host_.chart();
    int firstChannel = -1;
    for (int i = 0; i < 3; ++i) {
        if (!host_.channelChecked(i))
            continue;
        if (firstChannel < 0)
            firstChannel = i;
        const display::Series series = kChannelSeries[std::size_t(i)];
        s.columns.push_back({host_.channelCaption(i), chart->yValues(series), chart->pointCount(series)});
    }
    if (chart->isSeriesShown(display::Series::IaI))
        s.columns.push_back({QStringLiteral("IaI"), chart->yValues(display::Series::IaI),
                             chart->pointCount(display::Series::IaI)});
    return firstChannel;
}

int MeasurementFilesUi::firstSelectedChannel() const
{
    for (int i = 0; i < 3; ++i) {
        if (host_.channelChecked(i))
            return i;
    }
    return -1;
}

std::optional<std::pair<qint64, qint64>> MeasurementFilesUi::visibleStretch(display::Series series) const
{
    // The indices are those the last paint took from the first shown channel series. With every
    // channel series hidden in the legend no paint takes any, and indices left from another
    // record or another build would cut this one short: then the whole record counts.
    const display::SignalChart* chart = &host_.chart();
    bool anyShown = false;
    for (const display::Series s : kChannelSeries)
        anyShown = anyShown || chart->isSeriesShown(s);
    const auto [first, last] = host_.visibleIndices();
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
    const QChar dp = exportDecimalPoint(cbDivider->currentIndex(), QLocale::system());
    const ExportFormat fmt = format == SaveFormat::Csv ? csvFormat(dp) : textFormat(dp);
    bool replaced = false;
    const QString error = writeExportShowingProgress(path, src, fmt, replaced);
    if (exportProgress_->cancelled())
        return false; // nothing written: the old file, if any, is as it was
    QString message = error;
    if (replaced)
        message = QStringLiteral("Файл %1 не записан: график перестроен во время записи").arg(path);
    if (!message.isEmpty()) {
        if (dialogs_)
            dialogs_->error(window_, message);
        return false;
    }
    return true;
}

QString MeasurementFilesUi::writeExportShowingProgress(const QString& path, const ExportSource& src,
                                                       const ExportFormat& fmt, bool& replaced)
{
    // A long export lets the message loop run (see ExportProgressPanel). The values it writes
    // are the chart's own arrays: should they be replaced all the same, it stops before reading
    // them again.
    const display::SignalChart* chart = &host_.chart();
    auto seriesState = [chart] {
        std::array<std::pair<const double*, qint64>, 4> s;
        for (int i = 0; i < 4; ++i)
            s[std::size_t(i)] = {chart->yValues(display::Series(i)), chart->pointCount(display::Series(i))};
        return s;
    };
    const auto before = seriesState();
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
    return error;
}

void MeasurementFilesUi::btCopyClick()
{
    platform::Dialogs* dialogs = dialogs_;
    const QString name = currentFileName;
    const QDateTime time = name.isEmpty() ? QDateTime() : fileModificationTime(name);
    if (!time.isValid()) {
        if (dialogs)
            dialogs->error(window_, QStringLiteral("Invalid argument to date encode"));
        return;
    }
    // Staged in the hidden memo, then copied whole.
    mClipBoard->setPlainText(mComment->comment());
    mClipBoard->appendPlainText(name + QStringLiteral("  ") + dateTimeText(time, QLocale::system()));
    if (dialogs)
        dialogs->setClipboardText(mClipBoard->toPlainText());
}

} // namespace files
