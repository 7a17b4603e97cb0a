#include "acquisition/ui/linkindicator.h"

#include "acquisition/devicelink.h"
#include "acquisition/ui/measurementrun.h"
#include "app/ui/mainwindow.h"

namespace acq {

namespace {
const QString kNoLink = QStringLiteral("USB: связь отсутствует");
}

LinkIndicator::LinkIndicator(app::TForm1& form, MeasurementRun& run) : QObject(&form), f_(form), run_(run)
{
    connect(f_.timCheckUSB, &QTimer::timeout, this, &LinkIndicator::check);
    connect(f_.btUSB, &QToolButton::clicked, this, &LinkIndicator::checkNow);
}

bool LinkIndicator::boardBusy() const
{
    // After a start to memory the board records, or waits for its contact (an external start is
    // always to memory), until "Считать" or another start.
    return f_.timRx->isActive() || run_.busy() || run_.link().commandBuffer[0] == cmd::StartToMemory;
}

bool LinkIndicator::boardAnswers()
{
    // Past the command buffer: its code tells the receive timer what the last command was.
    DeviceLibrary& library = run_.device();
    const std::uint8_t ask[2] = {cmd::ReadRegister, 0x00};
    std::uint32_t written = 0;
    if (library.SI_Write(0, ask, sizeof ask, &written, nullptr) != 0)
        return false;
    std::uint8_t reply[kRegisterReplyMax];
    std::uint32_t got = 0;
    return library.SI_Read(0, reply, sizeof reply, &got, nullptr) == 0 && got > 0 && reply[0] == kDeviceId;
}

void LinkIndicator::check()
{
    if (boardBusy()) {
        // The run or read restarts the timer with its chart.
        f_.timCheckUSB->stop();
        return;
    }
    if (boardAnswers()) {
        f_.btUSB->setIcon(QIcon(f_.imgUSBgreen));
        if (f_.status->panelText(0) == kNoLink)
            f_.status->setPanelText(0, QStringLiteral("USB: связь есть"));
    } else {
        f_.btUSB->setIcon(QIcon(f_.imgUSBred));
        f_.status->setPanelText(0, kNoLink);
    }
}

void LinkIndicator::checkNow()
{
    if (boardBusy())
        return;
    check();
    f_.timCheckUSB->start();
}

} // namespace acq
