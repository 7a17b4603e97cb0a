#include "acquisition/ui/measurementrun.h"

#include "acquisition/deviceconfig.h"
#include "acquisition/ui/setuppanel.h"
#include "app/ui/mainwindow.h"

#include <QDateTime>
#include <QEvent>

namespace acq {

MeasurementRun::MeasurementRun(app::TForm1& form, SetupPanel& setup) : QObject(&form), f_(form), setup_(setup)
{
    if (!f_.services().ticks)
        ownTicks_ = std::make_unique<platform::SystemTicks>();
    const DeviceSettings settings = readDeviceSettings(f_.paths.exeFolder + QLatin1String(kDeviceIniName),
                                                       qEnvironmentVariable(kDeviceEnvironmentVariable));
    library_ = std::make_unique<DeviceLibrary>(makeBackend(settings, ticks()));
    link_ = std::make_unique<DeviceLink>(*library_, ticks());

    f_.ctlBar->installEventFilter(this);
}

MeasurementRun::~MeasurementRun() = default;

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
    r.startTime = QDateTime::currentDateTime();
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

} // namespace acq
