#include "acquisition/ui/setuppanel.h"

#include "acquisition/setuprules.h"
#include "app/ui/mainwindow.h"

#include <QKeyEvent>
#include <QLocale>

namespace acq {

namespace {

QChar systemDecimalSeparator()
{
    const QString p = QLocale::system().decimalPoint();
    return p.isEmpty() ? QLatin1Char('.') : p.at(0);
}

int toSpinValue(std::int64_t v)
{
    return int(std::clamp<std::int64_t>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

} // namespace

void setCaptionColour(QWidget* w, const QColor& colour)
{
    QPalette pal = w->palette();
    pal.setColor(QPalette::ButtonText, colour);
    pal.setColor(QPalette::WindowText, colour);
    w->setPalette(pal);
}

SetupPanel::SetupPanel(app::TForm1& form) : QObject(&form), f_(form)
{
    connect(f_.btChooseF, &QToolButton::clicked, this, &SetupPanel::btChooseFClick);
    // The lists' handler follows the operator's choice only; the spin edits' and boxes' follow
    // every change, the program's included.
    connect(f_.cbF, &QComboBox::activated, this, &SetupPanel::cbFChange);
    connect(f_.cbRange, &QComboBox::activated, this, &SetupPanel::cbFChange);
    connect(f_.seTime, &QSpinBox::valueChanged, this, &SetupPanel::seTimeChange);
    connect(f_.seDelayStart, &QSpinBox::valueChanged, this, &SetupPanel::seTimeChange);
    connect(f_.seSamples, &QSpinBox::valueChanged, this, &SetupPanel::seSamplesChange);
    // A value below the bounds is raised as the field is left, when the handlers above no longer
    // see the focus on it: recompute from it all the same.
    for (QSpinBox* edit : {f_.seTime, f_.seSamples})
        if (auto* spin = qobject_cast<app::SpinEdit*>(edit))
            connect(spin, &app::SpinEdit::clampedOnLeave, this, [this, edit] { CalcFTSamples(edit); });
    // The step fields take their step as they are left, which is before a typed value is raised
    // into their bounds: take it again once it has been.
    if (auto* spin = qobject_cast<app::SpinEdit*>(f_.seTimeStep))
        connect(spin, &app::SpinEdit::clampedOnLeave, this, &SetupPanel::seTimeStepExit);
    if (auto* spin = qobject_cast<app::SpinEdit*>(f_.seSamplesStep))
        connect(spin, &app::SpinEdit::clampedOnLeave, this, &SetupPanel::seSamplesStepExit);
    connect(f_.se2F, &app::UpDown::upClicked, this, &SetupPanel::se2FUpClick);
    connect(f_.se2F, &app::UpDown::downClicked, this, &SetupPanel::se2FDownClick);
    connect(f_.se2Time, &app::UpDown::upClicked, this, &SetupPanel::se2TimeUpClick);
    connect(f_.se2Time, &app::UpDown::downClicked, this, &SetupPanel::se2TimeDownClick);
    connect(f_.se2Samples, &app::UpDown::upClicked, this, &SetupPanel::se2SamplesUpClick);
    connect(f_.se2Samples, &app::UpDown::downClicked, this, &SetupPanel::se2SamplesDownClick);
    connect(f_.cbCh1, &QCheckBox::toggled, this, &SetupPanel::cbCh1Click);
    connect(f_.cbCh2, &QCheckBox::toggled, this, &SetupPanel::cbCh2Click);
    connect(f_.cbCh3, &QCheckBox::toggled, this, &SetupPanel::cbCh3Click);
    connect(f_.rgMem, &app::RadioGroup::changed, this, &SetupPanel::rgMemClick);
    connect(f_.cbExternalStart, &QCheckBox::toggled, this, &SetupPanel::cbExternalStartClick);
    f_.btStart->installEventFilter(this);
    f_.seTimeStep->installEventFilter(this);
    f_.seSamplesStep->installEventFilter(this);
}

bool SetupPanel::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == f_.btStart && event->type() == QEvent::KeyPress)
        return btStartKeyPress(static_cast<QKeyEvent*>(event)->key());
    if (event->type() == QEvent::FocusOut) {
        if (watched == f_.seTimeStep)
            seTimeStepExit();
        else if (watched == f_.seSamplesStep)
            seSamplesStepExit();
    }
    return QObject::eventFilter(watched, event);
}

void SetupPanel::showPanel(bool shown)
{
    f_.gbFT->setVisible(shown);
    f_.btChooseF->setText(shown ? QStringLiteral("Закрыть") : QStringLiteral("Выбор F/T"));
    setCaptionColour(f_.btChooseF, shown ? Qt::red : Qt::black);
}

void SetupPanel::btChooseFClick()
{
    if (f_.gbFT->isVisible()) {
        showPanel(false);
        return;
    }
    showPanel(true);
    f_.seTime->setFocus();
    seTimeChange();
    f_.gbFT->raise();
}

bool SetupPanel::btStartKeyPress(int key)
{
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        f_.btStartClick();
        return true;
    }
    if (key == Qt::Key_Escape) {
        // The toggle button goes back to "Выбор F/T" as well: it must not offer to close a
        // panel that is no longer open.
        showPanel(false);
        return true;
    }
    return false;
}

void SetupPanel::cbFChange()
{
    if (f_.cbF->hasFocus())
        CalcFTSamples(f_.cbF);
}

void SetupPanel::seTimeChange()
{
    if (f_.seTime->hasFocus())
        CalcFTSamples(f_.seTime);
}

void SetupPanel::seSamplesChange()
{
    if (f_.seSamples->hasFocus())
        CalcFTSamples(f_.seSamples);
}

void SetupPanel::se2FUpClick()
{
    if (f_.cbF->currentIndex() > 0)
        f_.cbF->setCurrentIndex(f_.cbF->currentIndex() - 1);
    CalcFTSamples(f_.se2F);
}

void SetupPanel::se2FDownClick()
{
    if (f_.cbF->currentIndex() < f_.cbF->count() - 1)
        f_.cbF->setCurrentIndex(f_.cbF->currentIndex() + 1);
    CalcFTSamples(f_.se2F);
}

void SetupPanel::se2TimeUpClick()
{
    f_.seTime->setFocus();
    f_.seTime->setValue(toSpinValue(std::int64_t(f_.seTime->value()) * 2));
    CalcFTSamples(f_.se2Time);
}

void SetupPanel::se2TimeDownClick()
{
    f_.seTime->setFocus();
    f_.seTime->setValue(toSpinValue(halved(f_.seTime->value())));
    CalcFTSamples(f_.se2Time);
}

void SetupPanel::se2SamplesUpClick()
{
    f_.seSamples->setFocus();
    f_.seSamples->setValue(toSpinValue(std::int64_t(f_.seSamples->value()) * 2));
    CalcFTSamples(f_.se2Samples);
}

void SetupPanel::se2SamplesDownClick()
{
    f_.seSamples->setFocus();
    f_.seSamples->setValue(toSpinValue(halved(f_.seSamples->value())));
    CalcFTSamples(f_.se2Samples);
}

void SetupPanel::channelClick(int axis)
{
    f_.Chart1->setSeriesShown(f_.channelSeries[std::size_t(axis)],
                              f_.channelBoxes[std::size_t(axis)]->isChecked());
    CalcUseChnl();
    CalcFTSamples(f_.seSamples);
}

void SetupPanel::rgMemClick()
{
    if (f_.rgMem->itemIndex() == 1) {
        f_.cbExternalStart->setEnabled(true);
        f_.lbExternalStart->setEnabled(true);
        const bool external = f_.cbExternalStart->isChecked();
        f_.seDelayStart->setEnabled(!external);
        f_.lbDelayStart->setEnabled(!external);
        CalcFTSamples(f_.rgMem);
    } else {
        // A run to the computer is always started by the program.
        f_.cbExternalStart->setChecked(false);
        f_.seDelayStart->setEnabled(true);
        f_.lbDelayStart->setEnabled(true);
        f_.cbExternalStart->setEnabled(false);
        f_.lbExternalStart->setEnabled(false);
    }
}

void SetupPanel::cbExternalStartClick()
{
    if (f_.rgMem->itemIndex() == 0 && f_.cbExternalStart->isChecked())
        f_.cbExternalStart->setChecked(false); // runs this handler again, unchecked
    // The start command carries no delay with an external start.
    const bool external = f_.cbExternalStart->isChecked();
    f_.seDelayStart->setEnabled(!external);
    f_.lbDelayStart->setEnabled(!external);
}

void SetupPanel::seTimeStepExit()
{
    f_.seTime->setSingleStep(std::max(1, f_.seTimeStep->value()));
}

void SetupPanel::seSamplesStepExit()
{
    f_.seSamples->setSingleStep(std::max(1, f_.seSamplesStep->value()));
}

ChannelSet SetupPanel::checkedChannels() const
{
    return {f_.cbCh1->isChecked(), f_.cbCh2->isChecked(), f_.cbCh3->isChecked()};
}

void SetupPanel::CalcUseChnl()
{
    f_.record.calcUseChnl(checkedChannels());
}

void SetupPanel::CalcFTSamples(QObject* origin)
{
    if (f_.cbF->currentIndex() < 0)
        f_.cbF->setCurrentIndex(0);
    const QChar separator = systemDecimalSeparator();
    if (const auto rate = frequencyFromText(f_.cbF->currentText(), separator))
        f_.record.sampleRateHz = *rate;

    FTDirection direction = FTDirection::LimitsOnly;
    if (origin == f_.cbF || origin == f_.seSamples || origin == f_.se2F || origin == f_.se2Samples)
        direction = FTDirection::TimeFromSamples;
    else if (origin == f_.seTime || origin == f_.se2Time)
        direction = FTDirection::SamplesFromTime;

    const FTValues v =
        reconcileFT(direction, f_.record.sampleRateHz, {f_.seTime->value(), f_.seSamples->value()},
                    f_.rgMem->itemIndex() == 1, f_.record.channelCount);
    // Writing into the focused control calls this again through its change handler; the nested
    // call finds the values consistent and changes nothing more.
    f_.seTime->setValue(toSpinValue(v.timeMs));
    f_.seSamples->setValue(toSpinValue(v.samples));
    f_.lbTime->setText(timeBreakdownText(f_.seTime->value(), separator));
}

} // namespace acq
