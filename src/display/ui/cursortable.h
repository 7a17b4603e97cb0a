#pragma once

#include <QFrame>

#include "display/interaction.h"

class QTableWidget;
class QToolButton;

namespace display {

// A small table over the chart's upper right corner with the values at the markers of the
// interval measurement. Its text can be copied (the button, or Ctrl+C in the table) for a
// report or a spreadsheet.
class CursorTable : public QFrame {
    Q_OBJECT
  public:
    explicit CursorTable(QWidget* chart);

    void showTable(const MarkerTable& table);
    const MarkerTable& table() const { return table_; }
    QTableWidget* grid() const { return grid_; }
    QToolButton* copyButton() const { return copy_; }
    // Keeps the table in the corner of the plot rectangle (in the chart's pixels).
    void placeIn(const QRect& plot);

  signals:
    void copyRequested(const QString& text);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QTableWidget* grid_;
    QToolButton* copy_;
    MarkerTable table_;
    QRect plot_;
};

} // namespace display
