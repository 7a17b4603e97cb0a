#include "acquisition/ui/setuppanel.h"

#include "acquisition/setuprules.h"
#include "app/ui/controls.h"
#include "platform/ui/help.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>
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

UpDown::UpDown(QWidget* parent) : QWidget(parent)
{
    auto* col = new QVBoxLayout(this);
    col->setContentsMargins(0, 0, 0, 0);
    col->setSpacing(0);
    up_ = new QToolButton(this);
    up_->setArrowType(Qt::UpArrow);
    up_->setFixedSize(16, 11);
    down_ = new QToolButton(this);
    down_->setArrowType(Qt::DownArrow);
    down_->setFixedSize(16, 11);
    col->addWidget(up_);
    col->addWidget(down_);
    connect(up_, &QToolButton::clicked, this, &UpDown::upClicked);
    connect(down_, &QToolButton::clicked, this, &UpDown::downClicked);
}

SetupPanel::SetupPanel(MeasurementRecord& record, QFrame* toolBar, QObject* parent) : QObject(parent), record_(record)
{
    btChooseF = app::toolButton(toolBar, "btChooseF", QStringLiteral("Выбор F/T"),
                                QStringLiteral("Выбрать частоту выборки / время измерения"));
    gbFT = app::group(nullptr, "gbFT", QStringLiteral("Частота выборки / Время измерения"));
    // It floats over the chart: the traces must not run through its captions.
    gbFT->setAutoFillBackground(true);
    buildTimeGroup();
    buildStartGroup();
    buildOtherGroups();
    auto* outer = new QGridLayout(gbFT);
    outer->setContentsMargins(6, 4, 6, 6);
    outer->setHorizontalSpacing(6);
    outer->setVerticalSpacing(4);
    outer->addWidget(gbTFparam, 0, 0, 1, 2);
    outer->addWidget(gbStart, 1, 0, 1, 2);
    outer->addWidget(rgMem, 2, 0);
    outer->addWidget(gbSensitivity, 2, 1);
    outer->addWidget(gbChannels, 3, 0);
    outer->addWidget(btStart, 3, 1);
    gbFT->adjustSize();
    gbFT->hide();
    buildStepGroup();
    for (QWidget* w : std::initializer_list<QWidget*>{
             btChooseF, btStart, gbFT, gbTFparam, seTime, se2Time, se2F, cbF, seSamples, seTimeStep, seSamplesStep,
             lbTime, seDelayStart, gbStart, cbExternalStart, rgMem, gbSensitivity, cbRange, gbChannels, cbCh1, cbCh2,
             cbCh3})
        platform::setHelpContext(w, 4);
    platform::setHelpContext(gbFDiscret, 5);
    connectHandlers();
}

void SetupPanel::connectHandlers()
{
    connect(btChooseF, &QToolButton::clicked, this, &SetupPanel::btChooseFClick);
    // The lists' handler follows the operator's choice only; the spin edits' and boxes' follow
    // every change, the program's included.
    connect(cbF, &QComboBox::activated, this, &SetupPanel::cbFChange);
    connect(cbRange, &QComboBox::activated, this, &SetupPanel::cbFChange);
    connect(seTime, &QSpinBox::valueChanged, this, &SetupPanel::seTimeChange);
    connect(seDelayStart, &QSpinBox::valueChanged, this, &SetupPanel::seTimeChange);
    connect(seSamples, &QSpinBox::valueChanged, this, &SetupPanel::seSamplesChange);
    // A value below the bounds is raised as the field is left, when the handlers above no longer
    // see the focus on it: recompute from it all the same.
    for (QSpinBox* edit : {seTime, seSamples})
        if (auto* spin = qobject_cast<app::SpinEdit*>(edit))
            connect(spin, &app::SpinEdit::clampedOnLeave, this, [this, edit] { CalcFTSamples(edit); });
    // The step fields take their step as they are left, which is before a typed value is raised
    // into their bounds: take it again once it has been.
    if (auto* spin = qobject_cast<app::SpinEdit*>(seTimeStep))
        connect(spin, &app::SpinEdit::clampedOnLeave, this, &SetupPanel::seTimeStepExit);
    if (auto* spin = qobject_cast<app::SpinEdit*>(seSamplesStep))
        connect(spin, &app::SpinEdit::clampedOnLeave, this, &SetupPanel::seSamplesStepExit);
    connect(se2F, &UpDown::upClicked, this, &SetupPanel::se2FUpClick);
    connect(se2F, &UpDown::downClicked, this, &SetupPanel::se2FDownClick);
    connect(se2Time, &UpDown::upClicked, this, &SetupPanel::se2TimeUpClick);
    connect(se2Time, &UpDown::downClicked, this, &SetupPanel::se2TimeDownClick);
    connect(se2Samples, &UpDown::upClicked, this, &SetupPanel::se2SamplesUpClick);
    connect(se2Samples, &UpDown::downClicked, this, &SetupPanel::se2SamplesDownClick);
    connect(cbCh1, &QCheckBox::toggled, this, &SetupPanel::cbCh1Click);
    connect(cbCh2, &QCheckBox::toggled, this, &SetupPanel::cbCh2Click);
    connect(cbCh3, &QCheckBox::toggled, this, &SetupPanel::cbCh3Click);
    connect(btStart, &QPushButton::clicked, this, &SetupPanel::startRequested);
    connect(rgMem, &app::RadioGroup::changed, this, &SetupPanel::rgMemClick);
    connect(cbExternalStart, &QCheckBox::toggled, this, &SetupPanel::cbExternalStartClick);
    btStart->installEventFilter(this);
    seTimeStep->installEventFilter(this);
    seSamplesStep->installEventFilter(this);
}

void SetupPanel::buildTimeGroup()
{
    gbTFparam = app::group(gbFT, "gbTFparam", {});
    auto* tf = new QGridLayout(gbTFparam);
    tf->setContentsMargins(6, 4, 6, 4);
    tf->setVerticalSpacing(2);

    cbF = app::listBox(gbTFparam, "cbF", frequencyItemTexts());
    cbF->setToolTip(QStringLiteral("Частота выборки"));
    se2F = new UpDown(gbTFparam);
    se2F->setObjectName(QStringLiteral("se2F"));
    seTime = app::spinEdit(gbTFparam, "seTime", 1, 20970880, 1000);
    seTime->setToolTip(QStringLiteral("Время измерения"));
    se2Time = new UpDown(gbTFparam);
    se2Time->setObjectName(QStringLiteral("se2Time"));
    lbTime = app::label(gbTFparam, {}, nullptr, "lbTime");
    app::setFontColour(lbTime, Qt::blue);
    seSamples = app::spinEdit(gbTFparam, "seSamples", 1, 26843546, 16384);
    se2Samples = new UpDown(gbTFparam);
    se2Samples->setObjectName(QStringLiteral("se2Samples"));

    tf->addWidget(app::label(gbTFparam, QStringLiteral("Fвыборки, Гц"), cbF), 0, 0);
    tf->addWidget(cbF, 0, 1);
    tf->addWidget(se2F, 0, 2);
    tf->addWidget(app::label(gbTFparam, QStringLiteral("Тизмерения, мс"), seTime), 1, 0);
    tf->addWidget(seTime, 1, 1);
    tf->addWidget(se2Time, 1, 2);
    tf->addWidget(lbTime, 2, 0, 1, 3);
    tf->addWidget(app::label(gbTFparam, QStringLiteral("Число выборок в серии"), seSamples), 3, 0);
    tf->addWidget(seSamples, 3, 1);
    tf->addWidget(se2Samples, 3, 2);
}

void SetupPanel::buildStartGroup()
{
    gbStart = app::group(gbFT, "gbStart", QStringLiteral("Запуск"));
    auto* st = new QGridLayout(gbStart);
    st->setContentsMargins(6, 4, 6, 4);
    st->setVerticalSpacing(2);
    seDelayStart = app::spinEdit(gbStart, "seDelayStart", 0, 250, 0);
    seDelayStart->setToolTip(QStringLiteral("0..250c"));
    seDelayStart->setMaximumWidth(60);
    lbDelayStart = app::label(gbStart, QStringLiteral("Пауза перед измерением, с"), seDelayStart, "lbDelayStart");
    cbExternalStart = new QCheckBox(gbStart);
    cbExternalStart->setObjectName(QStringLiteral("cbExternalStart"));
    cbExternalStart->setToolTip(
        QStringLiteral("После нажатия кнопки ПУСК ИЗМЕРЕНИЯ разомкнуть контакты на плате"));
    lbExternalStart =
        app::label(gbStart, QStringLiteral("Внешний запуск (на плате)"), cbExternalStart, "lbExternalStart");
    cbExternalStart->setAccessibleName(lbExternalStart->text());
    // One row each, so that the panel stays within the plot of the first window and leaves the
    // time axis readable.
    st->addWidget(lbDelayStart, 0, 0);
    st->addWidget(seDelayStart, 0, 1);
    st->addItem(new QSpacerItem(12, 0, QSizePolicy::Expanding), 0, 2);
    st->addWidget(cbExternalStart, 0, 3);
    st->addWidget(lbExternalStart, 0, 4);
}

void SetupPanel::buildOtherGroups()
{
    rgMem = new app::RadioGroup(QStringLiteral("Запись данных"),
                                {QStringLiteral("В компьютер"), QStringLiteral("В память")}, 2, gbFT);
    rgMem->setObjectName(QStringLiteral("rgMem"));

    gbSensitivity = app::group(gbFT, "gbSensitivity", QStringLiteral("ДИАПАЗОН"));
    auto* sens = new QVBoxLayout(gbSensitivity);
    sens->setContentsMargins(6, 4, 6, 4);
    cbRange = app::listBox(gbSensitivity, "cbRange", rangeItemTexts());
    cbRange->setToolTip(QStringLiteral("Диапазон измеряемых ускорений"));
    sens->addWidget(cbRange);

    gbChannels = app::group(gbFT, "gbChannels", QStringLiteral("КАНАЛЫ"));
    auto* ch = new QHBoxLayout(gbChannels);
    ch->setContentsMargins(6, 4, 6, 4);
    cbCh1 = new QCheckBox(QStringLiteral("X"), gbChannels);
    cbCh1->setObjectName(QStringLiteral("cbCh1"));
    cbCh2 = new QCheckBox(QStringLiteral("Y"), gbChannels);
    cbCh2->setObjectName(QStringLiteral("cbCh2"));
    cbCh3 = new QCheckBox(QStringLiteral("Z"), gbChannels);
    cbCh3->setObjectName(QStringLiteral("cbCh3"));
    channelBoxes = {cbCh1, cbCh2, cbCh3};
    for (auto* b : channelBoxes) {
        b->setChecked(true);
        ch->addWidget(b);
    }

    btStart = new QPushButton(QStringLiteral("ПУСК ИЗМЕРЕНИЯ"), gbFT);
    btStart->setObjectName(QStringLiteral("btStart"));
    btStart->setToolTip(QStringLiteral("Запуск измерения"));
    app::setFontColour(btStart, Qt::red);
    QFont bold = btStart->font();
    bold.setBold(true);
    btStart->setFont(bold);
}

void SetupPanel::buildStepGroup()
{
    // The step sizes of the spin arrows are kept in the settings but not offered
    // for editing: the group stays hidden.
    gbFDiscret = app::group(nullptr, "gbFDiscret", QStringLiteral("Дискретность изменения"));
    auto* fd = new QHBoxLayout(gbFDiscret);
    seTimeStep = app::spinEdit(gbFDiscret, "seTimeStep", 1, 50000, 1);
    seSamplesStep = app::spinEdit(gbFDiscret, "seSamplesStep", 1, 50000, 1);
    fd->addWidget(app::label(gbFDiscret, QStringLiteral("T, мс"), seTimeStep));
    fd->addWidget(seTimeStep);
    fd->addWidget(app::label(gbFDiscret, QStringLiteral("N"), seSamplesStep));
    fd->addWidget(seSamplesStep);
    gbFDiscret->hide();
}

QCheckBox* SetupPanel::channelBox(int axis) const
{
    return channelBoxes[std::size_t(std::clamp(axis, 0, 2))];
}

SetupValues SetupPanel::values() const
{
    SetupValues v;
    v.frequency = cbF->currentIndex();
    v.range = cbRange->currentIndex();
    v.samples = seSamples->value();
    v.target = rgMem->itemIndex();
    v.externalStart = cbExternalStart->isChecked();
    v.delayS = seDelayStart->value();
    for (int i = 0; i < 3; ++i)
        v.channels[std::size_t(i)] = channelChecked(i);
    v.timeStep = seTimeStep->value();
    v.samplesStep = seSamplesStep->value();
    return v;
}

bool SetupPanel::channelChecked(int axis) const
{
    return channelBox(axis)->isChecked();
}

QString SetupPanel::channelCaption(int axis) const
{
    return channelBox(axis)->text();
}

void SetupPanel::setChannelChecked(int axis, bool checked)
{
    channelBox(axis)->setChecked(checked);
}

void SetupPanel::setChannelColour(int axis, const QColor& colour)
{
    app::setChannelBoxColour(channelBox(axis), colour);
}

void SetupPanel::setSamples(int samples)
{
    seSamples->setValue(samples);
}

void SetupPanel::setTime(int ms)
{
    seTime->setValue(ms);
    lbTime->setText(timeBreakdownText(seTime->value(), systemDecimalSeparator()));
}

void SetupPanel::setTarget(int target)
{
    rgMem->setItemIndex(target);
}

void SetupPanel::setExternalStart(bool external)
{
    cbExternalStart->setChecked(external);
}

void SetupPanel::setDelay(int seconds)
{
    seDelayStart->setValue(seconds);
}

void SetupPanel::setSteps(int timeStep, int samplesStep)
{
    seTimeStep->setValue(timeStep);
    seSamplesStep->setValue(samplesStep);
}

void SetupPanel::setFrequencyIndex(int index)
{
    cbF->setCurrentIndex(index);
}

void SetupPanel::setRangeIndex(int index)
{
    cbRange->setCurrentIndex(index);
}

void SetupPanel::setRangeItemTexts(const QStringList& texts)
{
    // Renamed in place: the selected item and the list's handlers stay as they were.
    for (int i = 0; i < texts.size() && i < cbRange->count(); ++i)
        cbRange->setItemText(i, texts.at(i));
}

void SetupPanel::timeFromSamples()
{
    CalcFTSamples(seSamples);
}

void SetupPanel::applySettings(const SetupValues& v)
{
    const auto itemOrFirst = [](const QComboBox* list, int index) {
        return index >= 0 && index < list->count() ? index : 0;
    };
    setSteps(v.timeStep, v.samplesStep);
    for (int i = 0; i < 3; ++i)
        setChannelChecked(i, v.channels[std::size_t(i)]);
    cbRange->setCurrentIndex(itemOrFirst(cbRange, v.range));
    cbF->setCurrentIndex(itemOrFirst(cbF, v.frequency));
    seSamples->setValue(v.samples);
    rgMem->setItemIndex(v.target);
    cbExternalStart->setChecked(v.externalStart);
    seDelayStart->setValue(v.delayS);
    CalcUseChnl(); // the boxes may have changed one by one above
    rgMemClick();  // target rules and the memory limit
    if (rgMem->itemIndex() == 1 && seSamples->value() > 131072)
        seSamples->setValue(131072);
    // The run divides by the sampling rate before anything else sets it, so the rate of the
    // selected item is taken at once.
    if (const auto rate = frequencyFromText(cbF->currentText(), systemDecimalSeparator()))
        record_.sampleRateHz = *rate;
    if (record_.channelCount == 0) {
        record_.channelCount = 3;
        for (int i = 0; i < 3; ++i)
            setChannelChecked(i, true);
    }
}

bool SetupPanel::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == btStart && event->type() == QEvent::KeyPress)
        return btStartKeyPress(static_cast<QKeyEvent*>(event)->key());
    if (event->type() == QEvent::FocusOut) {
        if (watched == seTimeStep)
            seTimeStepExit();
        else if (watched == seSamplesStep)
            seSamplesStepExit();
    }
    return QObject::eventFilter(watched, event);
}

void SetupPanel::showPanel(bool shown)
{
    gbFT->setVisible(shown);
    btChooseF->setText(shown ? QStringLiteral("Закрыть") : QStringLiteral("Выбор F/T"));
    app::setFontColour(btChooseF, shown ? Qt::red : Qt::black);
}

void SetupPanel::btChooseFClick()
{
    if (gbFT->isVisible()) {
        showPanel(false);
        return;
    }
    showPanel(true);
    seTime->setFocus();
    seTimeChange();
    gbFT->raise();
}

bool SetupPanel::btStartKeyPress(int key)
{
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        emit startRequested();
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
    if (cbF->hasFocus())
        CalcFTSamples(cbF);
}

void SetupPanel::seTimeChange()
{
    if (seTime->hasFocus())
        CalcFTSamples(seTime);
}

void SetupPanel::seSamplesChange()
{
    if (seSamples->hasFocus())
        CalcFTSamples(seSamples);
}

void SetupPanel::se2FUpClick()
{
    if (cbF->currentIndex() > 0)
        cbF->setCurrentIndex(cbF->currentIndex() - 1);
    CalcFTSamples(se2F);
}

void SetupPanel::se2FDownClick()
{
    if (cbF->currentIndex() < cbF->count() - 1)
        cbF->setCurrentIndex(cbF->currentIndex() + 1);
    CalcFTSamples(se2F);
}

void SetupPanel::se2TimeUpClick()
{
    seTime->setFocus();
    seTime->setValue(toSpinValue(std::int64_t(seTime->value()) * 2));
    CalcFTSamples(se2Time);
}

void SetupPanel::se2TimeDownClick()
{
    seTime->setFocus();
    seTime->setValue(toSpinValue(halved(seTime->value())));
    CalcFTSamples(se2Time);
}

void SetupPanel::se2SamplesUpClick()
{
    seSamples->setFocus();
    seSamples->setValue(toSpinValue(std::int64_t(seSamples->value()) * 2));
    CalcFTSamples(se2Samples);
}

void SetupPanel::se2SamplesDownClick()
{
    seSamples->setFocus();
    seSamples->setValue(toSpinValue(halved(seSamples->value())));
    CalcFTSamples(se2Samples);
}

void SetupPanel::channelClick(int axis)
{
    emit channelToggled(axis, channelChecked(axis));
    CalcUseChnl();
    CalcFTSamples(seSamples);
}

void SetupPanel::rgMemClick()
{
    if (rgMem->itemIndex() == 1) {
        cbExternalStart->setEnabled(true);
        lbExternalStart->setEnabled(true);
        const bool external = cbExternalStart->isChecked();
        seDelayStart->setEnabled(!external);
        lbDelayStart->setEnabled(!external);
        CalcFTSamples(rgMem);
    } else {
        // A run to the computer is always started by the program.
        cbExternalStart->setChecked(false);
        seDelayStart->setEnabled(true);
        lbDelayStart->setEnabled(true);
        cbExternalStart->setEnabled(false);
        lbExternalStart->setEnabled(false);
    }
}

void SetupPanel::cbExternalStartClick()
{
    if (rgMem->itemIndex() == 0 && cbExternalStart->isChecked())
        cbExternalStart->setChecked(false); // runs this handler again, unchecked
    // The start command carries no delay with an external start.
    const bool external = cbExternalStart->isChecked();
    seDelayStart->setEnabled(!external);
    lbDelayStart->setEnabled(!external);
}

void SetupPanel::seTimeStepExit()
{
    seTime->setSingleStep(std::max(1, seTimeStep->value()));
}

void SetupPanel::seSamplesStepExit()
{
    seSamples->setSingleStep(std::max(1, seSamplesStep->value()));
}

double SetupPanel::selectedRateHz() const
{
    // With no item selected the first one counts.
    const int index = std::max(0, cbF->currentIndex());
    if (const auto rate = frequencyFromText(cbF->itemText(index), systemDecimalSeparator()))
        return *rate;
    return kFrequencyTable[0].hz;
}

ChannelSet SetupPanel::checkedChannels() const
{
    return {cbCh1->isChecked(), cbCh2->isChecked(), cbCh3->isChecked()};
}

void SetupPanel::CalcUseChnl()
{
    record_.calcUseChnl(checkedChannels());
}

void SetupPanel::CalcFTSamples(QObject* origin)
{
    if (cbF->currentIndex() < 0)
        cbF->setCurrentIndex(0);
    const QChar separator = systemDecimalSeparator();
    if (const auto rate = frequencyFromText(cbF->currentText(), separator))
        record_.sampleRateHz = *rate;

    FTDirection direction = FTDirection::LimitsOnly;
    if (origin == cbF || origin == seSamples || origin == se2F || origin == se2Samples)
        direction = FTDirection::TimeFromSamples;
    else if (origin == seTime || origin == se2Time)
        direction = FTDirection::SamplesFromTime;

    const FTValues v =
        reconcileFT(direction, record_.sampleRateHz, {seTime->value(), seSamples->value()},
                    rgMem->itemIndex() == 1, record_.channelCount);
    // Writing into the focused control calls this again through its change handler; the nested
    // call finds the values consistent and changes nothing more.
    seTime->setValue(toSpinValue(v.timeMs));
    seSamples->setValue(toSpinValue(v.samples));
    lbTime->setText(timeBreakdownText(seTime->value(), separator));
}

} // namespace acq
