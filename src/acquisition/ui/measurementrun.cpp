#include "acquisition/ui/measurementrun.h"

#include "acquisition/deviceconfig.h"
#include "acquisition/runplan.h"
#include "acquisition/ui/acquisitionhost.h"
#include "acquisition/ui/setuppanel.h"
#include "app/ui/controls.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/help.h"

#include <QDateTime>
#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QToolButton>
#include <QLocale>
#include <QShortcut>

#include <algorithm>
#include <utility>

namespace acq {

namespace {

// Replies a board still owes after this long are taken to be lost, not late.
constexpr qint64 kOwedReplyExpiryMs = 10000;
// How often a wait for a reply looks at the line.
constexpr int kAwaitTickMs = 5;
// How soon a line that drops during a run or read is noticed between polls.
constexpr int kLineWatchMs = 250;
// How often a streamed run's bytes are taken in between its polls, so that they reach the
// journal: a run that fits one read is polled only at its end, minutes away at a low rate.
constexpr qint64 kTakeBetweenPollsMs = 1000;
// The board answers a memory request with a block of this size; one grown this far is whole.
constexpr qsizetype kMemoryBlockBytes = 32768;
// A block that has not grown for this long has ended (the last one of a recording may be short).
constexpr qint64 kBlockQuietMs = 150;
// How often the line is looked at while a block is still coming.
constexpr int kBlockPollMs = 100;
// Requests for block 0 before a memory with no recording is given up.
constexpr int kBlockZeroTries = 3;

QString asRemark(QString text)
{
    while (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    if (!text.isEmpty())
        text[0] = text[0].toLower();
    return text;
}

} // namespace

MeasurementRun::MeasurementRun(MeasurementRecord& record, SetupPanel& setup, AcquisitionHost& host,
                               app::Services services, const QString& deviceFile, QFrame* toolBar)
    : QObject(toolBar->window()), record_(record), setup_(setup), host_(host), services_(services),
      window_(toolBar->window())
{
    if (!services_.ticks)
        ownTicks_ = std::make_unique<platform::SystemTicks>();
    const DeviceSettings settings = readDeviceSettings(deviceFile, qEnvironmentVariable(kDeviceEnvironmentVariable));
    library_ = std::make_unique<DeviceLibrary>(makeBackend(settings, ticks()));
    link_ = std::make_unique<DeviceLink>(*library_, ticks());

    btStartPlus = app::toolButton(toolBar, "btStartPlus", QStringLiteral("ПУСК ИЗМЕРЕНИЯ"),
                                  QStringLiteral("Запуск измерения"));
    app::setFontColour(btStartPlus, Qt::red);
    btRd = app::toolButton(toolBar, "btRd", QStringLiteral("Считать"),
                           QStringLiteral("Считать данные из памяти на плате акселерометра"));
    for (QWidget* w : {btStartPlus, btRd})
        platform::setHelpContext(w, 4);
    buildProgressPanel();
    btFM25ProtectClr = new QPushButton(QStringLiteral("Сброс защиты ИС памяти"));
    btFM25ProtectClr->setObjectName(QStringLiteral("btFM25ProtectClr"));
    timRx = new QTimer(this);
    timRx->setObjectName(QStringLiteral("timRx"));
    TimPrgssBar = new QTimer(this);
    TimPrgssBar->setObjectName(QStringLiteral("TimPrgssBar"));
    TimPrgssBar->setInterval(250);
    connectControls(toolBar->parentWidget());
}

void MeasurementRun::connectControls(QWidget* strip)
{
    ctlBar_ = strip;
    if (strip)
        strip->installEventFilter(this);
    connect(&setup_, &SetupPanel::startRequested, this, &MeasurementRun::btStartClick);
    connect(btStartPlus, &QToolButton::clicked, this, &MeasurementRun::btStartClick);
    // The start keys act as the tool bar's start button does, and not while it is disabled.
    for (const QKeySequence& key : {QKeySequence(Qt::Key_F5), QKeySequence(Qt::CTRL | Qt::Key_R)})
        new QShortcut(key, window_, [this] { btStartPlus->click(); });
    connect(btRd, &QToolButton::clicked, this, &MeasurementRun::btRdClick);
    connect(btFM25ProtectClr, &QPushButton::clicked, this, &MeasurementRun::btFM25ProtectClrClick);
    connect(timRx, &QTimer::timeout, this, &MeasurementRun::timRxTimer);
    connect(TimPrgssBar, &QTimer::timeout, this, &MeasurementRun::TimPrgssBarTimer);
    awaitTimer_ = new QTimer(this);
    awaitTimer_->setInterval(kAwaitTickMs);
    connect(awaitTimer_, &QTimer::timeout, this, &MeasurementRun::awaitTick);
    lineWatch_ = new QTimer(this);
    lineWatch_->setInterval(kLineWatchMs);
    connect(lineWatch_, &QTimer::timeout, this, &MeasurementRun::watchLine);
}

void MeasurementRun::buildProgressPanel()
{
    pnlChart = new QFrame;
    pnlChart->setObjectName(QStringLiteral("pnlChart"));
    pnlChart->setFrameShape(QFrame::StyledPanel);
    pnlChart->setAutoFillBackground(true);
    auto* grid = new QGridLayout(pnlChart);
    grid->setContentsMargins(10, 6, 10, 6);
    lbAll = app::label(pnlChart, {}, nullptr, "lbAll");
    lbElapsedVal = app::label(pnlChart, {}, nullptr, "lbElapsedVal");
    lbRestVal = app::label(pnlChart, {}, nullptr, "lbRestVal");
    lbPercent = app::label(pnlChart, {}, nullptr, "lbPercent");
    lbRestPercent = app::label(pnlChart, {}, nullptr, "lbRestPercent");
    progressBar = new QProgressBar(pnlChart);
    progressBar->setObjectName(QStringLiteral("progressBar"));
    progressBar->setTextVisible(false);
    progressBar->setAccessibleName(QStringLiteral("Ход измерения"));
    grid->addWidget(app::label(pnlChart, QStringLiteral("Продолжительность:")), 0, 0);
    grid->addWidget(lbAll, 0, 1);
    grid->addWidget(app::label(pnlChart, QStringLiteral("Прошло:")), 0, 2);
    grid->addWidget(lbElapsedVal, 0, 3);
    grid->addWidget(lbPercent, 0, 4);
    grid->addWidget(app::label(pnlChart, QStringLiteral("Осталось:")), 0, 5);
    grid->addWidget(lbRestVal, 0, 6);
    grid->addWidget(lbRestPercent, 0, 7);
    grid->setColumnStretch(8, 1);
    grid->addWidget(progressBar, 1, 0, 1, 9);
    pnlChart->hide();
}

void MeasurementRun::fitProgressPanel(QPoint topLeft, int width)
{
    pnlChart->setGeometry(topLeft.x(), topLeft.y(), width, pnlChart->sizeHint().height());
    progressBar->setFixedWidth(std::max(0, width - 20));
}

void MeasurementRun::stopTimers()
{
    timRx->stop();
    TimPrgssBar->stop();
    emit linkCheckPaused();
}

void MeasurementRun::hideProgress()
{
    pnlChart->hide();
    lbPercent->clear();
    lbRestPercent->clear();
}

MeasurementRun::~MeasurementRun() = default;

void MeasurementRun::setBackend(std::unique_ptr<DeviceBackend> backend)
{
    library_->setBackend(std::move(backend));
    showBoard();
}

void MeasurementRun::showBoard()
{
    emit boardShown(library_->backend().description());
}

platform::TickSource& MeasurementRun::ticks()
{
    return ownTicks_ ? *ownTicks_ : *services_.ticks;
}

bool MeasurementRun::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ctlBar_ && event->type() == QEvent::MouseButtonDblClick) {
        ctlBarDblClick();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void MeasurementRun::showActivity(const QString& text)
{
    host_.setStatusText(0, text);
    emit activityShown(text);
}

void MeasurementRun::Measure()
{
    auto& r = record_;
    // A run is about to fill the record (the block-0 request keeps the stream it has).
    ++r.generation;
    r.startTime = QDateTime::currentDateTime();
    startCommandTime_ = r.startTime;
    const SetupValues setup = setup_.values();
    if (!setup.externalStart)
        r.startTime = r.startTime.addMSecs(qint64(setup.delayS) * 1000);
    lbPercent->clear();
    lbRestPercent->clear();
    host_.setRunStartTick(ticks().now());
    showActivity(QStringLiteral("ИЗМЕРЕНИЕ"));
    host_.setStatusText(2, {});
    emit transferBegun();
}

bool MeasurementRun::isReceiving() const
{
    const std::uint8_t code = link_->commandBuffer[0];
    return timRx->isActive() && (code == cmd::StartToComputer || code == cmd::ReadMemoryBlock);
}

bool MeasurementRun::recordingAwaitsRead() const
{
    return link_->commandBuffer[0] == cmd::StartToMemory;
}

void MeasurementRun::ctlBarDblClick()
{
    // A start still awaiting its read-backs would send its start command into the read.
    pending_.reset();
    awaitTimer_->stop();
    endJournal();
    emit linkCheckPaused();
    record_.loadedFromFile = false;
    setup_.closePanel();
    if (record_.sampleRateHz > 0)
        record_.samplePeriodUs = 1000000.0 / record_.sampleRateHz;
    setup_.seTimeChange();
    // No start command goes out here: a contact's delay read with the recording still counts
    // from the one that made it.
    const QDateTime startCommandTime = startCommandTime_;
    Measure();
    startCommandTime_ = startCommandTime;
    const std::uint8_t request[2] = {cmd::ReadMemoryBlock, 0x00};
    std::uint32_t written = 0;
    link_->lastStatus = std::uint8_t(library_->SI_Write(link_->deviceHandle, request, 2, &written, nullptr));
    if (link_->lastStatus != 0)
        showActivity(QStringLiteral("Command is not in uC"));
    // What comes is block 0 and is read as "Считать" reads it, whatever was sent last: taken
    // by the last command's code it would join a stream or be dropped, and the record shown
    // before (a loaded file) would pass for this measurement. A request that did not go out is
    // asked again by the first poll, and one never answered ends as an empty memory does.
    link_->commandBuffer[0] = cmd::ReadMemoryBlock;
    link_->commandBuffer[1] = 0;
    beginMemoryRead();
    timRx->start();
}

void MeasurementRun::closeDevice()
{
    endJournal();
    link_->close();
}

void MeasurementRun::message(const QString& text)
{
    if (auto* d = services_.dialogs)
        d->message(window_, text);
}

void MeasurementRun::sendFailed(const QString& text)
{
    const QString why = library_->backend().lastError();
    message(why.isEmpty() ? text : text + QStringLiteral("\n\n") + why);
    // A board found by searching is named once it has answered.
    showBoard();
}

void MeasurementRun::btStartClick()
{
    // A start still awaiting its read-backs, or a run or read still polling, gives way to this one.
    pending_.reset();
    awaitTimer_->stop();
    lineWatch_->stop();
    timRx->stop();
    endJournal();

    const SetupValues setup = setup_.values();
    const bool toMemory = setup.target == 1;
    // With no item selected the first one counts, as it does for the calibration's multiplier.
    const int frequencyIndex = std::max(0, setup.frequency);
    const int rangeIndex = std::max(0, setup.range);
    if (!toMemory)
        emit linkCheckPaused();

    PendingStart p;
    p.params = {toMemory,      setup_.checkedChannels(), std::uint32_t(setup.samples), frequencyIndex, rangeIndex,
                setup.externalStart, setup.delayS};
    p.steps = registerSetup(kFrequencyTable[std::size_t(frequencyIndex)].rateCode, std::uint8_t(rangeIndex));
    p.rangeIndex = setup.range;
    // The board samples at the rate of the selected item; a rate left over from before (an item
    // chosen by the program, which recomputes nothing) would put the samples on a wrong time axis.
    p.rateHz = setup_.selectedRateHz();
    for (int axis = AxisX; axis <= AxisZ; ++axis)
        if (setup_.channelChecked(axis))
            p.letters += setup_.channelCaption(axis);

    setup_.closePanel();

    pending_ = std::move(p);
    drainOwedReplies();
}

void MeasurementRun::drainOwedReplies()
{
    if (owedReplies_ > 0 && owedSince_.isValid() && owedSince_.elapsed() > kOwedReplyExpiryMs)
        owedReplies_ = 0;
    const auto timing = line();
    if (owedReplies_ == 0 || !timing) {
        owedReplies_ = 0;
        nextStartStep();
        return;
    }
    // Replies to read-backs of an earlier start are still on their way: once the start command
    // has gone they would be taken for samples.
    awaitBytes(owedReplies_, timing->replyTimeout, [this](bool arrived) {
        const QByteArray late = link_->readNow(std::uint32_t(std::max<std::size_t>(1, owedReplies_)));
        owedReplies_ -= std::min<std::size_t>(owedReplies_, std::size_t(late.size()));
        if (!arrived) {
            startTimedOut(nullptr);
            return;
        }
        owedReplies_ = 0;
        nextStartStep();
    });
}

void MeasurementRun::nextStartStep()
{
    while (pending_ && pending_->step < pending_->steps.size()) {
        const RegisterStep r = pending_->steps[pending_->step];
        const int number = int(pending_->step) + 1;
        link_->commandBuffer[0] = cmd::WriteRegister;
        link_->commandBuffer[1] = r.address;
        link_->commandBuffer[2] = r.value;
        if (link_->SendCmd(3) != 0) {
            pending_.reset();
            sendFailed(sendFailedMessage(number, QString::fromUtf8(r.name)));
            emit startFailed();
            return;
        }
        if (line()) {
            readBackLine(r);
            return;
        }
        // A board that answers at once: its read-back is there when the command has gone.
        const auto value = link_->CheckAxRg(r.address);
        if (value != r.value)
            message(registerMismatchMessage(r.address));
        if (pending_)
            ++pending_->step;
    }
    if (pending_)
        sendStartCommand();
}

void MeasurementRun::readBackLine(const RegisterStep& r)
{
    link_->commandBuffer[0] = cmd::ReadRegister;
    link_->commandBuffer[1] = r.address;
    link_->pause();
    if (link_->SendCmd(2) != 0) {
        checkReadBack(r, std::nullopt);
        return;
    }
    ++owedReplies_;
    owedSince_.start();
    awaitBytes(owedReplies_, line()->replyTimeout, [this, r](bool arrived) {
        const std::size_t waiting = library_->backend().pendingBytes();
        const QByteArray got = link_->readNow(std::uint32_t(std::clamp<std::size_t>(waiting, 1, kBulkReplyMax)));
        if (!arrived || std::size_t(got.size()) < owedReplies_) {
            owedReplies_ -= std::min<std::size_t>(owedReplies_, std::size_t(got.size()));
            startTimedOut(&r);
            return;
        }
        // The board answers a read-back with one byte: replies still owed from before come
        // first, and this one's value is the byte after them.
        const auto value = std::uint8_t(got.at(qsizetype(owedReplies_ - 1)));
        owedReplies_ = 0;
        checkReadBack(r, value);
    });
}

void MeasurementRun::checkReadBack(const RegisterStep& r, std::optional<std::uint8_t> value)
{
    if (value != r.value)
        message(registerMismatchMessage(r.address));
    if (!pending_)
        return;
    ++pending_->step;
    nextStartStep();
}

void MeasurementRun::startTimedOut(const RegisterStep* r)
{
    pending_.reset();
    const auto timing = line();
    const qint64 ms = timing ? qint64(timing->replyTimeout.count()) : 0;
    const QString what = r ? QStringLiteral("на чтение регистра %1").arg(QString::number(r->address, 16).toUpper())
                           : QStringLiteral("на прежние команды");
    sendFailed(QStringLiteral("Плата не ответила %1 за %2 мс (ReadTimeoutMs в device.ini). Измерение не запущено.")
                   .arg(what)
                   .arg(ms));
    emit startFailed();
}

void MeasurementRun::awaitBytes(std::size_t count, std::chrono::milliseconds limit, std::function<void(bool)> done)
{
    awaitCount_ = count;
    awaitLimit_ = limit;
    awaitDone_ = std::move(done);
    awaitLastSeen_ = std::size_t(-1);
    awaitClock_.start();
    awaitTimer_->start();
}

void MeasurementRun::awaitTick()
{
    const DeviceBackend& b = library_->backend();
    const std::size_t waiting = b.pendingBytes();
    const bool overdue = awaitClock_.elapsed() > qint64(awaitLimit_.count());
    bool arrived = false;
    if (waiting >= awaitCount_ && (waiting == awaitLastSeen_ || overdue || b.lineLost()))
        arrived = true;
    else if (!overdue && !b.lineLost()) {
        awaitLastSeen_ = waiting;
        return;
    }
    awaitTimer_->stop();
    auto done = std::exchange(awaitDone_, {});
    if (done)
        done(arrived);
}

void MeasurementRun::sendStartCommand()
{
    const PendingStart p = std::move(*pending_);
    pending_.reset();
    link_->commandBuffer = startCommand(p.params);
    if (link_->SendCmd(9) != 0) {
        sendFailed(sendFailedMessage(7, QStringLiteral("Пуск измерения")));
        emit startFailed();
        return;
    }
    // The board measures from here: only now does the record become this run's.
    adoptStartedRun(p);
    showBoard();
    const std::uint32_t interval = prepareTransfer(p.params);
    showProgress(armReceive(p.params, interval));
    if (p.params.toMemory) {
        // The board records on its own from here; the connection indicator turns red.
        link_->close();
        emit linkClosed();
    }
}

void MeasurementRun::adoptStartedRun(const PendingStart& p)
{
    auto& r = record_;
    r.scaleToRange(p.rangeIndex);
    r.channelLetters = p.letters;
    r.loadedFromFile = false;
    r.sampleRateHz = p.rateHz;
    r.samplePeriodUs = 1000000.0 / r.sampleRateHz;
    r.calcUseChnl(p.params.channels);
    r.layout = p.params.channels;
}

std::uint32_t MeasurementRun::prepareTransfer(const StartParams& params)
{
    auto& r = record_;
    const std::uint32_t expected = transferBytes(params.samples, r.channelCount);
    // A streamed transfer is polled several times per 65000 bytes. A run to memory is
    // only timed: dividing its wait would announce "Время измерения истекло" while the
    // board is still recording, and a "Считать" then would fetch half a recording.
    const std::uint32_t firstInterval = firstPollIntervalMs(params.samples, r.sampleRateHz);
    const std::uint32_t interval =
        params.toMemory ? firstInterval : acq::pollIntervalMs(expected, firstInterval);
    r.clearForTransfer(expected);
    extraBytes_ = 0;
    takenSincePoll_ = 0;
    sinceTake_.start();
    memoryRead_ = false;
    Measure();
    if (params.toMemory)
        memoryRunStart_ = r.startTime;
    pollIntervalMs_ = interval;
    // A run to the computer sends from now on; one started by the contact is read from memory.
    if (!params.toMemory && !params.externalStart)
        host_.beginJournal(false, params.channels);
    return interval;
}

std::uint32_t MeasurementRun::armReceive(const StartParams& params, std::uint32_t interval)
{
    if (params.externalStart) {
        // The contact starts the run; the operator fetches the recording with "Считать".
        timRx->stop();
        timRx->setInterval(int(interval));
        showActivity(QStringLiteral("По окончании нажмите \"Считать\""));
        return interval;
    }
    const std::uint32_t wait = std::uint32_t(params.delayS) * 1000u + interval;
    timRx->start(int(wait));
    if (!params.toMemory && line())
        lineWatch_->start();
    return wait;
}

void MeasurementRun::showProgress(std::uint32_t waitMs)
{
    if (waitMs <= kProgressPanelAboveMs) {
        // A panel still counting down an earlier run would now count against this run's start.
        TimPrgssBar->stop();
        pnlChart->hide();
        return;
    }
    progressWaitMs_ = waitMs;
    progressBar->setRange(0, int(waitMs));
    progressBar->setValue(0);
    pnlChart->show();
    pnlChart->raise();
    TimPrgssBar->start();
    const Progress p = progressAt(waitMs, 0);
    lbElapsedVal->setText(minutesSecondsText(p.elapsedS));
    lbRestVal->setText(minutesSecondsText(p.remainingS));
    lbAll->setText(minutesSecondsText(p.totalS));
}

void MeasurementRun::TimPrgssBarTimer()
{
    const Progress p = progressAt(progressWaitMs_, platform::ticksSince(host_.runStartTick(), ticks().now()));
    lbPercent->setText(QString::number(p.percent) + QLatin1Char('%'));
    lbRestPercent->setText(QString::number(100 - p.percent) + QLatin1Char('%'));
    lbElapsedVal->setText(minutesSecondsText(p.elapsedS));
    lbRestVal->setText(minutesSecondsText(p.remainingS));
    progressBar->setValue(int(std::min<std::int64_t>(p.barPosition, progressBar->maximum())));
    if (p.finished) {
        pnlChart->hide();
        TimPrgssBar->stop();
    }
}

void MeasurementRun::timRxTimer()
{
    // Over a line the reader has taken in what came; a poll takes it without waiting for more.
    if (line() && link_->commandBuffer[0] == cmd::ReadMemoryBlock) {
        pollMemoryLine();
        return;
    }
    const QByteArray got = line() ? link_->readNow(kBulkReplyMax) : link_->readReply(kBulkReplyMax);
    switch (link_->commandBuffer[0]) {
    case cmd::StartToMemory:
        // The run records on the board; the timer only says when its time is up.
        showActivity(QStringLiteral("Время измерения истекло"));
        break;
    case cmd::StartToComputer:
        pollToComputer(got);
        break;
    case cmd::ReadMemoryBlock:
        pollMemory(got);
        break;
    default:
        timRx->stop();
        break;
    }
}

void MeasurementRun::watchLine()
{
    if (!library_->backend().lineLost()) {
        takeBetweenPolls();
        return;
    }
    // The reader saw the line drop: the operator hears of it now, not at the next poll.
    lineWatch_->stop();
    if (timRx->isActive()) {
        timRx->stop();
        timRxTimer();
    }
}

QString MeasurementRun::lineError() const
{
    if (link_->lastStatus == 0 && !library_->backend().lineLost())
        return {};
    const QString why = asRemark(library_->backend().lastError());
    return why.isEmpty() ? QStringLiteral("ошибка чтения, код %1").arg(link_->lastStatus) : why;
}

void MeasurementRun::takeIn(const char* bytes, std::uint64_t count)
{
    record_.appendReceived(bytes, count);
    host_.appendJournal(bytes, count);
}

void MeasurementRun::endJournal()
{
    host_.finishJournal();
}

void MeasurementRun::takeBetweenPolls()
{
    if (link_->commandBuffer[0] != cmd::StartToComputer || !timRx->isActive() ||
        sinceTake_.elapsed() < kTakeBetweenPollsMs)
        return;
    takePending();
}

void MeasurementRun::takeArrivedAtExit()
{
    if (link_->commandBuffer[0] == cmd::StartToComputer && timRx->isActive())
        takePending();
}

void MeasurementRun::takePending()
{
    auto& r = record_;
    sinceTake_.start();
    const std::uint32_t missing = r.expectedBytes > r.receivedBytes ? r.expectedBytes - r.receivedBytes : 0;
    // Only bytes already there, and never past what the run asked for: the poll alone tells
    // that the board stopped, went away or sent too much.
    const auto want = std::uint32_t(std::min<std::size_t>(
        {library_->backend().pendingBytes(), std::size_t(missing), std::size_t(kBulkReplyMax)}));
    if (want == 0)
        return;
    const QByteArray got = link_->readNow(want);
    if (link_->lastStatus != 0) {
        // The receive buffer overflowed: ended as the poll would end it.
        timRx->stop();
        pollToComputer(got);
        return;
    }
    takeIn(got.constData(), std::uint64_t(got.size()));
    takenSincePoll_ += std::uint32_t(got.size());
    showActivity(receivedText(r.receivedBytes, r.expectedBytes));
    emit streamReceived();
}

void MeasurementRun::pollToComputer(const QByteArray& got)
{
    auto& r = record_;
    // Bytes taken in since the last poll are news too: the board is still sending.
    bool takenBetween = std::exchange(takenSincePoll_, 0) > 0 && link_->lastStatus == 0;
    sinceTake_.start();
    QByteArray chunk = got;
    while (!chunk.isEmpty() || std::exchange(takenBetween, false)) {
        const std::uint32_t missing = r.expectedBytes > r.receivedBytes ? r.expectedBytes - r.receivedBytes : 0;
        if (std::uint64_t(chunk.size()) > missing) {
            // What the run asked for is kept; bytes beyond it are no part of this measurement.
            extraBytes_ += std::uint32_t(chunk.size()) - missing +
                           std::uint32_t(library_->backend().pendingBytes());
            takeIn(chunk.constData(), missing);
        } else {
            takeIn(chunk.constData(), std::uint64_t(chunk.size()));
        }
        if (r.receivedBytes >= r.expectedBytes)
            break;
        if (!library_->backend().lineLost()) {
            timRx->start(int(pollIntervalMs_));
            showActivity(receivedText(r.receivedBytes, r.expectedBytes));
            emit streamReceived();
            return;
        }
        // The line dropped after these bytes: take the rest that came; the read after it says why.
        chunk = link_->readNow(kBulkReplyMax);
    }
    // Everything is in, or the board has stopped sending: the chart shows what arrived.
    timRx->stop();
    const QString lost = lineError();
    finishTransfer(r.receivedBytes >= r.expectedBytes ? QString()
                   : lost.isEmpty()                   ? QStringLiteral("плата перестала передавать данные")
                                                      : lost,
                   lost);
}

bool MeasurementRun::applyMemoryHeader(const QByteArray& got)
{
    const auto header = parseMemoryHeader(got);
    if (!header)
        return false;
    auto& r = record_;
    for (int axis = AxisX; axis <= AxisZ; ++axis)
        setup_.setChannelChecked(axis, header->channels.has(axis));
    setup_.CalcUseChnl();
    r.layout = header->channels;
    r.expectedBytes = transferBytes(header->samples, r.channelCount);
    setup_.setFrequencyIndex(header->frequencyIndex);
    r.sampleRateHz = setup_.selectedRateHz();
    r.samplePeriodUs = 1000000.0 / r.sampleRateHz;
    setup_.setRangeIndex(header->rangeIndex);
    // The calibration was scaled to the range selected when "Считать" was pressed; the
    // recording's own range is the one its samples are in.
    r.scaleToRange(header->rangeIndex);
    // Only the header says what the recording's samples are: its journal starts here.
    host_.beginJournal(true, header->channels);
    return true;
}

void MeasurementRun::pollMemory(QByteArray got)
{
    auto& r = record_;
    std::uint8_t& readBlock = link_->commandBuffer[1];
    if (readBlock == 0) {
        if (!applyMemoryHeader(got)) {
            blockZeroMissing();
            return;
        }
        got.remove(0, kMemoryHeaderBytes);
    }
    const BlockStep step =
        memoryBlockStep(readBlock, r.receivedBytes, r.expectedBytes, std::uint32_t(got.size()));
    readBlock = step.nextBlock;
    takeIn(got.constData(), step.take);
    if (step.finished) {
        finishTransfer(r.receivedBytes < r.expectedBytes
                           ? QStringLiteral("плата прислала меньше данных, чем записано")
                           : QString());
        return;
    }
    requestBlock(step.nextBlock);
}

std::chrono::milliseconds MeasurementRun::blockWaitLimit() const
{
    const auto timing = line();
    // A line whose rate is not known is taken to be as fast as the common adapters run.
    const std::uint32_t rate = timing && timing->bytesPerSecond > 0 ? timing->bytesPerSecond : 92160;
    const std::int64_t carry = std::int64_t(kMemoryBlockBytes) * 1000 / rate;
    // A board late by a few seconds still counts as answering (blocks 2 s late are seen).
    return std::chrono::milliseconds((timing ? timing->replyTimeout.count() : 0) + 3000 + 2 * carry);
}

void MeasurementRun::pollMemoryLine()
{
    const std::uint8_t readBlock = link_->commandBuffer[1];
    const QByteArray got = link_->readNow(kBulkReplyMax);
    const bool failed = link_->lastStatus != 0;
    if (!got.isEmpty()) {
        block_ += got;
        blockQuiet_.start();
    }
    const bool ended = block_.size() >= blockCompleteBytes(readBlock) ||
                       (!block_.isEmpty() && blockQuiet_.elapsed() >= kBlockQuietMs);
    if (ended) {
        pollMemory(std::exchange(block_, {}));
        return;
    }
    if (failed) {
        memoryLineLost(readBlock);
        return;
    }
    if (block_.isEmpty() && blockClock_.elapsed() > qint64(blockWaitLimit().count())) {
        if (readBlock == 0)
            blockZeroMissing();
        else
            finishTransfer(QStringLiteral("плата не прислала блок %1").arg(readBlock));
        return;
    }
    timRx->start(kBlockPollMs);
}

qint64 MeasurementRun::blockCompleteBytes(std::uint8_t readBlock) const
{
    // The block is whole when it is as long as a block, when it brings the last byte the
    // recording holds, or (see the caller) when the line has gone quiet after it.
    qint64 complete = kMemoryBlockBytes;
    if (readBlock == 0) {
        if (const auto h = parseMemoryHeader(block_))
            complete = std::min<qint64>(complete, kMemoryHeaderBytes +
                                                      qint64(transferBytes(h->samples, h->channels.count())));
    } else if (readBlock < kMemoryBlocks) {
        complete = std::min<qint64>(complete, qint64(record_.expectedBytes) - qint64(record_.receivedBytes));
    }
    return complete;
}

void MeasurementRun::memoryLineLost(std::uint8_t readBlock)
{
    auto& r = record_;
    // The line is gone: the bytes of a block already past its header are real samples.
    if (readBlock > 0 && readBlock < kMemoryBlocks)
        takeIn(block_.constData(),
               std::min<std::uint64_t>(std::uint64_t(block_.size()), r.expectedBytes - r.receivedBytes));
    block_.clear();
    finishTransfer(lineError(), lineError());
}

void MeasurementRun::blockZeroMissing()
{
    // Not a recording (yet): asked again, a few times, then given up; a memory that holds
    // nothing is never answered.
    showActivity(QStringLiteral("Не удалось считать FRAM"));
    if (++blockZeroTries_ >= kBlockZeroTries) {
        timRx->stop();
        lineWatch_->stop();
        // The record was emptied for this read: the chart of the earlier one must not stand for it.
        host_.clearChart();
        host_.setStatusText(1, QStringLiteral("Нет данных"));
        message(QStringLiteral("Не удалось считать FRAM: плата не прислала записи после %1 запросов. "
                               "Возможно, в памяти платы ничего не записано.")
                    .arg(kBlockZeroTries));
        emit transferEnded();
        return;
    }
    requestBlock(0, false);
}

void MeasurementRun::requestBlock(std::uint8_t block, bool announce)
{
    link_->commandBuffer[0] = cmd::ReadMemoryBlock;
    link_->commandBuffer[1] = block;
    block_.clear();
    if (link_->SendCmd(2) != 0) {
        sendFailed(
            QStringLiteral("Не удалось передать команду Считать FRAM, проверьте подключение устройства."));
        // Polling on would count the block that was never asked for as read and join the next
        // block's bytes to the earlier ones out of step with the frames. The chart shows what
        // did arrive.
        finishTransfer(QStringLiteral("запрос блока %1 не передан").arg(block), lineError());
        return;
    }
    blockClock_.start();
    timRx->start(1000);
    if (announce)
        showActivity(receivedText(record_.receivedBytes, record_.expectedBytes));
}

void MeasurementRun::finishTransfer(const QString& why, const QString& lineWhy)
{
    timRx->stop();
    lineWatch_->stop();
    endJournal();
    record_.loadedFromFile = false;
    record_.simulatedBoard = library_->backend().simulated();
    showActivity(QStringLiteral("Построение графика"));
    if (!setup_.values().externalStart) {
        buildAfterTransfer(why, lineWhy);
        return;
    }
    // The start time is the moment of the start command; the board knows when the contact opened.
    link_->commandBuffer[0] = cmd::ExternalStartDelay;
    link_->SendCmd(1);
    if (const auto timing = line()) {
        awaitBytes(2, timing->replyTimeout, [this, why, lineWhy](bool) {
            correctExternalStart(link_->readNow(kBulkReplyMax));
            buildAfterTransfer(why, lineWhy);
        });
        return;
    }
    correctExternalStart(link_->readReply(kBulkReplyMax));
    buildAfterTransfer(why, lineWhy);
}

void MeasurementRun::buildAfterTransfer(const QString& why, const QString& lineWhy)
{
    auto& r = record_;
    const bool nothing = r.sampleStream.isEmpty();
    // An empty record needs no mark: it cannot be saved or analysed anyway.
    if (!why.isEmpty() && !nothing)
        r.markIncomplete(why);
    if (nothing) {
        // The chart of the earlier record must not stand for this run.
        host_.clearChart();
        TimPrgssBar->stop();
        pnlChart->hide();
    }
    const std::uint64_t generation = r.generation;
    host_.showChart();
    // A run or load begun while the chart was built has the record now.
    if (r.generation != generation)
        return;
    reportTransferEnd(why, lineWhy, nothing);
    emit transferEnded();
}

void MeasurementRun::reportTransferEnd(const QString& why, const QString& lineWhy, bool nothing)
{
    const auto& r = record_;
    const int frameBytes = std::max(1, 2 * int(r.channelCount));
    QStringList notes;
    if (nothing) {
        host_.setStatusText(1, QStringLiteral("Нет данных"));
        notes << (lineWhy.isEmpty() ? QStringLiteral("Плата не передала данные.")
                                    : QStringLiteral("Плата не передала данные (%1).").arg(lineWhy));
    } else if (!why.isEmpty()) {
        host_.setStatusText(1, startTimeText(r.startTime, QLocale::system()) +
                                       QStringLiteral(", неполная запись"));
        notes << QStringLiteral("%1: принято %2 из %3 кадров (%4).")
                     .arg(memoryRead_ ? QStringLiteral("Считывание прервано") : QStringLiteral("Передача прервана"))
                     .arg(r.receivedBytes / std::uint32_t(frameBytes))
                     .arg(r.expectedBytes / std::uint32_t(frameBytes))
                     .arg(why);
    }
    if (extraBytes_ > 0)
        notes << QStringLiteral("Плата передала больше данных, чем запрошено: сохранены запрошенные %1 кадров, "
                                "лишние %2 байт отброшены.")
                     .arg(r.expectedBytes / std::uint32_t(frameBytes))
                     .arg(extraBytes_);
    if (!notes.isEmpty())
        message(notes.join(QLatin1Char('\n')));
}

void MeasurementRun::correctExternalStart(const QByteArray& reply)
{
    if (const auto ms = externalStartDelayMs(reply)) {
        auto& r = record_;
        // Not added to the start time as it stands: a second read of the same recording, or a
        // read after a file load, would shift it again.
        const QDateTime base = startCommandTime_.isValid() ? startCommandTime_ : r.startTime;
        r.startTime = base.addMSecs(*ms);
        host_.setStatusText(1, startTimeText(r.startTime, QLocale::system()) +
                                       QStringLiteral(" начало измерения"));
    }
}

void MeasurementRun::btRdClick()
{
    pending_.reset();
    awaitTimer_->stop();
    endJournal();
    emit linkReset();
    record_.scaleToRange(setup_.values().range);
    emit linkCheckPaused();
    link_->commandBuffer[0] = cmd::ReadMemoryBlock;
    link_->commandBuffer[1] = 0;
    if (link_->SendCmd(2) != 0) {
        // Nothing was asked for, so there is nothing to poll for (a run to memory may have
        // left the timer telling that its time is up).
        timRx->stop();
        sendFailed(
            QStringLiteral("Не удалось передать команду Считать FRAM, проверьте подключение устройства."));
        return;
    }
    showActivity(QStringLiteral("СЧИТЫВАНИЕ FRAM, 32КБайт"));
    beginMemoryRead();
    emit transferBegun();
    timRx->start(1000);
}

void MeasurementRun::beginMemoryRead()
{
    record_.clearForTransfer(0);
    if (memoryRunStart_.isValid())
        record_.startTime = memoryRunStart_;
    memoryRead_ = true;
    extraBytes_ = 0;
    blockZeroTries_ = 0;
    block_.clear();
    blockClock_.start();
    if (line())
        lineWatch_->start();
}

void MeasurementRun::btFM25ProtectClrClick()
{
    link_->commandBuffer[0] = cmd::ClearProtection;
    link_->commandBuffer[1] = 0x00;
    link_->pause();
    if (link_->SendCmd(2) != 0)
        return;
    link_->pause();
    const auto answered = [this](const QByteArray& reply) {
        if (protectionCleared(link_->lastStatus, reply))
            message(QStringLiteral("Память готова к записи"));
    };
    if (const auto timing = line()) {
        awaitBytes(1, timing->replyTimeout,
                   [this, answered](bool) { answered(link_->readNow(kProtectionReplyMax)); });
        return;
    }
    answered(link_->readReply(kProtectionReplyMax));
}

} // namespace acq
