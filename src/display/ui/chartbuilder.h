#pragma once

#include <QObject>

#include <cstdint>

#include "display/chartbuild.h"

namespace display {

class ChartPart;

// The chart build (ShowChart) and what follows each drawing of the chart. The series come from
// the core build (chartbuild.h); this class reads the part's controls, hands the series to the
// chart and writes the values the rest of the window reads.
class ChartBuilder : public QObject {
    Q_OBJECT
  public:
    explicit ChartBuilder(ChartPart& part);

    // A build asked for while one is running (through the message processing of a large build)
    // does not interleave with it: it runs once, after the running build has finished.
    void ShowChart(QObject* sender);
    // After each drawing: restarts the link check and takes the visible stretch.
    void Chart1AfterDraw();
    // While a run is received: the chart shows the stream as it stands (the latest seconds).
    void showReceived();

    bool isBuilding() const { return building_; }

  private:
    void build();
    // The steps of a build: the zoom kept or reset (returns the left range the user fixed, if
    // any), the scales taken, the series drawn (false when the build stopped), the titles set.
    ValueRange followZoom(const ChartScales& scales);
    void takeScales(const ChartScales& scales);
    bool drawSeries(const ChartInput& input, const ChartOptions& options, ValueRange painted);
    void finish(const ChartOptions& options, const ChartScales& scales);

    ChartPart& p_;
    bool building_ = false;
    bool pending_ = false;
    // The record whose series the chart was last given (its generation).
    std::uint64_t builtGeneration_ = ~std::uint64_t(0);
    QObject* pendingSender_ = nullptr;
};

} // namespace display
