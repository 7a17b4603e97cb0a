#include "analysis/ui/spectrumwindow.h"

#include <QCloseEvent>
#include <QLocale>
#include <QScreen>
#include <QStyle>
#include <QTimer>

#include <algorithm>
#include <cmath>

#include <qcustomplot.h>

#include "analysis/spectralreport.h"
#include "analysis/spectrum.h"
#include "analysis/ui/chartpicture.h"
#include "analysis/ui/spectrogramwindow.h"
#include "analysis/ui/spectrumanalysisview.h"
#include "analysis/ui/spectrumoptions.h"
#include "analysis/ui/spinedit.h"
#include "app/ui/controls.h"
#include "app/windowgeometry.h"
#include "files/savefile.h"
#include "platform/cp1251.h"
#include "display/ui/chartstyle.h"
#include "display/ui/roundticker.h"
#include "platform/inifile.h"
#include "platform/numtext.h"
#include "platform/ticks.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/help.h"

namespace analysis {

namespace {

const QString kGeometrySection = QStringLiteral("Спектр сигнала");
const QString kSpectrumSection = QStringLiteral("Spectrum");
constexpr int kHelpTopic = 9;
constexpr int kMaxStep = 32;
// Room for the tool row's first controls and a chart of some height.
constexpr QSize kMinimumSize(320, 200);

// The design places of the charts; only their sizes follow the window.
const QPoint kChart1Place(0, 24);
const QPoint kChart2Place(-2, 23);

platform::FileDialogSpec pictureDialog()
{
    platform::FileDialogSpec spec;
    spec.filter = QStringLiteral("Рисунок SVG|*.svg|Все файлы|*.*");
    spec.defaultExtension = QStringLiteral("svg");
    spec.confirmOverwrite = true;
    return spec;
}

// The visible stretch of the source's series; nothing when it has none or no series.
std::optional<Stretch> sourceStretch(const SignalSource& source)
{
    return source.values ? visibleStretch(source.pointCount, source.firstVisibleIndex, source.lastVisibleIndex)
                         : std::nullopt;
}

// The strongest bin of the first channel in the band: what the readout names.
SpectrumSummary strongestBin(const SpectralAnalysis& a)
{
    SpectrumSummary summary;
    if (a.channels.empty())
        return summary;
    const ChannelAnalysis& c = a.channels.front();
    bool any = false;
    for (int k = a.firstBin(); k <= a.lastBin(); ++k) {
        const double v = a.shown(c, k);
        if (std::isfinite(v) && (!any || v > summary.peakAmplitude)) {
            summary.peakAmplitude = v;
            summary.peakFrequency = k * c.spectrum.binHz();
            any = true;
        }
    }
    return summary;
}

} // namespace

// The bottom axis of a chart is laid out in point numbers; its ticks stand at round values of
// what the points mean (frequencies, times), and each point keeps its own label for reports and
// readouts, computed only when asked for.
class IndexLabelTicker : public display::RoundTicker {
  public:
    using display::RoundTicker::RoundTicker;
    std::function<QString(qint64)> label;
    qint64 first = 0;
    qint64 last = -1;

    QString labelAt(qint64 index) const
    {
        if (!label || index < first || index > last)
            return {};
        return label(index);
    }
};

TForm2::TForm2(app::Services services, QString settings, QWidget* parent)
    : QWidget(parent, Qt::Window), settingsFile(std::move(settings)), services_(services)
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Спектр/Тренд сигнала"));
    // Only a close box: the window is sized by its settings, not minimised.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    buildControls();
    platform::setHelpContext(this, kHelpTopic);
    if (services_.help)
        platform::installHelpKey(this, *services_.help);
    FormCreate();
}

TForm2::~TForm2() = default;

void TForm2::layoutStrip()
{
    // The strip is one row above the charts, in a slightly smaller font so the
    // result label still fits the window's first width. Controls keep their
    // design places and sizes unless this system's fonts need more room.
    QFont small = font();
    small.setPointSizeF(small.pointSizeF() * 0.9);
    QFont bold = small;
    bold.setBold(true);
    for (QWidget* w : std::initializer_list<QWidget*>{lbStep, seStep, lbFmax, seFmax, rgSpEnv, cbSp2ClipBrd,
                                                      lbSpectrumMax})
        w->setFont(small);
    btSpGo->setFont(bold);
    btTr->setFont(bold);

    auto widthOf = [](QWidget* w, int design) { return std::max(design, w->sizeHint().width()); };
    auto buttonWidth = [](QPushButton* b, int design) {
        return std::max(design, b->fontMetrics().horizontalAdvance(b->text()) + 14);
    };
    btSaveCh->setGeometry(3, 2, 25, 21);
    lbStep->setGeometry(32, 4, widthOf(lbStep, 0), 16);
    seStep->setGeometry(std::max(104, lbStep->geometry().right() + 4), 2, 41, 22);
    lbFmax->setGeometry(std::max(150, seStep->geometry().right() + 6), 4, widthOf(lbFmax, 0), 16);
    seFmax->setGeometry(std::max(192, lbFmax->geometry().right() + 4), 2, 52, 22);
    rgSpEnv->setGeometry(std::max(240, seFmax->geometry().right() + 2), 0, widthOf(rgSpEnv, 140), 24);
    btSpGo->setGeometry(std::max(384, rgSpEnv->geometry().right() + 2), 0, buttonWidth(btSpGo, 46), 25);
    btTr->setGeometry(btSpGo->geometry().right() + 1, 0, buttonWidth(btTr, 46), 25);
    cbSp2ClipBrd->setGeometry(std::max(480, btTr->geometry().right() + 4), 4, widthOf(cbSp2ClipBrd, 113), 17);
    placeResultLabel();
}

void TForm2::placeResultLabel()
{
    // The result goes at the end of the strip; where the window is too narrow
    // for it there, it sits at the right above the chart, in the chart's top margin.
    lbSpectrumMax->adjustSize();
    const int stripX = std::max(600, cbSp2ClipBrd->geometry().right() + 4);
    if (stripX + lbSpectrumMax->width() <= width())
        lbSpectrumMax->move(stripX, 5);
    else
        lbSpectrumMax->move(std::max(0, width() - spectrumWidthMargin - lbSpectrumMax->width() - 4), 25);
    lbSpectrumMax->raise();
}

QCustomPlot* TForm2::makeChart(const char* name, const QString& leftTitle, IndexLabelTicker** ticker)
{
    auto* chart = new QCustomPlot(this);
    chart->setObjectName(QLatin1String(name));
    chart->setBackground(QBrush(chartColour_));
    chart->axisRect()->setBackground(QBrush(Qt::white)); // the back wall
    display::applyGridStyle(*chart);
    chart->legend->setVisible(false);
    chart->yAxis->setLabel(leftTitle);
    auto labels = QSharedPointer<IndexLabelTicker>::create(chart->xAxis);
    *ticker = labels.data();
    chart->xAxis->setTicker(labels);
    chart->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    return chart;
}

void TForm2::buildControls()
{
    chartColour_ = palette().color(QPalette::Window);
    buildSaveButton();
    buildStepAndLimitBoxes();
    buildRunControls();
    layoutStrip();
    buildSpectrumChart();
    buildTrendChart();
    buildSpectrumButton();
    buildAnalysisOptions();
    keepStripOnTop();
    connectControls();
}

void TForm2::buildSaveButton()
{
    btSaveCh = new HoldButton(this);
    btSaveCh->setObjectName(QStringLiteral("btSaveCh"));
    btSaveCh->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
    btSaveCh->setToolTip(
        QStringLiteral("Копировать график в формате SVG в буфер обмена. ДЛЯ СОХРАНЕНИЯ ГРАФИКА В ФАЙЛ *.svg "
                       "удерживайте кнопку нажатой более секунды."));
}

void TForm2::buildStepAndLimitBoxes()
{
    seStep = new SpinEdit(1, kMaxStep, 1, this);
    seStep->setObjectName(QStringLiteral("seStep"));
    lbStep = new QLabel(QStringLiteral("Шаг выборки:"), this);
    lbStep->setObjectName(QStringLiteral("lbStep"));
    lbStep->setBuddy(seStep);

    seFmax = new SpinEdit(1, 1600, 35, this);
    seFmax->setObjectName(QStringLiteral("seFmax"));
    seFmax->setToolTip(
        QStringLiteral("Желтый фон - двойным щелчком по окошку параметр можно увеличить до максимума."));
    lbFmax = new QLabel(QStringLiteral("Fmax,Гц"), this);
    lbFmax->setObjectName(QStringLiteral("lbFmax"));
    lbFmax->setBuddy(seFmax);
}

void TForm2::buildRunControls()
{
    rgSpEnv = new app::RadioGroup({}, {QStringLiteral("Огибающая"), QStringLiteral("Спектр")}, 2, this);
    rgSpEnv->setObjectName(QStringLiteral("rgSpEnv"));
    rgSpEnv->setFlat(true);
    rgSpEnv->setStyleSheet(QStringLiteral("QGroupBox { border: 0; margin: 0; padding: 0; }"));

    btSpGo = new QPushButton(QStringLiteral("Спектр"), this);
    btSpGo->setObjectName(QStringLiteral("btSpGo"));
    btTr = new QPushButton(QStringLiteral("Тренд"), this);
    btTr->setObjectName(QStringLiteral("btTr"));
    cbSp2ClipBrd = new QCheckBox(QStringLiteral("СПЕКТР в буфер"), this);
    cbSp2ClipBrd->setObjectName(QStringLiteral("cbSp2ClipBrd"));
    lbSpectrumMax = new QLabel(this);
    lbSpectrumMax->setObjectName(QStringLiteral("lbSpectrumMax"));
    lbSpectrumMax->setTextInteractionFlags(Qt::TextSelectableByMouse);
}

void TForm2::buildSpectrumChart()
{
    Chart1 = makeChart("Chart1", QStringLiteral("Амплитуда"), &spectrumTicker_);
    Chart1->xAxis->setLabel(QStringLiteral("ГЕРЦЫ"));
    Chart1->move(kChart1Place);
    SpectArrows = Chart1->addGraph();
    SpectArrows->setName(QStringLiteral("SpectArrows"));
    SpectArrows->setLineStyle(QCPGraph::lsImpulse);
    SpectArrows->setPen(QPen(Qt::red));
    Envelope = Chart1->addGraph();
    Envelope->setName(QStringLiteral("Envelope"));
    Envelope->setPen(QPen(Qt::green));
}

void TForm2::buildTrendChart()
{
    Chart2 = makeChart("Chart2", QStringLiteral("Тренд"), &trendTicker_);
    Chart2->move(kChart2Place);
    seriLn = Chart2->addGraph();
    seriLn->setName(QStringLiteral("seriLn"));
    seriLn->setPen(QPen(Qt::green));
    seriTrend = Chart2->addGraph();
    seriTrend->setName(QStringLiteral("seriTrend"));
    seriTrend->setPen(QPen(Qt::red));
    Chart2->hide();
}

void TForm2::buildSpectrumButton()
{
    btSpectrum = new QPushButton(QStringLiteral("Спектр"), this);
    btSpectrum->setObjectName(QStringLiteral("btSpectrum"));
    btSpectrum->setToolTip(QStringLiteral("Параметры графика"));
    btSpectrum->setGeometry(561, 26, 48, 21);
    btSpectrum->hide();
}

void TForm2::buildAnalysisOptions()
{
    analysisOptions = new SpectrumOptionsPanel(this);
    analysisView_ = std::make_unique<SpectrumAnalysisView>(Chart1);
    connect(analysisOptions, &SpectrumOptionsPanel::spectrogramRequested, this, &TForm2::showSpectrogram);
    connect(analysisOptions, &SpectrumOptionsPanel::saveRequested, this, &TForm2::saveSpectrum);
}

void TForm2::keepStripOnTop()
{
    // The strip lies over the charts' top edge, as designed: keep it on top.
    for (QWidget* w : std::initializer_list<QWidget*>{btSaveCh, lbStep, seStep, lbFmax, seFmax, rgSpEnv,
                                                      btSpGo, btTr, cbSp2ClipBrd, lbSpectrumMax})
        w->raise();
}

void TForm2::connectControls()
{
    connect(seStep, &SpinEdit::changed, this, &TForm2::seStepChange);
    connect(seFmax, &SpinEdit::changed, this, &TForm2::seFmaxChange);
    connect(seFmax, &SpinEdit::doubleClicked, this, &TForm2::seFmaxDblClick);
    // After the step rules have settled Fmax: the lower limit stays below it.
    connect(seStep, &SpinEdit::changed, this, &TForm2::boundLowerLimit);
    connect(seFmax, &SpinEdit::changed, this, &TForm2::boundLowerLimit);
    connect(btSpGo, &QPushButton::clicked, this, &TForm2::btSpGoClick);
    connect(btTr, &QPushButton::clicked, this, &TForm2::btTrClick);
    connect(btSpectrum, &QPushButton::clicked, this, [this] { btSpectrumClick(); });
    connect(btSaveCh, &HoldButton::mouseDown, this, &TForm2::btSaveChMouseDown);
    connect(btSaveCh, &QToolButton::clicked, this, &TForm2::btSaveChClick);
    connect(btSaveCh, &HoldButton::mouseUp, this, &TForm2::btSaveChMouseUp);
}

void TForm2::FormCreate()
{
    spectrumHeightMargin = 65;
    spectrumWidthMargin = 12;

    const platform::IniFile ini(settingsFile);
    const int h = ini.readInteger(kGeometrySection, QStringLiteral("высота"), 515);
    const int w = ini.readInteger(kGeometrySection, QStringLiteral("ширина"), 794);
    const int l = ini.readInteger(kGeometrySection, QStringLiteral("слева"), 0);
    const int t = ini.readInteger(kGeometrySection, QStringLiteral("сверху"), 0);
    // Set before the first showing, the stored place is where the window
    // appears, not where the window system would put it. Brought onto the screen as the main
    // window's is: a size of 0 or a place off the screen would hide it for good, since what is
    // applied is what is written back.
    const QRect g = app::fitWindowGeometryToScreen(QRect(l, t, w, h), kMinimumSize);
    resize(g.size());
    move(g.topLeft());
    FormResize();

    stepRulesOn = false;
    seStep->setValue(ini.readInteger(kSpectrumSection, QStringLiteral("Step"), 1));
    stepRulesOn = true;
    prevStep = seStep->value();

    seFmax->setValue(ini.readInteger(kSpectrumSection, QStringLiteral("Fmax"), 35));
    rgSpEnv->setItemIndex(ini.readInteger(kSpectrumSection, QStringLiteral("SpectrumType"), 0));
    cbSp2ClipBrd->setChecked(ini.readBool(kSpectrumSection, QStringLiteral("SpectrumSave"), true));
    analysisOptions->load(ini);

    spectrumAmp.assign(spectrumBins, 0.0);

    if (ini.tooLarge()) {
        platform::IniFile defaults{QString()};
        storeSettings(defaults, pos());
        unreadSettings_ = defaults.text();
        unreadPlace_ = pos();
        // Told once the event loop runs, as for the main window's settings.
        if (platform::Dialogs* dialogs = services_.dialogs)
            QTimer::singleShot(0, this, [this, dialogs] { dialogs->message(this, platform::iniTooLargeMessage(settingsFile)); });
    }
}

void TForm2::storeSettings(platform::IniFile& ini, QPoint place) const
{
    ini.setInteger(kGeometrySection, QStringLiteral("высота"), height());
    ini.setInteger(kGeometrySection, QStringLiteral("ширина"), width());
    ini.setInteger(kGeometrySection, QStringLiteral("слева"), place.x());
    ini.setInteger(kGeometrySection, QStringLiteral("сверху"), place.y());
    ini.setBool(kSpectrumSection, QStringLiteral("SpectrumSave"), cbSp2ClipBrd->isChecked());
    ini.setInteger(kSpectrumSection, QStringLiteral("Step"), seStep->value());
    ini.setInteger(kSpectrumSection, QStringLiteral("Fmax"), seFmax->value());
    ini.setInteger(kSpectrumSection, QStringLiteral("SpectrumType"), rgSpEnv->itemIndex());
    analysisOptions->save(ini);
}

std::optional<QByteArray> TForm2::unreadComparisonText() const
{
    // Where the window manager put the window is no change of the operator's.
    platform::IniFile now{QString()};
    storeSettings(now, unreadPlace_);
    return now.text();
}

void TForm2::adjustOnOwnAccount(const std::function<void()>& adjust)
{
    const bool unchanged = unreadSettings_ && unreadComparisonText() == unreadSettings_;
    adjust();
    if (unchanged)
        unreadSettings_ = unreadComparisonText();
}

void TForm2::FormClose()
{
    // An unread file is kept until the operator changes something.
    if (unreadSettings_ && unreadComparisonText() == unreadSettings_)
        return;
    try {
        // Every key is set first and the file written once, so a kill or a full disk leaves the
        // old file or the new one, not a mixture.
        platform::IniFile ini(settingsFile);
        // Every key is set, so a file too large to have been read loses nothing it had.
        if (ini.tooLarge())
            ini.replaceUnread();
        storeSettings(ini, pos());
        ini.save();
        unreadSettings_.reset();
    } catch (const platform::IniWriteError& e) {
        if (services_.dialogs)
            services_.dialogs->error(this, QString::fromStdString(e.what()));
    }
}

void TForm2::closeEvent(QCloseEvent* e)
{
    // Closing only hides the window; the next run shows it again.
    FormClose();
    e->accept();
}

void TForm2::resizeEvent(QResizeEvent* e)
{
    QWidget::resizeEvent(e);
    FormResize();
}

void TForm2::FormResize()
{
    const QSize chartSize(std::max(0, width() - spectrumWidthMargin),
                          std::max(0, height() - spectrumHeightMargin));
    Chart1->resize(chartSize);
    Chart2->resize(chartSize);
    // The analysis controls take the strip the design leaves under the charts.
    if (analysisOptions) {
        analysisOptions->setGeometry(0, Chart1->y() + chartSize.height(), width(),
                                     std::max(SpectrumOptionsPanel::stripHeight,
                                              height() - Chart1->y() - chartSize.height()));
        analysisOptions->raise();
    }
    placeResultLabel();
}

double TForm2::stepRatio() const
{
    // A box emptied or typed to 0 reads below 1; it is brought back when
    // editing ends, and must not divide by zero meanwhile.
    return double(nyquistHz()) / std::max(1, seStep->value());
}

void TForm2::colourFmax()
{
    QPalette pal = seFmax->palette();
    const QColor normal = QApplication::palette(seFmax).color(QPalette::Base);
    pal.setColor(QPalette::Base, seFmax->value() < stepRatio() ? QColor(Qt::yellow) : normal);
    seFmax->setPalette(pal);
}

void TForm2::seStepChange()
{
    if (stepRulesOn) {
        // The step moves by doubling and halving only. Setting it here runs this
        // handler again, which accepts the new value; so one change of the box
        // is one doubling or halving.
        if (prevStep < kMaxStep && seStep->value() > prevStep)
            seStep->setValue(2 * prevStep);
        if (prevStep > 1 && seStep->value() < prevStep)
            seStep->setValue(prevStep / 2);
        prevStep = seStep->value();

        // However slow the sampling and large the step, the limit stays at
        // 1 Hz or more: a limit of 0 would leave nothing but bin 0 to show.
        const double r = stepRatio();
        const int limit = largestFrequencyLimit(nyquistHz(), seStep->value());
        if (seFmax->value() > r)
            seFmax->setValue(limit);
        seFmax->setMaximumValue(limit);
    }
    colourFmax();
}

void TForm2::seFmaxChange()
{
    if (nyquistHz() == 0)
        return; // no chart built yet
    if (seFmax->value() > stepRatio())
        seFmax->setValue(largestFrequencyLimit(nyquistHz(), seStep->value()));
    colourFmax();
}

void TForm2::boundLowerLimit()
{
    const int step = std::clamp(seStep->value(), 1, kMaxStep);
    const double cut = binCutFrequency(seFmax->value(), nyquistHz(), step);
    const double period = source_.samplePeriodUs;
    // At its largest Fmax cuts nothing: every bin up to half the rate over the step is shown.
    analysisOptions->setUpperLimit(std::isfinite(cut) || !(period > 0) ? cut : 1e6 / period / 2 / step);
}

void TForm2::seFmaxDblClick()
{
    seFmax->setValue(largestFrequencyLimit(nyquistHz(), seStep->value()));
}

void TForm2::btSpGoClick()
{
    emit spectrumRequested();
}

void TForm2::btTrClick()
{
    emit trendRequested();
}

QChar TForm2::decimalSeparator() const
{
    const QString dp = QLocale::system().decimalPoint();
    return dp.isEmpty() ? QLatin1Char('.') : dp.at(0);
}

void TForm2::prepareSpectrum()
{
    Chart1->show();
    Chart2->hide();
    for (QWidget* w : std::initializer_list<QWidget*>{lbFmax, seFmax, rgSpEnv, cbSp2ClipBrd})
        w->setEnabled(true);
}

void TForm2::prepareTrend()
{
    Chart2->show();
    Chart1->hide();
    for (QWidget* w : std::initializer_list<QWidget*>{lbFmax, seFmax, rgSpEnv, cbSp2ClipBrd})
        w->setEnabled(false);
}

bool TForm2::btSpectrumClick()
{
    adjustOnOwnAccount([this] {
        seStepChange();
        boundLowerLimit();
    });
    Chart2->hide();
    Chart1->show();

    const auto visible = sourceStretch(source_);
    if (!visible) {
        services_.dialogs->message(this, noStretchMessage());
        return false;
    }
    const int step = std::clamp(seStep->value(), 1, kMaxStep);
    const auto span = spectrumSpan(*visible, step);
    if (!span) {
        services_.dialogs->message(this, spectrumTooShortMessage());
        return false;
    }

    if (!analysisOptions->settings().isPlain())
        return showAnalysis(*visible, step);
    analysisView_->clear();
    analysisOptions->clearResult();
    return showPlainSpectrum(*span, step);
}

bool TForm2::showPlainSpectrum(const Stretch& span, int step)
{
    const double period = source_.samplePeriodUs;
    const SpectrumSummary summary =
        computeSpectrum(source_.values + span.first, span.count(), step, period,
                        binCutFrequency(seFmax->value(), nyquistHz(), step), spectrumAmp.data());
    if (!spectrumFinite(spectrumAmp.data(), summary)) {
        services_.dialogs->message(this, spectrumNotFiniteMessage());
        return false;
    }
    const QChar sep = decimalSeparator();
    drawPlainSpectrum(summary, step, sep);
    lbSpectrumMax->setText(spectrumPeakCaption(summary, sep));
    placeResultLabel();

    ReportContext ctx = reportContext(span.first, span.last, sep);
    ctx.smoothing = source_.smoothing;
    services_.dialogs->setClipboardText(
        spectrumReport(spectrumAmp.data(), summary, period, step, cbSp2ClipBrd->isChecked(), ctx));
    spectrumFile_ = plainSpectrumFileText(spectrumAmp.data(), summary.binCount, period, step, source_.channelCaption,
                                          valueUnit(source_.valueTitle), QLatin1Char(';'), sep);
    return true;
}

void TForm2::drawPlainSpectrum(const SpectrumSummary& summary, int step, QChar sep)
{
    SpectArrows->data()->clear();
    Envelope->data()->clear();
    QVector<double> keys(summary.binCount);
    QVector<double> values(summary.binCount);
    for (int j = 0; j < summary.binCount; ++j) {
        keys[j] = j;
        values[j] = spectrumAmp[std::size_t(j)];
    }
    QCPGraph* target = rgSpEnv->itemIndex() == 1 ? SpectArrows : Envelope;
    target->setData(keys, values, true);

    labelBins(summary.binCount, step, sep);
    Chart1->xAxis->setLabel(QStringLiteral("ГЕРЦЫ"));
    Chart1->rescaleAxes();
    // An all-zero spectrum (a signal without any change) gets an amplitude scale from zero up,
    // not one centred on zero at the size the previous spectrum left.
    if (std::all_of(values.cbegin(), values.cend(), [](double v) { return v == 0; }))
        Chart1->yAxis->setRange(0, 1);
    Chart1->replot(QCustomPlot::rpQueuedReplot);
}

void TForm2::labelBins(int binCount, int step, QChar sep)
{
    const double period = source_.samplePeriodUs;
    spectrumTicker_->first = 0;
    spectrumTicker_->last = binCount - 1;
    spectrumTicker_->label = [period, step, sep](qint64 j) {
        return platform::generalNumberText(binFrequency(int(j), period, step), sep);
    };
    spectrumTicker_->setUnitsPerCoordinate(binFrequency(1, period, step));
    spectrumTicker_->setDecimalSeparator(sep);
}

ReportContext TForm2::reportContext(qint64 firstIndex, qint64 lastIndex, QChar sep) const
{
    ReportContext ctx;
    ctx.unitSuffix = timeUnitSuffix(source_.xAxisTitle);
    ctx.firstTime = pointTime(firstIndex, source_.samplePeriodUs, source_.timeUnitDivisor);
    ctx.lastTime = pointTime(lastIndex, source_.samplePeriodUs, source_.timeUnitDivisor);
    ctx.channel = source_.channelCaption;
    ctx.fileName = source_.fileName;
    ctx.decimalSeparator = sep;
    return ctx;
}

bool TForm2::showAnalysis(const Stretch& visible, int step)
{
    const AnalysisSettings settings = analysisOptions->settings();
    std::vector<ChannelInput> inputs;
    std::vector<QColor> colours;
    gatherChannels(visible, inputs, colours);

    const SpectralAnalysis a =
        analyseChannels(inputs, settings, step, source_.samplePeriodUs,
                        binCutFrequency(seFmax->value(), nyquistHz(), step), valueUnit(source_.valueTitle));
    if (a.channels.empty()) {
        services_.dialogs->message(this, spectrumTooShortMessage());
        return false;
    }
    if (!a.allFinite()) {
        services_.dialogs->message(this, spectrumNotFiniteMessage());
        return false;
    }
    SpectArrows->data()->clear();
    Envelope->data()->clear();
    analysisView_->show(a, colours, source_.valueTitle);
    analysisOptions->showResult(a);

    const QChar sep = decimalSeparator();
    lbSpectrumMax->setText(analysisPeakCaption(strongestBin(a), sep));
    placeResultLabel();

    // One transform takes at most singleTransformLimit values: the report names the last one taken.
    const ReportContext ctx = reportContext(visible.first, visible.first + a.pointsAnalysed() - 1, sep);
    services_.dialogs->setClipboardText(spectralReport(a, cbSp2ClipBrd->isChecked(), ctx));
    spectrumFile_ = spectrumFileText(a, QLatin1Char(';'), sep);
    return true;
}

void TForm2::gatherChannels(const Stretch& visible, std::vector<ChannelInput>& inputs,
                            std::vector<QColor>& colours) const
{
    auto take = [&](const ChannelSource& c) {
        // Every series of one build has the same points; a series that has
        // fewer (none drawn yet) is left out rather than read past its end.
        if (!c.values || c.pointCount <= visible.last)
            return;
        inputs.push_back({c.letter, c.values + visible.first, visible.count(), {}});
        colours.push_back(c.colour);
    };
    ChannelSource first{source_.channelCaption, source_.values, source_.pointCount, QColor(Qt::red)};
    if (analysisOptions->cbAllChannels->isChecked() && !source_.shownChannels.empty()) {
        for (const ChannelSource& c : source_.shownChannels)
            take(c);
    } else {
        if (!source_.shownChannels.empty())
            first.colour = source_.shownChannels.front().colour;
        take(first);
    }
    if (analysisOptions->withModulus() && source_.modulus)
        take(*source_.modulus);
}

void TForm2::showSpectrogram()
{
    const auto visible = sourceStretch(source_);
    if (!visible) {
        services_.dialogs->message(this, noStretchMessage());
        return;
    }
    const AnalysisSettings settings = analysisOptions->settings();
    if (!spectrogram_)
        makeSpectrogramWindow();
    const SpectrogramSource s = spectrogramSource(*visible);
    const WelchOptions o{settings.window, settings.segment > 0 ? settings.segment : 1024, settings.overlapPercent,
                         std::clamp(seStep->value(), 1, kMaxStep)};
    spectrogram_->show();
    if (!spectrogram_->showSpectrogram(s, o)) {
        spectrogram_->hide();
        services_.dialogs->message(this, spectrumTooShortMessage());
        return;
    }
    spectrogram_->raise();
}

void TForm2::makeSpectrogramWindow()
{
    spectrogram_ = new SpectrogramWindow(this);
    // Over this window, its caption on the screen: left alone, the window system centres it
    // on this window and keeps only its inside on the screen, the caption above the top.
    QRect g(QPoint(), spectrogram_->size());
    g.moveCenter(geometry().center());
    if (QScreen* scr = screen()) {
        const QRect frame = frameGeometry(), inside = geometry();
        const QMargins margins(inside.left() - frame.left(), inside.top() - frame.top(),
                               frame.right() - inside.right(), frame.bottom() - inside.bottom());
        g = app::fitWindowGeometry(g, scr->availableGeometry().marginsRemoved(margins), spectrogram_->minimumSize());
    }
    spectrogram_->setGeometry(g);
}

SpectrogramSource TForm2::spectrogramSource(const Stretch& visible) const
{
    SpectrogramSource s;
    s.values = source_.values + visible.first;
    s.count = visible.count();
    s.samplePeriodUs = source_.samplePeriodUs;
    s.firstTime = pointTime(visible.first, source_.samplePeriodUs, source_.timeUnitDivisor);
    s.timeUnitDivisor = source_.timeUnitDivisor;
    s.timeTitle = source_.xAxisTitle;
    s.channel = source_.channelCaption;
    s.valueUnit = valueUnit(source_.valueTitle);
    return s;
}

void TForm2::saveSpectrum()
{
    if (spectrumFile_.isEmpty()) {
        services_.dialogs->message(this, QStringLiteral("Спектр ещё не построен: сохранять нечего."));
        return;
    }
    platform::FileDialogSpec spec;
    spec.filter = QStringLiteral("Таблица CSV|*.csv|Рисунок SVG|*.svg|Рисунок PNG|*.png");
    spec.defaultExtension = QStringLiteral("csv");
    spec.confirmOverwrite = true;
    const QString name = services_.dialogs->saveFile(this, spec);
    if (name.isEmpty())
        return;
    QString error;
    if (name.endsWith(QLatin1String(".svg"), Qt::CaseInsensitive)) {
        error = writeChartSvg(Chart1, chartColour_, name);
    } else if (name.endsWith(QLatin1String(".png"), Qt::CaseInsensitive)) {
        const QImage png = renderChartOnWhite(Chart1, chartColour_).png;
        error = files::saveAtomically(name, [&](QIODevice& out) { return png.save(&out, "PNG"); });
    } else {
        const QByteArray bytes = analysisOptions->utf8Files() ? spectrumFile_.toUtf8() : platform::toCp1251(spectrumFile_);
        error = files::saveAtomically(name, [&](QIODevice& out) { return out.write(bytes) == bytes.size(); });
    }
    // With the reason, as every other save says it: a full disk is not a missing folder.
    if (!error.isEmpty())
        services_.dialogs->error(this, error);
}

bool TForm2::showTrend(const SignalSource& source)
{
    const auto stretch = sourceStretch(source);
    if (!stretch) {
        services_.dialogs->message(this, noStretchMessage());
        return false;
    }
    const int step = std::clamp(seStep->value(), 1, kMaxStep);
    const Trend trend = computeTrend(source.values, source.pointCount, *stretch, step, source.samplePeriodUs,
                                     source.timeUnitDivisor);
    drawTrendPoints(trend);
    const QChar sep = decimalSeparator();
    labelTrendPoints(*stretch, source.samplePeriodUs, source.timeUnitDivisor, sep);

    if (!trend.fitted) {
        lbSpectrumMax->clear();
        Chart2->rescaleAxes();
        Chart2->replot(QCustomPlot::rpQueuedReplot);
        services_.dialogs->message(this, trendTooFewPointsMessage());
        return true;
    }

    lbSpectrumMax->setText(trendFormula(trend, sep));
    placeResultLabel();
    seriTrend->setData({double(stretch->first), double(stretch->last)}, {trend.lineAtFirst, trend.lineAtLast},
                       true);
    Chart2->rescaleAxes();
    Chart2->replot(QCustomPlot::rpQueuedReplot);
    reportTrend(trend, source, *stretch, sep);
    return true;
}

void TForm2::drawTrendPoints(const Trend& trend)
{
    QVector<double> keys;
    QVector<double> logs;
    keys.reserve(qsizetype(trend.points.size()));
    logs.reserve(qsizetype(trend.points.size()));
    for (const TrendPoint& p : trend.points) {
        keys.push_back(p.index);
        logs.push_back(p.logDeviation);
    }
    seriLn->setData(keys, logs, true);
    seriTrend->data()->clear();
}

void TForm2::labelTrendPoints(const Stretch& stretch, double period, double divisor, QChar sep)
{
    trendTicker_->first = stretch.first;
    trendTicker_->last = stretch.last;
    trendTicker_->label = [period, divisor, sep](qint64 i) {
        return trendPointLabel(i, period, divisor, sep);
    };
    trendTicker_->setUnitsPerCoordinate(period / divisor);
    trendTicker_->setDecimalSeparator(sep);
}

void TForm2::reportTrend(const Trend& trend, const SignalSource& source, const Stretch& stretch, QChar sep)
{
    const double periodUnit = source.samplePeriodUs / source.timeUnitDivisor;
    ReportContext ctx;
    ctx.unitSuffix = timeUnitSuffix(source.xAxisTitle);
    ctx.firstTime = double(stretch.first) * periodUnit;
    ctx.lastTime = double(stretch.last) * periodUnit;
    ctx.channel = trendChannelText(source.channelCaption, source.smoothing);
    ctx.fileName = source.fileName;
    ctx.decimalSeparator = sep;
    services_.dialogs->setClipboardText(trendReport(trend, ctx));
}

QString TForm2::spectrumLabel(qint64 index) const
{
    return spectrumTicker_->labelAt(index);
}

QString TForm2::trendLabel(qint64 index) const
{
    return trendTicker_->labelAt(index);
}

QCustomPlot* TForm2::shownChart() const
{
    if (!Chart1->isHidden())
        return Chart1;
    if (!Chart2->isHidden())
        return Chart2;
    return nullptr;
}

void TForm2::btSaveChMouseDown()
{
    if (services_.ticks)
        pressTick = services_.ticks->now();
}

void TForm2::btSaveChClick()
{
    QCustomPlot* chart = Chart1->isHidden() ? Chart2 : Chart1;
    const ChartPicture picture = renderChartOnWhite(chart, chartColour_);
    services_.dialogs->setClipboardPicture(picture.svg, picture.png);
}

void TForm2::btSaveChMouseUp()
{
    if (!services_.ticks || platform::ticksSince(pressTick, services_.ticks->now()) <= longPressMs)
        return;
    const QString name = services_.dialogs->saveFile(this, pictureDialog());
    if (name.isEmpty())
        return;
    QCustomPlot* chart = shownChart();
    if (!chart)
        return;
    if (const QString error = writeChartSvg(chart, chartColour_, name); !error.isEmpty())
        services_.dialogs->error(this, error);
}

} // namespace analysis
