#pragma once

#include <QColor>
#include <QPoint>
#include <QString>
#include <array>
#include <vector>

#include <qcustomplot.h>

#include "display/seriesdata.h"

class QRubberBand;

namespace display {

class ChartPlottable;
class SampledPlottable;
class MarkPlottable;

// The series of the signal chart, in the order the legend lists them.
enum class Series { X = 0, Y, Z, IaI, Mark, Pls };
inline constexpr int seriesCount = 6;

QString seriesName(Series s);

// The main window's chart. X, Y, Z, IaI and Pls are long uniformly sampled series drawn from
// their envelopes; Mark holds the few markers of an interval measurement. The legend lies below
// the plot, one check box per series. Both axes are automatic until the user zooms:
//   - left button dragged right and down: zoom into the rectangle;
//   - left button dragged left or up: back to the automatic ranges;
//   - right button dragged: scroll.
// A press and release at the same pixel is no gesture: it is left to the window's handlers (the
// chart's mousePress/mouseRelease signals). A right click that did not scroll asks for the
// context menu, as the menu key and Shift+F10 do. The chart takes the focus by Tab or by a click;
// pressGaveFocus() tells the handlers that a press only brought the focus here.
class SignalChart : public QCustomPlot {
    Q_OBJECT
  public:
    explicit SignalChart(QWidget* parent = nullptr);
    ~SignalChart() override;

    // ---- series data ----
    // X, Y, Z and IaI take a line; Pls takes the pulse trace.
    void setLine(Series s, UniformSeries data);
    void setPulse(PulseTrace data);
    void clearSeries(Series s);
    void clearAllSeries();
    void addMark(double x, double y);
    const UniformSeries* line(Series s) const;
    const PulseTrace& pulse() const;

    void setSeriesColour(Series s, const QColor& colour);
    QColor seriesColour(Series s) const;

    // The shown flag: hiding a series keeps its points.
    void setSeriesShown(Series s, bool shown);
    bool isSeriesShown(Series s) const;

    // ---- what the other subsystems read (kept by every chart implementation) ----
    // The plotted y values of a series, one contiguous array of doubles. The pulse trace keeps
    // its two levels as bits and has no such array (nullptr): read it with yValue().
    const double* yValues(Series s) const;
    qint64 pointCount(Series s) const;
    // The x of point i (implicit: the series' first x plus i times its step).
    double xValue(Series s, qint64 i) const;
    double yValue(Series s, qint64 i) const;
    // The label of point i ("" when it has none). Only Pls has labels: its degree labels.
    QString pointLabel(Series s, qint64 i) const;

    void setBackgroundColour(const QColor& colour);
    QColor backgroundColour() const { return background_; }

    // ---- axes ----
    void setLeftTitle(const QString& title);
    void setBottomTitle(const QString& title);
    QString leftTitle() const;
    QString bottomTitle() const;
    // The title of the time scale on the top axis, shown while the bottom axis shows the pulse's
    // degree labels ("Время, мс").
    void setTimeTitle(const QString& title);
    QString timeTitle() const;
    // The current visible ranges.
    ValueRange leftRange() const;
    ValueRange bottomRange() const;
    // The left axis's range as laid out at the last drawing: (0, 0) before any drawing, and the
    // automatic range of the data then shown ((0, 0) with no data) while the axes are automatic.
    ValueRange lastPaintedLeftRange() const { return lastPaintedLeft_; }
    // The automatic left range of the shown series, as the next drawing will lay it out.
    ValueRange autoLeftRange() const;
    // Axis values at a pixel of the widget.
    double bottomValueAt(double pixelX) const;
    double leftValueAt(double pixelY) const;
    // The vertical pixel position of the bottom axis.
    int bottomAxisPosition() const;
    // Whether the bottom axis shows point labels in place of numbers (Pls shown with labels).
    bool showsPointLabels() const;

    // ---- zoom and scroll (what the mouse gestures and keys do) ----
    bool isZoomed() const { return zoomed_; }
    void zoomToPixels(const QRect& pixelRect);
    void zoomTo(ValueRange bottom, ValueRange left);
    void scrollByPixels(int dx, int dy);
    void unzoom();
    // The time axis narrowed (factor < 1) or widened around a key that stays in place.
    void zoomTimeAround(double factor, double key);
    // The value axis likewise around a value.
    void zoomValuesAround(double factor, double value);
    // The time axis moved by a fraction of its visible width (positive: later).
    void scrollTime(double fraction);
    // Back to the view before the last zoom or scroll; false when there is none.
    bool zoomBack();
    int zoomHistorySize() const { return int(history_.size()); }
    // A new record: automatic ranges again and no step back into the previous record's views.
    void resetZoom();
    // The bottom axis's unit changed by this factor (new value = old value × factor): the zoom
    // and every step of its history keep showing the same stretch.
    void rescaleKeys(double factor);
    // With it set, every change of the visible time fits the value axis to the values of the
    // shown series within it (a rectangle zoom and a value zoom still set the values directly).
    void setFitValuesToVisible(bool on) { fitValues_ = on; }
    bool fitValuesToVisible() const { return fitValues_; }
    // The pulse trace in a thin strip of its own under the signals instead of bars over the whole
    // height: the automatic value range leaves room for the strip below the signals.
    void setPulseStrip(bool on);
    bool pulseStrip() const { return pulseStrip_; }
    // The lowest and highest value of the shown signal series (not the pulse trace) between two
    // keys; empty when none has a point there.
    ValueRange visibleValueRange(ValueRange bottom) const;

    // ---- a run still being received ----
    // The series as they stand show over the given time range and the values they span. The
    // user's zoom is put aside, not lost, and nothing is noted of these drawings (no after-draw
    // notification, no painted range): they are not the measurement's chart.
    void showLive(ValueRange bottom);
    // Gives the zoom back; the next build replaces the series.
    void endLive();
    bool isLive() const { return live_; }

    // ---- after each drawing ----
    // First and last point of a series inside the bottom axis's range at its last drawing; -1
    // when it has not been drawn since its points were replaced.
    qint64 firstVisibleIndex(Series s) const;
    qint64 lastVisibleIndex(Series s) const;

    // Memory held by the series data and envelopes.
    quint64 dataBytes() const;

    // Whether the last mouse press moved the focus to the chart from elsewhere.
    bool pressGaveFocus() const { return pressGaveFocus_; }

  signals:
    // Emitted after every drawing of the chart.
    void afterDraw();
    // A legend check box was clicked (or the flag set from code).
    void seriesShownChanged(display::Series s, bool shown);
    // The markers of the interval measurement were removed.
    void marksCleared();
    // The context menu was asked for: a right click or the keyboard.
    void contextMenuRequested(const QPoint& globalPos);

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

  private:
    // The steps of construction, in this order.
    void createPlottables();
    void buildLegend();
    void placeLegendUnderPlot();
    void setUpAxes();
    void keepTimeOnTopAxis();
    // A visible range as a zoom step: remembered in the history, then set.
    void setView(const QCPRange& bottom, const QCPRange& left);
    void rememberView();
    QCPRange fittedValues(const QCPRange& bottom) const;
    QCPRange withPulseStrip(QCPRange values) const;
    ChartPlottable* plottable(Series s) const { return plottables_[std::size_t(s)]; }
    SampledPlottable* sampled(Series s) const;
    void applyAutoRanges();
    void noteDrawing();
    void onLegendClick(QCPLegend* legend, QCPAbstractLegendItem* item, QMouseEvent* event);

    std::array<ChartPlottable*, seriesCount> plottables_{};
    MarkPlottable* mark_ = nullptr;
    QColor background_{Qt::white};
    bool zoomed_ = false;
    bool fitValues_ = false;
    bool pulseStrip_ = false;
    struct View {
        bool zoomed;
        QCPRange bottom;
        QCPRange left;
    };
    std::vector<View> history_;
    bool live_ = false;
    ValueRange liveBottom_;
    QCPRange liveSavedBottom_;
    QCPRange liveSavedLeft_;
    ValueRange autoLeft_{0.0, 0.0};
    ValueRange lastPaintedLeft_{0.0, 0.0};

    enum class Drag { None, Zoom, Scroll };
    Drag drag_ = Drag::None;
    QPoint dragStart_;
    bool dragMoved_ = false;
    bool focusByMouse_ = false;
    bool pressGaveFocus_ = false;
    bool scrollRemembered_ = false;
    QCPRange scrollStartX_;
    QCPRange scrollStartY_;
    QRubberBand* rubberBand_ = nullptr;
};

} // namespace display
