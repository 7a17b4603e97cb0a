#pragma once

#include <QColor>
#include <QSharedPointer>
#include <QString>
#include <QStringList>

#include <utility>
#include <vector>

#include "analysis/spectralreport.h"

class QCustomPlot;
class QCPAbstractItem;
class QCPAxisTicker;
class QCPGraph;

namespace analysis {

// Draws an analysis beyond the plain spectrum into the spectrum chart: a line
// per channel in the channel's colour over frequency in hertz (linear or
// logarithmic), the peaks marked and listed. clear() takes all of it away
// again and gives the chart back its own bottom-axis ticker, so the plain
// spectrum draws exactly as it always did.
class SpectrumAnalysisView {
  public:
    explicit SpectrumAnalysisView(QCustomPlot* chart);

    void show(const SpectralAnalysis& a, const std::vector<QColor>& colours, const QString& valueTitle);
    void clear();
    bool active() const { return active_; }

    const std::vector<QCPGraph*>& graphs() const { return graphs_; }
    QCPGraph* peakMarks() const { return peakMarks_; }
    QString peakList() const { return peakList_; }

  private:
    // Keeps the chart's own bottom ticker and axis titles for clear() to give back.
    void takeOverAxes();
    void setFrequencyAxis(bool logF);
    void setValueAxisTitle(const SpectralAnalysis& a, const QString& valueTitle);
    void addChannelCurves(const SpectralAnalysis& a, const std::vector<QColor>& colours);
    // Marks and numbers the peaks on the curves; gives back a line per peak.
    QStringList markPeaks(const SpectralAnalysis& a, const std::vector<std::pair<SpectralPeak, QString>>& peaks);
    // Cuts `lines` to what the chart's height holds.
    void showPeakList(QStringList& lines);
    void showLegend();
    void fitRanges();

    QCustomPlot* chart_;
    bool active_ = false;
    QSharedPointer<QCPAxisTicker> ownTicker_;
    QString ownBottomTitle_;
    QString ownLeftTitle_;
    std::vector<QCPGraph*> graphs_;
    QCPGraph* peakMarks_ = nullptr;
    std::vector<QCPAbstractItem*> items_;
    QString peakList_;
};

} // namespace analysis
