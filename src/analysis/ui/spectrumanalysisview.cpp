#include "analysis/ui/spectrumanalysisview.h"

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
    if (active_) {
        chart_->xAxis->setScaleType(QCPAxis::stLinear);
        chart_->xAxis->setTicker(ownTicker_);
        chart_->xAxis->setLabel(ownBottomTitle_);
        chart_->yAxis->setLabel(ownLeftTitle_);
        ownTicker_.reset();
    }
    active_ = false;
}

void SpectrumAnalysisView::show(const SpectralAnalysis& a, const std::vector<QColor>& colours,
                                const QString& valueTitle)
{
    clear();
    active_ = true;
    ownTicker_ = chart_->xAxis->ticker();
    ownBottomTitle_ = chart_->xAxis->label();
    ownLeftTitle_ = chart_->yAxis->label();

    const bool logF = a.settings.logFrequency;
    const QString dp = QLocale::system().decimalPoint();
    const QChar sep = dp.isEmpty() ? QLatin1Char('.') : dp.at(0);
    if (logF) {
        chart_->xAxis->setScaleType(QCPAxis::stLogarithmic);
        chart_->xAxis->setTicker(QSharedPointer<QCPAxisTickerLog>::create());
    } else {
        chart_->xAxis->setTicker(QSharedPointer<QCPAxisTicker>::create());
    }
    chart_->xAxis->setLabel(QStringLiteral("Частота, Гц"));
    // The signal's own name ("Ускорение") before the scale says what was analysed.
    const int comma = int(valueTitle.lastIndexOf(QLatin1Char(',')));
    const QString signal = comma > 0 ? valueTitle.left(comma).trimmed() : valueTitle.trimmed();
    chart_->yAxis->setLabel((signal.isEmpty() ? QString() : signal + QStringLiteral(": ")) +
                            scaleTitle(a.settings.scale) + QStringLiteral(", ") + a.valueCaption());

    const int first = a.firstBin();
    const int last = a.lastBin();
    for (std::size_t i = 0; i < a.channels.size(); ++i) {
        const ChannelAnalysis& c = a.channels[i];
        const double df = c.spectrum.binHz();
        QVector<double> keys;
        QVector<double> values;
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
        QCPGraph* g = chart_->addGraph();
        g->setName(c.letter);
        g->setPen(QPen(i < colours.size() ? colours[i] : QColor(Qt::red)));
        g->setData(keys, values, true);
        graphs_.push_back(g);
    }

    const auto peaks = a.allPeaks();
    if (!peaks.empty()) {
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
                         .arg(f, platform::generalNumberText(std::round(v * 1e4) / 1e4, sep), letter);
        }
        peakList_ = lines.join(QLatin1Char('\n'));
        auto* list = new QCPItemText(chart_);
        list->position->setType(QCPItemPosition::ptAxisRectRatio);
        list->position->setCoords(0.99, 0.02);
        list->setPositionAlignment(Qt::AlignRight | Qt::AlignTop);
        list->setTextAlignment(Qt::AlignLeft);
        list->setBrush(QBrush(QColor(255, 255, 255, 220)));
        list->setPen(QPen(Qt::gray));
        list->setPadding(QMargins(4, 2, 4, 2));
        list->setText(peakList_);
        list->setClipToAxisRect(false);
        items_.push_back(list);
    }

    chart_->rescaleAxes();
    // Room above the highest line for the number of a peak on it.
    const QCPRange y = chart_->yAxis->range();
    chart_->yAxis->setRange(y.lower, y.upper + 0.06 * std::max(y.size(), 1e-12));
    chart_->replot(QCustomPlot::rpQueuedReplot);
}

} // namespace analysis
