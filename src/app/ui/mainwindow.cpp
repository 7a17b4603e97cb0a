#include "app/ui/mainwindow.h"

#include "app/commandline.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

#include "acquisition/measurementrecord.h"
#include "app/windowgeometry.h"
#include "app/ui/fileslinks.h"
#include "app/ui/acquisitionlinks.h"
#include "app/ui/partlinks.h"
#include "acquisition/ui/linkindicator.h"
#include "acquisition/ui/boardchooser.h"
#include "acquisition/ui/measurementrun.h"
#include "acquisition/ui/setuppanel.h"
#include "analysis/ui/mainanalysis.h"
#include "analysis/ui/spectrumwindow.h"
#include "app/ui/displaylinks.h"
#include "display/ui/chartpart.h"
#include "files/ui/folderbrowserui.h"
#include "files/ui/journalui.h"
#include "files/ui/measurementfilesui.h"
#include "files/ui/scalesui.h"
#include "files/ui/settingsui.h"
#include "platform/numtext.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/help.h"

// The program's own icons live in a resource of this static library: the linker keeps them only
// when they are asked for by name.
static void initIcons()
{
    Q_INIT_RESOURCE(icons);
}

namespace app {

namespace {

// Design widths of the tool-bar strip and the status bar panels.
constexpr int kToolStripWidth = 612;
constexpr int kChartLeft = 6;
constexpr int kChartTop = 112;
constexpr int kStatusHeight = 19;
constexpr int kHeaderHeight = 17;
constexpr QSize kDesignFrame(10, 34);
// Between floating panels side by side.
constexpr int kPanelGap = 4;

// The least chart a window read from the settings keeps: the plot, its axes and the legend.
constexpr int kMinimumChartHeight = 120;

int indexOrDefault(const QComboBox* list, int index, int defaultIndex)
{
    return (index >= 0 && index < list->count()) ? index : defaultIndex;
}

acq::SetupValues setupValues(const files::MainSettings& s)
{
    acq::SetupValues v;
    v.frequency = s.frequency;
    v.range = s.sensitivity;
    v.samples = s.samples;
    v.target = s.pcOrMem;
    v.externalStart = s.externalStart;
    v.delayS = s.delay;
    for (std::size_t i = 0; i < 3; ++i)
        v.channels[i] = s.channelSelected[i];
    v.timeStep = s.timeStep;
    v.samplesStep = s.samplesStep;
    return v;
}

} // namespace

TForm1::TForm1(Services services, AppPaths appPaths, files::MainSettings settings, QWidget* parent)
    : QWidget(parent), paths(std::move(appPaths)), services_(services)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(app::mainWindowTitle());
    buildControls();
    assignHelpNumbers();
    nameUnlabelledControls(this);
    FormCreate(settings);
}

TForm1::~TForm1() = default;

void TForm1::buildControls()
{
    filesLink_ = std::make_unique<FilesLink>(*this);
    // The chart with its groups and its print button; each is put in place below.
    chartPart = new display::ChartPart(record, services_, this);
    buildHeader();
    initIcons();
    buildToolBars();

    measurementFiles->gbFile->setParent(this);

    chartPart->Chart1->setParent(this);
    // The run journal: runs written to disk as they arrive; its button goes beside btSaveChart.
    journal = std::make_unique<files::JournalUi>(*filesLink_, *measurementFiles, record, paths.journalFolder, paths.settingsFile,
                                                 services_.dialogs, this);
    buildStatusBar();

    placeSetupPanel();
    buildChartPanel();
    buildOptionsPanel();
    for (QWidget* panel : {static_cast<QWidget*>(setupPanel->gbFT), static_cast<QWidget*>(gbChart), static_cast<QWidget*>(gbOptions)})
        panel->installEventFilter(this);
    buildCommentBrowser();
    placeProgressPanel();

    connectPanelButtons();
    wireAcquisition();
}

void TForm1::buildHeader()
{
    Header = new QWidget(this);
    Header->setObjectName(QStringLiteral("Header"));
    const QStringList titles{QStringLiteral("Файл"), QStringLiteral("Управление контроллером"),
                             QStringLiteral("Обработка"), QStringLiteral("Опции")};
    const int widths[4] = {194, 296, 112, 190};
    int x = 0;
    for (int i = 0; i < 4; ++i) {
        auto* s = new QLabel(titles[i], Header);
        s->setFrameShape(QFrame::Panel);
        s->setFrameShadow(QFrame::Raised);
        s->setAlignment(Qt::AlignCenter);
        s->setGeometry(x, 0, widths[i], 17);
        x += widths[i];
        headerSections[i] = s;
    }
}

void TForm1::buildStatusBar()
{
    status = new StatusPanels({200, 220, 50}, this);
    status->setObjectName(QStringLiteral("status"));
    status->setToolTip(QStringLiteral("Щелкнуть для отображения/скрытия X,Y и цифровых сигналов"));
}

void TForm1::connectPanelButtons()
{
    connect(btChart, &QToolButton::clicked, this, &TForm1::btChartClick);
    connect(btOptions, &QToolButton::clicked, this, &TForm1::btOptionsClick);
    connect(gbChart, &PanelBox::clicked, this, &TForm1::gbOptionsClick);
    connect(gbOptions, &PanelBox::clicked, this, &TForm1::gbOptionsClick);
    connect(btHelpTOC, &QToolButton::clicked, this, &TForm1::btHelpTOCClick);
}

void TForm1::buildToolBars()
{
    QHBoxLayout* row = buildToolStrip();
    buildFileToolBar();
    tbMCctl = toolBar(ctlBar, "tbMCctl");
    buildAcquisitionParts(); // the set-up panel's and the run's buttons

    analysisActions = new analysis::MainWindowAnalysis(services_.dialogs, [this] { return mainChartView(); }, ctlBar);

    buildOptionsToolBar();

    for (QFrame* bar : {tbFile, tbMCctl, static_cast<QFrame*>(analysisActions), tbOptions})
        row->addWidget(bar);
    row->addStretch(1);
    // The strip keeps its design width unless this system's fonts need more.
    ctlBar->setGeometry(0, 16, std::max(kToolStripWidth, row->minimumSize().width()), 41);
    alignHeaderWithToolBars();
}

QHBoxLayout* TForm1::buildToolStrip()
{
    ctlBar = new QFrame(this);
    ctlBar->setObjectName(QStringLiteral("ctlBar"));
    ctlBar->setFrameShape(QFrame::StyledPanel);
    auto* row = new QHBoxLayout(ctlBar);
    row->setContentsMargins(1, 1, 1, 1);
    row->setSpacing(1);
    QFont small = ctlBar->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    ctlBar->setFont(small);
    return row;
}

void TForm1::buildFileToolBar()
{
    tbFile = toolBar(ctlBar, "tbFile");
    // The measurement files' buttons; their comment and export groups are placed later.
    measurementFiles = std::make_unique<files::MeasurementFilesUi>(*filesLink_, record, services_.dialogs,
                                                                   services_.ticks, tbFile, this);
    // The folder navigation's buttons; its comment browser is placed over the chart later.
    folderBrowser = new files::FolderBrowserUi(*filesLink_, *measurementFiles, services_.dialogs, tbFile);
    tbFile->layout()->addWidget(chartPart->btPrint);
}

void TForm1::buildOptionsToolBar()
{
    tbOptions = toolBar(ctlBar, "tbOptions");
    linkIndicator = std::make_unique<acq::LinkIndicator>(*measurementRun, *acquisitionLink_, tbOptions); // btUSB
    const QString close = QStringLiteral("Закрыть");
    btChart = toolButton(tbOptions, "btChart", QStringLiteral("График"),
                         QStringLiteral("Параметры отображения графика"), {}, {close});
    btOptions = toolButton(tbOptions, "btOptions", QStringLiteral("Опции"), QStringLiteral("Опции программы"), {},
                           {close, QStringLiteral("ОПЦИИ")});
    btHelpTOC = toolButton(tbOptions, "btHelpTOC", {}, QStringLiteral("Справка"),
                           QIcon::fromTheme(QStringLiteral("help-contents"), ownIcon("help")));
}

void TForm1::alignHeaderWithToolBars()
{
    // Each section title stands over its own tool bar, however wide the fonts made the bars.
    ctlBar->layout()->activate();
    const std::array<QFrame*, 4> bars{tbFile, tbMCctl, analysisActions, tbOptions};
    for (std::size_t i = 0; i < bars.size(); ++i) {
        const QRect bar(bars[i]->mapTo(this, QPoint(0, 0)) - Header->pos(), bars[i]->size());
        headerSections[i]->setGeometry(bar.x(), 0, bar.width(), kHeaderHeight);
    }
}

void TForm1::placeSetupPanel()
{
    // Here in the window's order of controls, as the stacking and the Tab order have it.
    setupPanel->gbFT->setParent(this);
    setupPanel->gbFT->hide();
}

void TForm1::buildChartPanel()
{
    gbChart = new PanelBox(QStringLiteral("График"), this);
    gbChart->setObjectName(QStringLiteral("gbChart"));
    // Two columns: in one the panel would be taller than the plot of the first window and cover
    // the time axis and the legend.
    auto* columns = new QHBoxLayout(gbChart);
    columns->setContentsMargins(6, 4, 6, 6);
    columns->setSpacing(6);
    auto* col = new QVBoxLayout;
    col->setSpacing(3);
    auto* col2 = new QVBoxLayout;
    col2->setSpacing(3);
    // Other parts of the program add their chart choices under this column.
    col2->setObjectName(QStringLiteral("chartPanelMoreColumn"));
    columns->addLayout(col, 1);
    columns->addLayout(col2, 1);

    const display::ChartPart& c = *chartPart;
    col->addWidget(c.gbScales);
    col->addWidget(c.gbSmooth);
    scales = new files::ScalesUi(record, paths.scalesFile, services_.dialogs, gbChart);
    col->addWidget(scales);
    col->addStretch(1);
    col2->addWidget(c.GroupBox2);
    col2->addWidget(c.rgTimGrad);
    col2->addStretch(1);
    gbChart->adjustSize();
    gbChart->hide();
}

void TForm1::buildOptionsPanel()
{
    gbOptions = new PanelBox(QStringLiteral("Опции"), this);
    gbOptions->setObjectName(QStringLiteral("gbOptions"));
    auto* col = new QVBoxLayout(gbOptions);
    col->setContentsMargins(6, 4, 6, 6);
    col->setSpacing(3);
    col->addWidget(chartPart->gbColours);
    col->addWidget(chartPart->gbXshow);

    QGroupBox* gbCSV_TXT = measurementFiles->gbCSV_TXT;
    gbCSV_TXT->setParent(gbOptions);

    gbHelp = group(gbOptions, "gbHelp", QStringLiteral("Справка при запуске"));
    auto* hp = new QHBoxLayout(gbHelp);
    hp->setContentsMargins(6, 2, 6, 4);
    cbHelp = listBox(gbHelp, "cbHelp", {QStringLiteral("загружать"), QStringLiteral("не загружать")});
    cbHelp->setAccessibleName(gbHelp->title());
    hp->addWidget(cbHelp);

    // The set-up panel's spin steps: kept in the settings, hidden here.
    setupPanel->gbFDiscret->setParent(gbOptions);
    setupPanel->gbFDiscret->hide();


    for (QWidget* w : std::initializer_list<QWidget*>{gbCSV_TXT, gbHelp,
                                                      static_cast<QWidget*>(measurementRun->btFM25ProtectClr)})
        col->addWidget(w);
    gbOptions->adjustSize();
    gbOptions->hide();
}

void TForm1::buildCommentBrowser()
{
    // Made with the tool bars; placed here, so that it lies over the panels made before it.
    folderBrowser->setParent(this);
}

void TForm1::placeProgressPanel()
{
    // Over the chart, in the window's order of controls.
    measurementRun->pnlChart->setParent(this);
    measurementRun->pnlChart->hide();
}

void TForm1::assignHelpNumbers()
{
    using platform::setHelpContext;
    setHelpContext(this, 6);
    setHelpContext(status, 6);
    for (QWidget* w : std::initializer_list<QWidget*>{
             tbMCctl})
        setHelpContext(w, 4);
    // The chart part numbers its own controls.
    for (QWidget* w : std::initializer_list<QWidget*>{btChart, gbChart, gbHelp, cbHelp})
        setHelpContext(w, 5);
    setHelpContext(tbFile, 7);
    setHelpContext(btOptions, 300);
    setHelpContext(btHelpTOC, 404);
    if (services_.help)
        platform::installHelpKey(this, *services_.help);
}

void TForm1::FormCreate(const files::MainSettings& defaults)
{
    // files: "tremor.ini" (the keys it lacks take the given defaults)
    const files::MainSettings s = files::readMainSettingsFile(paths.settingsFile, defaults);
    createSettingsAndBoardChoice();
    record.zeroLevels = {0, 0, 0};
    setAcceptDrops(true);
    wireFilesAndReadScales();
    record.loadedFromFile = false;
    chartHeightMargin = 169;
    chartWidthMargin = 22;

    applyStoredSettings(s);

    // display: after the stored choices are in, so setting them built nothing
    wireChart();
    connect(this, &TForm1::chartShown, analysisActions, &analysis::MainWindowAnalysis::setChartShown);

    linkIndicator->btUSBClick();
    setupPanel->timeFromSamples(); // acquisition: the time follows the stored sample count
    settingsUi_->noteUnread(this); // files: a "tremor.ini" too large to read
    formReady = true;
    offerStartWindows();
}

void TForm1::createSettingsAndBoardChoice()
{
    settingsUi_ = std::make_unique<files::SettingsUi>(paths.settingsFile, services_.dialogs,
                                                      [this] { return collectSettings(); });
    // acquisition: set-up handlers and the device link, in place before any control is set
    boardChoice = std::make_unique<acq::BoardChoiceUi>(*measurementRun, linkIndicator->btUSB, paths.deviceFile,
                                                       paths.appFolder, services_.dialogs);
}

void TForm1::wireFilesAndReadScales()
{
    // files: measurement files, scales, folder browsing; then the scales file is read
    measurementFiles->setChartWidget(chartPart->Chart1);
    wireFiles();
    wireScales();
    scales->readAtStart();
}

void TForm1::applyStoredSettings(const files::MainSettings& s)
{
    // Window geometry first, then everything laid out from it.
    applyStoredGeometry(QRect(s.left, s.top, s.width, s.height));
    layoutChartArea();

    chartPart->applySettings(chartSettingsFrom(s));
    measurementFiles->setExportDivider(s.divider);

    for (int i = 0; i < 3; ++i) {
        setupPanel->setChannelColour(i, colourFromBgr(s.channelColour[i]));
    }
    setupPanel->applySettings(setupValues(s)); // acquisition

    cbHelp->setCurrentIndex(indexOrDefault(cbHelp, s.loadHelpOnStart, 0));
    helpOnStart = s.loadHelpOnStart;
}

void TForm1::offerStartWindows()
{
    // Opened once the event loop runs, so the help comes up over the main window
    // that is shown right after creation, not hidden behind it.
    if (helpOnStart == 0)
        QTimer::singleShot(0, this, &TForm1::btHelpTOCClick);
    // files: a run a crash cut short is offered once the window is up, over it.
    QTimer::singleShot(0, journal.get(), &files::JournalUi::offerUnfinished);
}

void TForm1::setSpectrumWindow(analysis::TForm2* form2)
{
    form2_ = form2;
    analysisActions->setSpectrumWindow(form2);
}

void TForm1::FormClose()
{
    if (closing_)
        return;
    closing_ = true;
    measurementRun->stopTimers(); // acquisition
    ++record.generation;
    record.sampleStream.clear();
    if (form2_)
        form2_->close();
    if (measurementRun)
        measurementRun->closeDevice(); // acquisition
    settingsUi_->writeAtClose(this); // files: "tremor.ini", last
    emit closed();
}

void TForm1::closeOnTerminationSignal()
{
    if (!closing_ && measurementRun->isReceiving()) {
        measurementRun->takeArrivedAtExit();
        journal->interrupt();
    }
    close();
}

void TForm1::closeEvent(QCloseEvent* e)
{
    FormClose();
    e->accept();
}

void TForm1::applyStoredGeometry(const QRect& stored)
{
    // Dragged smaller, the window stops there too: below it the status bar would lie over the
    // tool bars and the chart would be gone, or cut off the foot of a floating panel (the start
    // button of the set-up panel, the memory button of the options).
    int tallestPanel = 0;
    for (const QWidget* panel : {static_cast<QWidget*>(setupPanel->gbFT), static_cast<QWidget*>(gbChart), static_cast<QWidget*>(gbOptions)})
        tallestPanel = std::max(tallestPanel, panel->height());
    const QSize minimum(ctlBar->width() + 8, std::max(chartHeightMargin - kDesignFrame.height() + kMinimumChartHeight,
                                                      kChartTop + tallestPanel + kStatusHeight));
    setMinimumSize(minimum);
    const QRect g = app::fitWindowGeometryToScreen(stored, minimum);
    resize(g.size());
    move(g.topLeft());
}

void TForm1::resizeEvent(QResizeEvent* e)
{
    QWidget::resizeEvent(e);
    FormResize();
}

bool TForm1::eventFilter(QObject* watched, QEvent* e)
{
    // Panels are opened and closed from many places; each time, the open ones move side by side.
    if ((e->type() == QEvent::Show || e->type() == QEvent::Hide) &&
        (watched == setupPanel->gbFT || watched == gbChart || watched == gbOptions)) {
        if (e->type() == QEvent::Show)
            lastOpenedPanel_ = static_cast<QWidget*>(watched);
        placeFloatingPanels();
    }
    return QWidget::eventFilter(watched, e);
}

void TForm1::layoutChartArea()
{
    // The margins were laid down for the outer window, frame and caption included, on a system
    // whose frame took 10 × 34 pixels; inside the window they leave the chart 6 pixels from each
    // side and the status bar right under it, whatever frame this window manager draws.
    const int chartW = std::max(0, width() - (chartWidthMargin - kDesignFrame.width()));
    const int chartH = std::max(0, height() - (chartHeightMargin - kDesignFrame.height()));
    Header->setGeometry(0, 0, width(), 17);
    display::SignalChart* chart = chartPart->Chart1;
    chart->setGeometry(kChartLeft, kChartTop, chartW, chartH);
    measurementFiles->setCommentArea(QRect(kChartLeft, 56, chartW, 57));
    measurementRun->fitProgressPanel(QPoint(kChartLeft, kChartTop), chartW);
    status->setGeometry(0, height() - kStatusHeight, width(), kStatusHeight);
    QToolButton* copyButton = chartPart->btSaveChart;
    copyButton->move(2, chartH - 26);
    journal->button()->move(chart->x() + copyButton->x() + copyButton->width() + 2, chart->y() + chartH - 26);
}

void TForm1::FormResize()
{
    const int minWidth = ctlBar->width() + 8;
    if (width() < minWidth) {
        resize(minWidth, height());
        return; // the resize comes back here with the new width
    }
    layoutChartArea();

    folderBrowser->setArea(QRect(kChartLeft, kChartTop, chartPart->chart().width(), chartPart->chart().height()));

    placeFloatingPanels();
}

void TForm1::placeFloatingPanels()
{
    // The open panels side by side from the chart's right edge: options, then the chart panel,
    // then the set-up panel (at its design place when there is room), so that panels open at once
    // do not cover each other. A closed panel takes the place it would have if opened now.
    const display::SignalChart* chart = chartPart->Chart1;
    QWidget* setup = setupPanel->gbFT;
    int right = chart->geometry().right() + 1;
    for (QWidget* panel : {static_cast<QWidget*>(gbOptions), static_cast<QWidget*>(gbChart)}) {
        const int x = std::max(kChartLeft, right - panel->width());
        panel->move(x, kChartTop);
        if (panel->isVisibleTo(this))
            right = x - kPanelGap;
    }
    const int besideX = std::min(160, right - setup->width());
    if (besideX >= kChartLeft || !gbChart->isVisibleTo(this)) {
        setup->move(std::max(kChartLeft, besideX), kChartTop);
        return;
    }
    // No room beside the chart panel: under it, when the plot is tall enough for both.
    const QRect chartPanel = gbChart->geometry();
    const int plotBottom = chart->y() + chart->axisRect()->bottom();
    setup->move(std::max(kChartLeft, chartPanel.right() + 1 - setup->width()), chartPanel.bottom() + 1 + kPanelGap);
    if (setup->geometry().bottom() <= plotBottom)
        return;
    // Nor there: the two would cover each other in part, so the one opened last stays, whole,
    // at its own place and the other one closes.
    setup->move(std::max(kChartLeft, besideX), kChartTop);
    if (!setup->isVisibleTo(this))
        return;
    if (lastOpenedPanel_ == gbChart) {
        setupPanel->closePanel(); // its button's caption with it
    } else {
        btChartClick();
    }
}

void TForm1::FormClick()
{
    if (!chartPart->chart().isEnabled())
        return;
    QScreen* scr = screen();
    if (!scr)
        return;
    const QRect work = scr->availableGeometry();
    const int workBottom = work.y() + work.height();
    const int screenWidth = scr->geometry().width();
    // The whole window, the window manager's frame and caption included, fills the work area;
    // sizing only its inside to it would push the frame, and the status bar, off the screen.
    const QRect outer = frameGeometry();
    const QSize frame = outer.size() - size();
    if (outer.height() >= workBottom && outer.width() >= screenWidth) {
        int h = savedBounds[0], w = savedBounds[1], l = savedBounds[2], t = savedBounds[3];
        if (h == 0) {
            h = 480;
            w = 620;
            l = 0;
            t = 0;
        }
        resize(w, h);
        move(l, t);
    } else {
        savedBounds = {height(), width(), x(), y()};
        resize(screenWidth - frame.width(), workBottom - frame.height());
        move(0, 0);
    }
}

void TForm1::mouseReleaseEvent(QMouseEvent* e)
{
    // Only a click into the bare window counts, not one a child let through.
    if (e->button() == Qt::LeftButton && !childAt(e->position().toPoint()))
        FormClick();
    QWidget::mouseReleaseEvent(e);
}

void TForm1::setButtonOpen(QToolButton* button, bool open, const QString& closedCaption)
{
    button->setText(open ? QStringLiteral("Закрыть") : closedCaption);
    setFontColour(button, open ? Qt::red : Qt::black);
}

void TForm1::btChartClick()
{
    if (gbChart->isVisible()) {
        gbChart->hide();
        setButtonOpen(btChart, false, QStringLiteral("График"));
    } else {
        gbChart->show();
        gbChart->raise();
        setButtonOpen(btChart, true, {});
    }
}

void TForm1::btOptionsClick()
{
    if (gbOptions->isVisible()) {
        gbOptions->hide();
        setButtonOpen(btOptions, false, QStringLiteral("Опции"));
    } else {
        gbOptions->show();
        gbOptions->raise();
        setButtonOpen(btOptions, true, {});
    }
}

void TForm1::gbOptionsClick()
{
    gbOptions->hide();
    setButtonOpen(btOptions, false, QStringLiteral("ОПЦИИ"));
}

void TForm1::btHelpTOCClick()
{
    if (services_.help)
        services_.help->showContents();
}

void TForm1::ShowStartProcess(const QString& text)
{
    status->setPanelText(0, text);
}

// ---- files ----
bool TForm1::zeroCapturePending() const
{
    return scales && scales->capturePending();
}

void TForm1::ZeroCapture()
{
    scales->ZeroCapture();
}

} // namespace app
