#include "acquisition/ui/measurementrun.h"

#include "acquisition/deviceconfig.h"
#include "acquisition/runplan.h"
#include "acquisition/ui/setuppanel.h"
#include "app/ui/mainwindow.h"
#include "platform/ui/dialogs.h"

#include <QDateTime>
#include <QEvent>
#include <QLocale>

namespace acq {

MeasurementRun::MeasurementRun(app::TForm1& form, SetupPanel& setup) : QObject(&form), f_(form), setup_(setup)
{
    if (!f_.services().ticks)
        ownTicks_ = std::make_unique<platform::SystemTicks>();
    const DeviceSettings settings = readDeviceSettings(f_.paths.deviceFile,
                                                       qEnvironmentVariable(kDeviceEnvironmentVariable));
    library_ = std::make_unique<DeviceLibrary>(makeBackend(settings, ticks()));
    link_ = std::make_unique<DeviceLink>(*library_, ticks());
    usbHint_ = f_.btUSB->toolTip();
    showBoard();

    f_.ctlBar->installEventFilter(this);
    connect(f_.btStart, &QPushButton::clicked, this, &MeasurementRun::btStartClick);
    connect(f_.btStartPlus, &QToolButton::clicked, this, &MeasurementRun::btStartClick);
    connect(f_.btRd, &QToolButton::clicked, this, &MeasurementRun::btRdClick);
    connect(f_.btFM25ProtectClr, &QPushButton::clicked, this, &MeasurementRun::btFM25ProtectClrClick);
    connect(f_.timRx, &QTimer::timeout, this, &MeasurementRun::timRxTimer);
    connect(f_.TimPrgssBar, &QTimer::timeout, this, &MeasurementRun::TimPrgssBarTimer);
}

MeasurementRun::~MeasurementRun() = default;

void MeasurementRun::setBackend(std::unique_ptr<DeviceBackend> backend)
{
    library_->setBackend(std::move(backend));
    showBoard();
}

void MeasurementRun::showBoard()
{
    // A second line under the button's own hint, so the hint itself stays as it is.
    f_.btUSB->setToolTip(usbHint_ + QStringLiteral("\nПлата: ") + library_->backend().description());
}

platform::TickSource& MeasurementRun::ticks()
{
    return ownTicks_ ? *ownTicks_ : *f_.services().ticks;
}

bool MeasurementRun::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == f_.ctlBar && event->type() == QEvent::MouseButtonDblClick) {
        ctlBarDblClick();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void MeasurementRun::showActivity(const QString& text)
{
    f_.status->setPanelText(0, text);
    emit activityShown(text);
}

void MeasurementRun::Measure()
{
    auto& r = f_.record;
    // A run is about to fill the record (the block-0 request keeps the stream it has).
    ++r.generation;
    r.startTime = QDateTime::currentDateTime();
    startCommandTime_ = r.startTime;
    if (!f_.cbExternalStart->isChecked())
        r.startTime = r.startTime.addMSecs(qint64(f_.seDelayStart->value()) * 1000);
    f_.lbPercent->clear();
    f_.lbRestPercent->clear();
    f_.runStartTick = ticks().now();
    showActivity(QStringLiteral("ИЗМЕРЕНИЕ"));
    f_.status->setPanelText(2, {});
}

void MeasurementRun::ctlBarDblClick()
{
    f_.timCheckUSB->stop();
    f_.record.loadedFromFile = false;
    f_.gbFT->hide();
    if (f_.record.sampleRateHz > 0)
        f_.record.samplePeriodUs = 1000000.0 / f_.record.sampleRateHz;
    setup_.seTimeChange();
    Measure();
    // Sent past the command buffer: the receive timer keeps reading by the last command's code.
    const std::uint8_t request[2] = {cmd::ReadMemoryBlock, 0x00};
    std::uint32_t written = 0;
    link_->lastStatus = std::uint8_t(library_->SI_Write(link_->deviceHandle, request, 2, &written, nullptr));
    if (link_->lastStatus != 0)
        showActivity(QStringLiteral("Command is not in uC"));
    f_.timRx->start();
}

void MeasurementRun::closeDevice()
{
    link_->close();
}

void MeasurementRun::message(const QString& text)
{
    if (auto* d = f_.services().dialogs)
        d->message(&f_, text);
}

void MeasurementRun::sendFailed(const QString& text)
{
    const QString why = library_->backend().lastError();
    message(why.isEmpty() ? text : text + QStringLiteral("\n\n") + why);
    // A board found by searching is named once it has answered.
    showBoard();
}

double MeasurementRun::selectedRate() const
{
    const QString p = QLocale::system().decimalPoint();
    const QChar separator = p.isEmpty() ? QLatin1Char('.') : p.at(0);
    const int index = std::max(0, f_.cbF->currentIndex());
    if (const auto rate = frequencyFromText(f_.cbF->itemText(index), separator))
        return *rate;
    return kFrequencyTable[0].hz;
}

bool MeasurementRun::setRegister(int step, const RegisterStep& r)
{
    switch (link_->writeRegister(r.address, r.value)) {
    case DeviceLink::RegisterResult::NotSent:
        sendFailed(sendFailedMessage(step, QString::fromUtf8(r.name)));
        return false;
    case DeviceLink::RegisterResult::Mismatch:
        // Reported, and the run goes on: the board may still measure well enough.
        message(registerMismatchMessage(r.address));
        return true;
    case DeviceLink::RegisterResult::Written:
        break;
    }
    return true;
}

void MeasurementRun::btStartClick()
{
    auto& r = f_.record;
    const bool toMemory = f_.rgMem->itemIndex() == 1;
    const bool external = f_.cbExternalStart->isChecked();
    // With no item selected the first one counts, as it does for the calibration's multiplier.
    const int frequencyIndex = std::max(0, f_.cbF->currentIndex());
    const int rangeIndex = std::max(0, f_.cbRange->currentIndex());

    r.scaleToRange(f_.cbRange->currentIndex());
    if (!toMemory)
        f_.timCheckUSB->stop();

    r.channelLetters.clear();
    for (QCheckBox* box : f_.channelBoxes)
        if (box->isChecked())
            r.channelLetters += box->text();

    r.loadedFromFile = false;
    f_.btChooseF->setText(QStringLiteral("Выбор F/T"));
    setCaptionColour(f_.btChooseF, Qt::black);
    f_.gbFT->hide();

    // The board samples at the rate of the selected item; a rate left over from before (an item
    // chosen by the program, which recomputes nothing) would put the samples on a wrong time axis.
    r.sampleRateHz = selectedRate();
    r.samplePeriodUs = 1000000.0 / r.sampleRateHz;

    const auto steps =
        registerSetup(kFrequencyTable[std::size_t(frequencyIndex)].rateCode, std::uint8_t(rangeIndex));
    for (std::size_t i = 0; i < steps.size(); ++i)
        if (!setRegister(int(i) + 1, steps[i]))
            return;

    setup_.CalcUseChnl();
    const std::uint32_t samples = std::uint32_t(f_.seSamples->value());
    const int delayS = f_.seDelayStart->value();
    link_->commandBuffer = startCommand(
        {toMemory, setup_.checkedChannels(), samples, frequencyIndex, rangeIndex, external, delayS});
    if (link_->SendCmd(9) != 0) {
        sendFailed(sendFailedMessage(7, QStringLiteral("Пуск измерения")));
        return;
    }

    showBoard();
    const std::uint32_t expected = transferBytes(samples, r.channelCount);
    // A streamed transfer is polled several times per 65000 bytes. A run to memory is
    // only timed: dividing its wait would announce "Время измерения истекло" while the
    // board is still recording, and a "Считать" then would fetch half a recording.
    const std::uint32_t firstInterval = firstPollIntervalMs(samples, r.sampleRateHz);
    const std::uint32_t interval = toMemory ? firstInterval : acq::pollIntervalMs(expected, firstInterval);
    r.clearForTransfer(expected);
    Measure();
    pollIntervalMs_ = interval;

    std::uint32_t wait = interval;
    if (external) {
        // The contact starts the run; the operator fetches the recording with "Считать".
        f_.timRx->stop();
        f_.timRx->setInterval(int(interval));
        showActivity(QStringLiteral("По окончании нажмите \"Считать\""));
    } else {
        wait = std::uint32_t(delayS) * 1000u + interval;
        f_.timRx->start(int(wait));
    }

    if (wait > kProgressPanelAboveMs) {
        progressWaitMs_ = wait;
        f_.progressBar->setRange(0, int(wait));
        f_.progressBar->setValue(0);
        f_.pnlChart->show();
        f_.pnlChart->raise();
        f_.TimPrgssBar->start();
        const Progress p = progressAt(wait, 0);
        f_.lbElapsedVal->setText(minutesSecondsText(p.elapsedS));
        f_.lbRestVal->setText(minutesSecondsText(p.remainingS));
        f_.lbAll->setText(minutesSecondsText(p.totalS));
    } else {
        // A panel still counting down an earlier run would now count against this run's start.
        f_.TimPrgssBar->stop();
        f_.pnlChart->hide();
    }

    if (toMemory) {
        // The board records on its own from here; the connection indicator turns red.
        link_->close();
        f_.btUSB->setIcon(QIcon(f_.imgUSBred));
        f_.timCheckUSB->stop();
    }
}

void MeasurementRun::TimPrgssBarTimer()
{
    const Progress p = progressAt(progressWaitMs_, platform::ticksSince(f_.runStartTick, ticks().now()));
    f_.lbPercent->setText(QString::number(p.percent) + QLatin1Char('%'));
    f_.lbRestPercent->setText(QString::number(100 - p.percent) + QLatin1Char('%'));
    f_.lbElapsedVal->setText(minutesSecondsText(p.elapsedS));
    f_.lbRestVal->setText(minutesSecondsText(p.remainingS));
    f_.progressBar->setValue(int(std::min<std::int64_t>(p.barPosition, f_.progressBar->maximum())));
    if (p.finished) {
        f_.pnlChart->hide();
        f_.TimPrgssBar->stop();
    }
}

void MeasurementRun::timRxTimer()
{
    const QByteArray got = link_->readReply(kBulkReplyMax);
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
        f_.timRx->stop();
        break;
    }
}

void MeasurementRun::pollToComputer(const QByteArray& got)
{
    auto& r = f_.record;
    if (!got.isEmpty()) {
        // The last read may bring more than was missing; all of it is kept.
        r.appendReceived(got);
        if (r.receivedBytes < r.expectedBytes) {
            f_.timRx->start(int(pollIntervalMs_));
            showActivity(receivedText(r.receivedBytes, r.expectedBytes));
            emit streamReceived();
            return;
        }
    }
    // Everything is in, or the board has stopped sending: the chart shows what arrived.
    f_.timRx->stop();
    finishTransfer();
}

bool MeasurementRun::applyMemoryHeader(const QByteArray& got)
{
    const auto header = parseMemoryHeader(got);
    if (!header)
        return false;
    auto& r = f_.record;
    for (int axis = AxisX; axis <= AxisZ; ++axis)
        f_.channelBoxes[std::size_t(axis)]->setChecked(header->channels.has(axis));
    setup_.CalcUseChnl();
    r.expectedBytes = transferBytes(header->samples, r.channelCount);
    f_.cbF->setCurrentIndex(header->frequencyIndex);
    r.sampleRateHz = selectedRate();
    r.samplePeriodUs = 1000000.0 / r.sampleRateHz;
    f_.cbRange->setCurrentIndex(header->rangeIndex);
    // The calibration was scaled to the range selected when "Считать" was pressed; the
    // recording's own range is the one its samples are in.
    r.scaleToRange(header->rangeIndex);
    return true;
}

void MeasurementRun::pollMemory(QByteArray got)
{
    auto& r = f_.record;
    std::uint8_t& readBlock = link_->commandBuffer[1];
    if (readBlock == 0) {
        if (!applyMemoryHeader(got)) {
            // Not a recording (yet): the timer goes on and the next tick reads block 0 again.
            showActivity(QStringLiteral("Не удалось считать FRAM"));
            return;
        }
        got.remove(0, kMemoryHeaderBytes);
    }
    const BlockStep step =
        memoryBlockStep(readBlock, r.receivedBytes, r.expectedBytes, std::uint32_t(got.size()));
    readBlock = step.nextBlock;
    r.appendReceived(got.constData(), step.take);
    if (step.finished) {
        f_.timRx->stop();
        finishTransfer();
        return;
    }
    requestBlock(step.nextBlock);
}

void MeasurementRun::requestBlock(std::uint8_t block)
{
    link_->commandBuffer[0] = cmd::ReadMemoryBlock;
    link_->commandBuffer[1] = block;
    if (link_->SendCmd(2) != 0) {
        sendFailed(
            QStringLiteral("Не удалось передать команду Считать FRAM, проверьте подключение устройства."));
        // Polling on would count the block that was never asked for as read and join the next
        // block's bytes to the earlier ones out of step with the frames. The chart shows what
        // did arrive.
        f_.timRx->stop();
        finishTransfer();
        return;
    }
    f_.timRx->start(1000);
    showActivity(receivedText(f_.record.receivedBytes, f_.record.expectedBytes));
}

void MeasurementRun::finishTransfer()
{
    f_.record.loadedFromFile = false;
    showActivity(QStringLiteral("Построение графика"));
    if (f_.cbExternalStart->isChecked())
        correctExternalStart();
    f_.ShowChart(f_.timRx);
}

void MeasurementRun::correctExternalStart()
{
    // The start time is the moment of the start command; the board knows when the contact opened.
    link_->commandBuffer[0] = cmd::ExternalStartDelay;
    link_->SendCmd(1);
    const QByteArray reply = link_->readReply(kBulkReplyMax);
    if (const auto ms = externalStartDelayMs(reply)) {
        auto& r = f_.record;
        // Not added to the start time as it stands: a second read of the same recording, or a
        // read after a file load, would shift it again.
        const QDateTime base = startCommandTime_.isValid() ? startCommandTime_ : r.startTime;
        r.startTime = base.addMSecs(*ms);
        f_.status->setPanelText(1, startTimeText(r.startTime, QLocale::system()) +
                                       QStringLiteral(" начало измерения"));
    }
}

void MeasurementRun::btRdClick()
{
    f_.btUSBClick();
    f_.record.scaleToRange(f_.cbRange->currentIndex());
    f_.timCheckUSB->stop();
    link_->commandBuffer[0] = cmd::ReadMemoryBlock;
    link_->commandBuffer[1] = 0;
    if (link_->SendCmd(2) != 0) {
        // Nothing was asked for, so there is nothing to poll for (a run to memory may have
        // left the timer telling that its time is up).
        f_.timRx->stop();
        sendFailed(
            QStringLiteral("Не удалось передать команду Считать FRAM, проверьте подключение устройства."));
        return;
    }
    showActivity(QStringLiteral("СЧИТЫВАНИЕ FRAM, 32КБайт"));
    f_.record.clearForTransfer(0);
    f_.timRx->start(1000);
}

void MeasurementRun::btFM25ProtectClrClick()
{
    link_->commandBuffer[0] = cmd::ClearProtection;
    link_->commandBuffer[1] = 0x00;
    link_->pause();
    if (link_->SendCmd(2) != 0)
        return;
    link_->pause();
    const QByteArray reply = link_->readReply(kProtectionReplyMax);
    if (protectionCleared(link_->lastStatus, reply))
        message(QStringLiteral("Память готова к записи"));
}

} // namespace acq
