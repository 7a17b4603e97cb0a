#pragma once

#include <QFrame>

#include "display/interaction.h"

class QTableWidget;
class QToolButton;

namespace display {

// A small table over the chart's upper right corner with the values at the markers of the
// interval measurement. Its text can be copied (the button, or Ctrl+C in the table) for a
// report or a spreadsheet. Dragged by its title it moves elsewhere over the plot, where it then
// stays, kept as its distance from the plot's upper right corner; its close button asks to hide it.
class CursorTable : public QFrame {
    Q_OBJECT
  public:
    explicit CursorTable(QWidget* chart);

    void showTable(const MarkerTable& table);
    const MarkerTable& table() const { return table_; }
    QTableWidget* grid() const { return grid_; }
    QToolButton* copyButton() const { return copy_; }
    QToolButton* closeButton() const { return close_; }
    // Keeps the table at its place over the plot rectangle (in the chart's pixels), inside it.
    void placeIn(const QRect& plot);
    // The gaps between the table's right edge and the plot's, and between the top edges.
    QPoint cornerGap() const { return gap_; }
    void setCornerGap(const QPoint& gap);

  signals:
    void copyRequested(const QString& text);
    void closeRequested();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    QTableWidget* grid_;
    QToolButton* copy_;
    QToolButton* close_;
    MarkerTable table_;
    QRect plot_;
    QPoint gap_{4, 4};
    QPoint grab_;
    bool dragging_ = false;
};

} // namespace display
