#include "display/ui/chartviewoptions.h"

#include <QCheckBox>
#include <QVBoxLayout>

#include "display/ui/signalchart.h"

namespace display {

ChartViewOptions::ChartViewOptions(SignalChart& chart, QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("chartViewOptions"));
    auto* col = new QVBoxLayout(this);
    col->setContentsMargins(2, 0, 2, 0);
    col->setSpacing(1);
    fitValues_ = new QCheckBox(QStringLiteral("Ось Y по видимому участку"), this);
    fitValues_->setObjectName(QStringLiteral("cbFitVisible"));
    fitValues_->setToolTip(
        QStringLiteral("При прокрутке и изменении масштаба времени ось значений подгоняется к видимому участку"));
    pulseStrip_ = new QCheckBox(QStringLiteral("Импульсы отдельной полосой"), this);
    pulseStrip_->setObjectName(QStringLiteral("cbPulseStrip"));
    pulseStrip_->setToolTip(QStringLiteral("Линия Pls рисуется узкой полосой под сигналами"));
    markerTable_ = new QCheckBox(QStringLiteral("Таблица значений в точках"), this);
    markerTable_->setObjectName(QStringLiteral("cbMarkerTable"));
    markerTable_->setToolTip(QStringLiteral("Значения сигналов в точках интервала, над графиком"));
    markerTable_->setChecked(true);
    col->addWidget(fitValues_);
    col->addWidget(pulseStrip_);
    col->addWidget(markerTable_);
    connect(fitValues_, &QCheckBox::toggled, &chart, &SignalChart::setFitValuesToVisible);
    connect(pulseStrip_, &QCheckBox::toggled, &chart, &SignalChart::setPulseStrip);
}

} // namespace display
