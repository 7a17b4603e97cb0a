#include "display/ui/chartpart.h"

#include "acquisition/measurementrecord.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QGridLayout>
#include <QMenu>
#include <QStyle>
#include <QToolButton>

#include "display/ui/chartbuilder.h"
#include "display/ui/chartinteraction.h"
#include "display/ui/chartoutput.h"
#include "display/ui/chartviewoptions.h"
#include "display/ui/cursortable.h"
#include "platform/ui/help.h"

namespace display {

using app::group;
using app::label;

ChartPart::ChartPart(acq::MeasurementRecord& record, app::Services services, QWidget* window)
    : QObject(window), record_(record), services_(services), window_(window)
{
    btPrint = app::toolButton(
        nullptr, "btPrint", {},
        QStringLiteral("Печать графика\nShift+щелчок или правая кнопка — просмотр и выбор принтера"),
        // The desktop's own icon where its theme has one, else the program's.
        QIcon::fromTheme(QStringLiteral("document-print"), QIcon(QStringLiteral(":/icons/print.svg"))));

    Chart1 = new SignalChart;
    btSaveChart = new QToolButton(Chart1);
    btSaveChart->setObjectName(QStringLiteral("btSaveChart"));
    btSaveChart->setIcon(window->style()->standardIcon(QStyle::SP_DialogSaveButton));
    btSaveChart->setToolTip(QStringLiteral(
        "Копировать график в формате SVG в буфер обмена. ДЛЯ СОХРАНЕНИЯ ГРАФИКА В ФАЙЛ *.svg, *.png "
        "или *.pdf удерживайте кнопку нажатой более секунды."));
    btSaveChart->resize(25, 21);

    buildAxesAndSmoothingGroups();
    buildModulusAndPulseGroups();
    buildOptionGroups();
    channelColourPanels = {pColorCh1, pColorCh2, pColorCh3};
    modulusBoxes = {cbXM, cbYM, cbZM};
    assignHelpNumbers();
}

ChartPart::~ChartPart() = default;

void ChartPart::buildAxesAndSmoothingGroups()
{
    // The window puts them into its "График" panel.
    gbScales = group(nullptr, "gbScales", QStringLiteral("Оси графика"));
    auto* sc = new QVBoxLayout(gbScales);
    sc->setContentsMargins(6, 2, 6, 4);
    sc->setSpacing(1);
    cbShowK = app::listBox(gbScales, "cbShowK",
                           {QStringLiteral("ЗНАЧЕНИЯ, ВРЕМЯ"), QStringLiteral("ед.АЦП,      ВЫБОРКИ"),
                            QStringLiteral("ЗНАЧЕНИЯ, ВЫБОРКИ"), QStringLiteral("ед.АЦП,      ВРЕМЯ")});
    app::setFontColour(cbShowK, Qt::red);
    QFont bold = cbShowK->font();
    bold.setBold(true);
    cbShowK->setFont(bold);
    lbPnt1 = label(gbScales, QStringLiteral("ось Y:        ось X:"), cbShowK, "lbPnt1");
    sc->addWidget(lbPnt1);
    sc->addWidget(cbShowK);

    gbSmooth = group(nullptr, "gbSmooth", QStringLiteral("Экспоненциальное сглаживание"));
    auto* sm = new QHBoxLayout(gbSmooth);
    sm->setContentsMargins(6, 2, 6, 4);
    cbSmooth = new QCheckBox(QStringLiteral("выполнить"), gbSmooth);
    cbSmooth->setObjectName(QStringLiteral("cbSmooth"));
    seSmooth = app::spinEdit(gbSmooth, "seSmooth", 2, 4096, 8);
    sm->addWidget(cbSmooth);
    sm->addWidget(label(gbSmooth, QStringLiteral("с весом"), seSmooth));
    sm->addWidget(seSmooth);
}

void ChartPart::buildModulusAndPulseGroups()
{
    GroupBox2 = group(nullptr, "GroupBox2", QStringLiteral("Вычислить МОДУЛЬ |a| по каналам"));
    auto* m = new QHBoxLayout(GroupBox2);
    m->setContentsMargins(6, 2, 6, 4);
    cbXM = new QCheckBox(QStringLiteral("X"), GroupBox2);
    cbXM->setObjectName(QStringLiteral("cbXM"));
    cbYM = new QCheckBox(QStringLiteral("Y"), GroupBox2);
    cbYM->setObjectName(QStringLiteral("cbYM"));
    cbZM = new QCheckBox(QStringLiteral("Z"), GroupBox2);
    cbZM->setObjectName(QStringLiteral("cbZM"));
    for (auto* b : {cbXM, cbYM, cbZM}) {
        b->setChecked(true);
        m->addWidget(b);
    }

    rgTimGrad = new app::RadioGroup(QStringLiteral("Отображать при балансировке"),
                                    {QStringLiteral("Время"), QStringLiteral("Градусы")}, 2);
    rgTimGrad->setObjectName(QStringLiteral("rgTimGrad"));
}

void ChartPart::buildOptionGroups()
{
    gbColours = group(nullptr, "gbColours", QStringLiteral("ЦВЕТ канала"));
    auto* cg = new QGridLayout(gbColours);
    cg->setContentsMargins(6, 2, 6, 4);
    cg->setVerticalSpacing(1);
    const char* names[5] = {"pColorCh1", "pColorCh2", "pColorCh3", "pIaICl", "pPlsCl"};
    const QStringList captions{QStringLiteral("X"), QStringLiteral("Y"), QStringLiteral("Z"),
                               QStringLiteral("IaI"), QStringLiteral("Pls")};
    std::array<app::ColourPanel*, 5> panels{};
    for (int i = 0; i < 5; ++i) {
        auto* p = new app::ColourPanel(gbColours);
        p->setObjectName(QLatin1String(names[i]));
        p->setFixedSize(28, 18);
        p->setToolTip(QStringLiteral("Цвет серии ") + captions[i]);
        auto* l = label(gbColours, captions[i], p);
        l->setAlignment(Qt::AlignCenter);
        cg->addWidget(l, 0, i);
        cg->addWidget(p, 1, i, Qt::AlignCenter);
        panels[std::size_t(i)] = p;
    }
    pColorCh1 = panels[0];
    pColorCh2 = panels[1];
    pColorCh3 = panels[2];
    pIaICl = panels[3];
    pPlsCl = panels[4];

    gbXshow = group(nullptr, "gbXshow", QStringLiteral("ВРЕМЯ"));
    auto* xs = new QHBoxLayout(gbXshow);
    xs->setContentsMargins(6, 2, 6, 4);
    cbTimeunits = app::listBox(gbXshow, "cbTimeunits",
                               {QStringLiteral("мкс"), QStringLiteral("мс"), QStringLiteral("с")});
    cbTimeunits->setToolTip(QStringLiteral("Единицы времени на оси графика"));
    xs->addWidget(cbTimeunits);
}

void ChartPart::assignHelpNumbers()
{
    using platform::setHelpContext;
    for (QWidget* w : std::initializer_list<QWidget*>{gbScales, gbSmooth, lbPnt1, GroupBox2, cbXM, cbYM, cbZM,
                                                      rgTimGrad, gbXshow})
        setHelpContext(w, 5);
    setHelpContext(Chart1, 7);
    setHelpContext(btSaveChart, 8);
    setHelpContext(btPrint, 107);
    setHelpContext(cbShowK, 303);
    setHelpContext(cbTimeunits, 305);
    setHelpContext(cbSmooth, 306);
    setHelpContext(seSmooth, 306);
}

void ChartPart::applySettings(const ChartSettings& s)
{
    const auto indexOr = [](const QComboBox* list, int index) {
        return index >= 0 && index < list->count() ? index : 0;
    };
    cbTimeunits->setCurrentIndex(indexOr(cbTimeunits, s.timeUnits));
    cbShowK->setCurrentIndex(indexOr(cbShowK, s.view));
    seSmooth->setValue(s.smoothWeight);
    for (std::size_t i = 0; i < 3; ++i) {
        channelColourPanels[i]->setColour(s.channelColours[i]);
        Chart1->setSeriesColour(channelSeries[i], s.channelColours[i]);
    }
    pIaICl->setColour(s.modulusColour);
    Chart1->setSeriesColour(Series::IaI, pIaICl->colour());
    pPlsCl->setColour(s.pulseColour);
    Chart1->setSeriesColour(Series::Pls, pPlsCl->colour());
    Chart1->setSeriesShown(Series::IaI, s.modulusShown);
    Chart1->setSeriesShown(Series::Mark, s.markShown);
    Chart1->setSeriesShown(Series::Pls, s.pulseShown);
    rgTimGrad->setItemIndex(s.degreeOrTime);
    stored_ = s;
}

ChartSettings ChartPart::settings() const
{
    ChartSettings s;
    s.timeUnits = cbTimeunits->currentIndex();
    s.view = cbShowK->currentIndex();
    s.smoothWeight = seSmooth->value();
    for (std::size_t i = 0; i < 3; ++i)
        s.channelColours[i] = channelColourPanels[i]->colour();
    s.modulusColour = pIaICl->colour();
    s.pulseColour = pPlsCl->colour();
    s.modulusShown = Chart1->isSeriesShown(Series::IaI);
    s.markShown = Chart1->isSeriesShown(Series::Mark);
    s.pulseShown = Chart1->isSeriesShown(Series::Pls);
    s.degreeOrTime = rgTimGrad->itemIndex();
    if (chartInteraction) {
        const ChartViewOptions* view = chartInteraction->viewOptions();
        s.fitValuesToVisible = view->fitValuesBox()->isChecked();
        s.pulseStrip = view->pulseStripBox()->isChecked();
        s.markerTableShown = view->markerTableBox()->isChecked();
        s.markerTableGap = chartInteraction->cursorTable()->cornerGap();
    }
    return s;
}

void ChartPart::start(ChartHost& host, app::StatusPanels* status)
{
    host_ = &host;
    status_ = status;
    // Nothing is drawn until the first build; the chart ignores the mouse till then.
    Chart1->setEnabled(false);
    chartBuilder = std::make_unique<ChartBuilder>(*this);
    chartInteraction = std::make_unique<ChartInteraction>(*this);
    chartInteraction->applyStoredView(stored_.fitValuesToVisible, stored_.pulseStrip,
                                      stored_.markerTableShown, stored_.markerTableGap);
    chartOutput = std::make_unique<ChartOutput>(*this);
}

std::optional<int> ChartPart::smoothing() const
{
    if (cbSmooth->isChecked())
        return seSmooth->value();
    return std::nullopt;
}

ChartOptions ChartPart::optionsFromControls() const
{
    ChartOptions o;
    o.view = std::max(0, cbShowK->currentIndex());
    o.timeUnit = std::max(0, cbTimeunits->currentIndex());
    o.smooth = cbSmooth->isChecked();
    o.smoothWeight = seSmooth->value();
    // The stream is read as it was laid out: a box unticked since only hides its trace.
    const auto checked = [this](int i) { return host_ && host_->channelChecked(i); };
    o.channels =
        record_.layout.count() ? record_.layout : acq::ChannelSet{checked(0), checked(1), checked(2)};
    for (std::size_t i = 0; i < 3; ++i)
        o.modulus[i] = modulusBoxes[i]->isChecked();
    o.degrees = rgTimGrad->itemIndex() == 1;
    o.valueTitle = record_.loadedFromFile ? values_.yAxisTitle : values_.scalesYTitle;
    return o;
}

void ChartPart::ShowChart(QObject* sender)
{
    if (chartBuilder)
        chartBuilder->ShowChart(sender);
}

void ChartPart::showReceived()
{
    if (chartBuilder)
        chartBuilder->showReceived();
}

void ChartPart::clearChart()
{
    Chart1->clearAllSeries();
    values_.firstVisibleIndex = -1;
    values_.lastVisibleIndex = -1;
}

void ChartPart::setChannelShown(int channel, bool shown)
{
    Chart1->setSeriesShown(channelSeries[std::size_t(channel)], shown);
}

void ChartPart::setFileTitles(const QString& xTitle, const QString& yTitle)
{
    values_.xAxisTitle = xTitle;
    values_.yAxisTitle = yTitle;
}

int ChartPart::viewIndex() const
{
    return cbShowK->currentIndex();
}

void ChartPart::setViewIndex(int index)
{
    cbShowK->setCurrentIndex(index);
}

bool ChartPart::smoothOn() const
{
    return cbSmooth->isChecked();
}

void ChartPart::setSmoothOn(bool on)
{
    cbSmooth->setChecked(on);
}

int ChartPart::smoothWeight() const
{
    return seSmooth->value();
}

void ChartPart::setSmoothWeight(int weight)
{
    seSmooth->setValue(weight);
}

ChartViewOptions* ChartPart::viewOptions() const
{
    return chartInteraction ? chartInteraction->viewOptions() : nullptr;
}

void ChartPart::rebuild()
{
    if (chartInteraction)
        chartInteraction->cbTimeunitsChange();
}

} // namespace display
