#include "analysis/ui/spectrumanalysisview.h"

#include <QFontMetrics>
#include <QLocale>

#include <cmath>
#include <limits>

#include <qcustomplot.h>

#include "platform/numtext.h"

namespace analysis {

namespace {

QString scaleTitle(SpectrumScale s)
{
    switch (s) {
    case SpectrumScale::Amplitude:
        return QStringLiteral("Амплитуда");
    case SpectrumScale::Rms:
        return QStringLiteral("СКЗ");
    case SpectrumScale::Psd:
        return QStringLiteral("СПМ");
    case SpectrumScale::Asd:
        return QStringLiteral("√СПМ");
    }
    return {};
}

} // namespace

SpectrumAnalysisView::SpectrumAnalysisView(QCustomPlot* chart) : chart_(chart) {}

void SpectrumAnalysisView::clear()
{
    for (QCPGraph* g : graphs_)
        chart_->removeGraph(g);
    graphs_.clear();
    if (peakMarks_)
        chart_->removeGraph(peakMarks_);
    peakMarks_ = nullptr;
    for (QCPAbstractItem* item : items_)
        chart_->removeItem(item);
    items_.clear();
    peakList_.clear();
    chart_->axisRect()->setAutoMargins(QCP::msAll);
    chart_->legend->setVisible(false);
    if (active_) {
        chart_->xAxis->setScaleType(QCPAxis::stLinear);
        chart_->xAxis->setTicker(ownTicker_);
        chart_->xAxis->setLabel(ownBottomTitle_);
        chart_->yAxis->setLabel(ownLeftTitle_);
        ownTicker_.reset();
    }
    active_ = false;
}

// Curves laid over each other must be told apart: the main chart's colours where they differ
// enough, else a hue per channel. The default shades of red of X, Y and Z do not.
std::vector<QColor> overlayColours(const std::vector<QColor>& colours, const std::vector<QString>& letters)
{
    bool alike = false;
    for (std::size_t i = 0; i < colours.size() && !alike; ++i)
        for (std::size_t j = i + 1; j < colours.size() && !alike; ++j) {
            const QColor &a = colours[i], &b = colours[j];
            const int dr = a.red() - b.red(), dg = a.green() - b.green(), db = a.blue() - b.blue();
            alike = dr * dr + dg * dg + db * db < 120 * 120;
        }
    if (!alike)
        return colours;
    std::vector<QColor> out;
    for (const QString& letter : letters) {
        if (letter == QLatin1String("X"))
            out.emplace_back(200, 0, 0);
        else if (letter == QLatin1String("Y"))
            out.emplace_back(0, 140, 0);
        else if (letter == QLatin1String("Z"))
            out.emplace_back(0, 0, 230);
        else
            out.emplace_back(Qt::black);
    }
    return out;
}

// A logarithmic frequency axis labelled at 1, 2 and 5 of every decade, as paper for spectra is:
// between bare decades the eye cannot tell 30 Hz from 50 Hz. The other whole multiples of a
// decade get sub-ticks.
class DecadeTicker : public QCPAxisTickerLog {
  protected:
    QVector<double> createTickVector(double, const QCPRange& range) override
    {
        return steps(range, {1, 2, 5});
    }
    QVector<double> createSubTickVector(int, const QVector<double>& ticks) override
    {
        if (ticks.isEmpty())
            return {};
        return steps(QCPRange(ticks.first() / 10, ticks.last() * 10), {3, 4, 6, 7, 8, 9});
    }

  private:
    static QVector<double> steps(const QCPRange& range, std::initializer_list<int> multiples)
    {
        QVector<double> out;
        if (!(range.lower > 0) || !(range.upper > range.lower))
            return out;
        for (int k = int(std::floor(std::log10(range.lower))); std::pow(10.0, k) <= range.upper * 10; ++k)
            for (int m : multiples) {
                const double v = m * std::pow(10.0, k);
                if (v >= range.lower / 10 && v <= range.upper * 10)
                    out.push_back(v);
            }
        return out;
    }
};

namespace {

std::vector<QColor> curveColours(const SpectralAnalysis& a, const std::vector<QColor>& colours)
{
    if (a.channels.size() <= 1)
        return colours;
    std::vector<QString> letters;
    for (const ChannelAnalysis& c : a.channels)
        letters.push_back(c.letter);
    return overlayColours(colours, letters);
}

void curvePoints(const SpectralAnalysis& a, const ChannelAnalysis& c, int first, int last, QVector<double>& keys,
                 QVector<double>& values)
{
    const bool logF = a.settings.logFrequency;
    const double df = c.spectrum.binHz();
    keys.reserve(std::max(0, last - first + 1));
    values.reserve(keys.capacity());
    for (int k = first; k <= last; ++k) {
        const double f = k * df;
        if (logF && f <= 0)
            continue; // no place for 0 Hz on a logarithmic axis
        const double v = a.shown(c, k);
        keys.push_back(f);
        values.push_back(std::isfinite(v) ? v : std::numeric_limits<double>::quiet_NaN());
    }
}

} // namespace

void SpectrumAnalysisView::show(const SpectralAnalysis& a, const std::vector<QColor>& colours,
                                const QString& valueTitle)
{
    takeOverAxes();
    setFrequencyAxis(a.settings.logFrequency);
    setValueAxisTitle(a, valueTitle);
    addChannelCurves(a, colours);
    const auto peaks = a.allPeaks();
    if (!peaks.empty()) {
        QStringList lines = markPeaks(a, peaks);
        peakList_ = lines.join(QLatin1Char('\n'));
        showPeakList(lines);
    }
    showLegend();
    fitRanges();
}

void SpectrumAnalysisView::takeOverAxes()
{
    clear();
    active_ = true;
    ownTicker_ = chart_->xAxis->ticker();
    ownBottomTitle_ = chart_->xAxis->label();
    ownLeftTitle_ = chart_->yAxis->label();
}

void SpectrumAnalysisView::setFrequencyAxis(bool logF)
{
    if (logF) {
        chart_->xAxis->setScaleType(QCPAxis::stLogarithmic);
        chart_->xAxis->setTicker(QSharedPointer<DecadeTicker>::create());
    } else {
        chart_->xAxis->setTicker(QSharedPointer<QCPAxisTicker>::create());
    }
    chart_->xAxis->setLabel(QStringLiteral("Частота, Гц"));
}

void SpectrumAnalysisView::setValueAxisTitle(const SpectralAnalysis& a, const QString& valueTitle)
{
    // The signal's own name ("Ускорение") before the scale says what was analysed.
    const int comma = int(valueTitle.lastIndexOf(QLatin1Char(',')));
    const QString signal = comma > 0 ? valueTitle.left(comma).trimmed() : valueTitle.trimmed();
    chart_->yAxis->setLabel((signal.isEmpty() ? QString() : signal + QStringLiteral(": ")) +
                            scaleTitle(a.settings.scale) + QStringLiteral(", ") + a.valueCaption());
}

void SpectrumAnalysisView::addChannelCurves(const SpectralAnalysis& a, const std::vector<QColor>& colours)
{
    const int first = a.firstBin();
    const int last = a.lastBin();
    const std::vector<QColor> shownColours = curveColours(a, colours);
    for (std::size_t i = 0; i < a.channels.size(); ++i) {
        const ChannelAnalysis& c = a.channels[i];
        QVector<double> keys;
        QVector<double> values;
        curvePoints(a, c, first, last, keys, values);
        QCPGraph* g = chart_->addGraph();
        g->setName(c.letter);
        g->setPen(QPen(i < shownColours.size() ? shownColours[i] : QColor(Qt::red)));
        g->setData(keys, values, true);
        graphs_.push_back(g);
    }
}

QStringList SpectrumAnalysisView::markPeaks(const SpectralAnalysis& a,
                                            const std::vector<std::pair<SpectralPeak, QString>>& peaks)
{
    const QString dp = QLocale::system().decimalPoint();
    const QChar sep = dp.isEmpty() ? QLatin1Char('.') : dp.at(0);
    peakMarks_ = chart_->addGraph();
    peakMarks_->setName(QStringLiteral("peaks"));
    peakMarks_->setLineStyle(QCPGraph::lsNone);
    peakMarks_->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssTriangleInverted, Qt::black, 7));
    QStringList lines;
    int n = 0;
    for (const auto& [p, letter] : peaks) {
        const double v = a.shownPeak(p);
        peakMarks_->addData(p.frequencyHz, v);
        const QString f = platform::generalNumberText(std::round(p.frequencyHz * 1e4) / 1e4, sep);
        auto* mark = new QCPItemText(chart_);
        mark->position->setCoords(p.frequencyHz, v);
        mark->setPositionAlignment(Qt::AlignHCenter | Qt::AlignBottom);
        mark->setText(QString::number(++n));
        mark->setPadding(QMargins(0, 0, 0, 6));
        items_.push_back(mark);
        lines << QStringLiteral("%1) %2 Гц  %3  %4")
                     .arg(n)
                     .arg(f, platform::significantText(v, 6, sep), letter);
    }
    return lines;
}

void SpectrumAnalysisView::showPeakList(QStringList& lines)
{
    // The list goes right of the plot, in a margin of its own, so that it never hides a
    // curve; as many lines as the chart's height holds, the rest said to be left out.
    auto* list = new QCPItemText(chart_);
    const QFontMetrics metrics(list->font());
    const int room = std::max(1, (chart_->height() - 8) / metrics.lineSpacing());
    if (lines.size() > room) {
        const qsizetype left = lines.size() - (room - 1);
        lines.resize(room - 1);
        lines << QStringLiteral("… ещё %1").arg(left);
    }
    const QString shown = lines.join(QLatin1Char('\n'));
    list->position->setTypeX(QCPItemPosition::ptViewportRatio);
    list->position->setTypeY(QCPItemPosition::ptAxisRectRatio);
    list->position->setCoords(1.0, 0.0);
    list->setPositionAlignment(Qt::AlignRight | Qt::AlignTop);
    list->setTextAlignment(Qt::AlignLeft);
    list->setBrush(QBrush(Qt::white));
    list->setPen(QPen(Qt::gray));
    list->setPadding(QMargins(4, 2, 4, 2));
    list->setText(shown);
    list->setClipToAxisRect(false);
    items_.push_back(list);
    const int listWidth = metrics.boundingRect(QRect(), Qt::AlignLeft, shown).width() + 4 + 4 + 2;
    chart_->axisRect()->setAutoMargins(QCP::msLeft | QCP::msTop | QCP::msBottom);
    chart_->axisRect()->setMargins(QMargins(0, 0, listWidth + 12, 0));
}

void SpectrumAnalysisView::showLegend()
{
    // Several curves: a legend names them, at the top in the middle.
    chart_->legend->clearItems();
    if (graphs_.size() > 1) {
        for (QCPGraph* g : graphs_)
            g->addToLegend();
        chart_->axisRect()->insetLayout()->setInsetAlignment(0, Qt::AlignTop | Qt::AlignHCenter);
        chart_->legend->setVisible(true);
    }
}

void SpectrumAnalysisView::fitRanges()
{
    chart_->rescaleAxes();
    // Room above the highest line for the number of a peak on it.
    const QCPRange y = chart_->yAxis->range();
    chart_->yAxis->setRange(y.lower, y.upper + 0.06 * std::max(y.size(), 1e-12));
    chart_->replot(QCustomPlot::rpQueuedReplot);
}

} // namespace analysis
