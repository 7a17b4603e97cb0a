#include "acquisition/ui/linkindicator.h"

#include "acquisition/devicelink.h"
#include "acquisition/ui/acquisitionhost.h"
#include "acquisition/ui/measurementrun.h"
#include "app/ui/controls.h"
#include "platform/ui/help.h"

#include <QPainter>
#include <QTimer>
#include <QToolButton>

namespace acq {

namespace {

const QString kNoLink = QStringLiteral("USB: связь отсутствует");

QPixmap ledPixmap(const QColor& colour)
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(colour.darker(160), 1));
    p.setBrush(colour);
    p.drawEllipse(QRectF(2.5, 2.5, 11, 11));
    return pm;
}

} // namespace

LinkIndicator::LinkIndicator(MeasurementRun& run, AcquisitionHost& host, QFrame* toolBar)
    : QObject(toolBar->window()), run_(run), host_(host)
{
    btUSB = app::toolButton(toolBar, "btUSB", {}, QStringLiteral("Подключить АЦП к компьютеру"));
    platform::setHelpContext(btUSB, 403);
    hint_ = btUSB->toolTip();
    timCheckUSB = new QTimer(this);
    timCheckUSB->setObjectName(QStringLiteral("timCheckUSB"));
    timCheckUSB->setInterval(1000);
    imgUSBred = ledPixmap(QColor(0xE0, 0x20, 0x20));
    imgUSBgreen = ledPixmap(QColor(0x20, 0xC0, 0x20));

    connect(timCheckUSB, &QTimer::timeout, this, &LinkIndicator::check);
    connect(btUSB, &QToolButton::clicked, this, &LinkIndicator::checkNow);
    connect(&run, &MeasurementRun::boardShown, this, &LinkIndicator::showBoard);
    connect(&run, &MeasurementRun::linkCheckPaused, timCheckUSB, &QTimer::stop);
    connect(&run, &MeasurementRun::linkClosed, this, &LinkIndicator::showClosed);
    connect(&run, &MeasurementRun::linkReset, this, &LinkIndicator::btUSBClick);
    run.showBoard();
}

void LinkIndicator::showBoard(const QString& description)
{
    // A second line under the button's own hint, so the hint itself stays as it is.
    btUSB->setToolTip(hint_ + QStringLiteral("\nПлата: ") + description +
                      QStringLiteral("\nПравая кнопка — выбор платы («Плата…»)"));
}

bool LinkIndicator::boardBusy() const
{
    // After a start to memory the board records, or waits for its contact (an external start is
    // always to memory), until "Считать" or another start.
    return run_.polling() || run_.busy() || run_.link().commandBuffer[0] == cmd::StartToMemory;
}

void LinkIndicator::check()
{
    // The last question is still awaiting its answer.
    if (run_.checkingLink())
        return;
    if (boardBusy()) {
        // The run or read restarts the timer with its chart.
        timCheckUSB->stop();
        return;
    }
    run_.checkLink([this](bool answered) { showAnswer(answered); });
}

void LinkIndicator::showAnswer(bool answered)
{
    if (answered) {
        btUSB->setIcon(QIcon(imgUSBgreen));
        if (host_.statusText(0) == kNoLink)
            host_.setStatusText(0, QStringLiteral("USB: связь есть"));
    } else {
        btUSB->setIcon(QIcon(imgUSBred));
        host_.setStatusText(0, kNoLink);
    }
}

void LinkIndicator::checkNow()
{
    if (boardBusy())
        return;
    check();
    timCheckUSB->start();
}

void LinkIndicator::btUSBClick()
{
    host_.setStatusText(0, kNoLink);
    showClosed();
}

void LinkIndicator::showClosed()
{
    btUSB->setIcon(QIcon(imgUSBred));
    timCheckUSB->stop();
}

void LinkIndicator::restartChecks()
{
    timCheckUSB->start();
}

} // namespace acq
