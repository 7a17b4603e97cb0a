#pragma once

#include <QObject>
#include <QPoint>

#include <cstdint>
#include <optional>

#include "display/interaction.h"
#include "platform/ui/systemtone.h"

namespace display {

class ChartPart;
class ChartViewOptions;
class CursorTable;

// What the user does with the built chart: the readout under the pointer (status panel 2), the
// two-point interval measurement with its markers and beeps, and the display options, each of
// which rebuilds the chart.
class ChartInteraction : public QObject {
    Q_OBJECT
  public:
    explicit ChartInteraction(ChartPart& part);

    // The beeps of the interval measurement; nullptr gives the system's own tone back.
    void setTone(platform::ToneGenerator* tone) { tone_ = tone ? tone : &systemTone_; }

    // Pointer positions are the chart's pixels.
    void Chart1MouseMove(int x, int y);
    void Chart1MouseDown(Qt::MouseButton button, int x, int y);
    void Chart1MouseUp(Qt::MouseButton button, int x, int y);
    void cbShowKChange();
    // Shared by cbTimeunits and the lists of the other panels that rebuild the chart (the window
    // joins cbHelp and the export lists cbStoreX and cbDivider).
    void cbTimeunitsChange();
    void cbSmoothClick();
    void cbXMClick();
    void cbYMClick();
    void cbZMClick();
    void rgTimGradClick();

    // Pointer state, all 0 at start.
    std::int32_t cursorIndex = 0;
    double cursorValue = 0.0;
    std::int32_t mouseDownX = 0;
    std::int32_t pointClickCount = 0;
    std::int32_t firstPointIndex = 0;
    double firstPointValue = 0.0;

    // The values at the markers, over the chart's corner.
    CursorTable* cursorTable() const { return table_; }
    // The view choices and the marker table's place as the settings file kept them.
    void applyStoredView(bool fitValues, bool pulseStrip, bool tableShown, const QPoint& tableGap);
    // The view choices in the "График" panel.
    ChartViewOptions* viewOptions() const { return viewOptions_; }
    // The values of the shown series at the point of sample index (at its x on the bottom axis).
    MarkerReading readingAt(std::int32_t index) const;

  private:
    // The frame of the last visible point of the shown signals, which the readout does not pass
    // (-1 when none is visible); none while no signal is shown.
    std::optional<qint64> lastVisibleFrame() const;
    // What the status bar says about the sample of this index.
    ReadoutValues readoutAt(std::int32_t index) const;
    void connectPointer();
    void connectControls();
    // The table of values at the markers, which follows the markers and its box in the panel.
    void makeMarkerTable();
    void showMarkerTable();

    ChartPart& p_;
    CursorTable* table_ = nullptr;
    ChartViewOptions* viewOptions_ = nullptr;
    std::vector<MarkerReading> markers_;
    platform::SystemTone systemTone_;
    platform::ToneGenerator* tone_ = &systemTone_;
};

} // namespace display
