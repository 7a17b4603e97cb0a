#pragma once

#include <QFrame>
#include <QPointer>

#include <cstdint>

class QLabel;
class QProgressBar;
class QPushButton;

namespace platform {
class TickSource;
}

namespace files {

// The progress of a long text export, shown over the chart: what is being written, a bar and a
// button to cancel. It appears only when an export looks like taking over a second. While it is
// up the export lets the message loop run, so the window repaints and the button works; every
// other click and key of the program is held back, so nothing can replace the values the export
// is writing or start a second save.
class ExportProgressPanel : public QFrame {
    Q_OBJECT
  public:
    // over: the widget the panel covers the top of (the chart); ticks: the clock that decides
    // when an export is a long one.
    ExportProgressPanel(QWidget* window, QWidget* over, platform::TickSource* ticks);
    ~ExportProgressPanel() override;

    void begin(const QString& fileName);
    // After each block of rows. False once the user has cancelled.
    bool step(std::int64_t done, std::int64_t total);
    void end();

    bool cancelled() const { return cancelled_; }
    QProgressBar* bar() const { return bar_; }
    QPushButton* cancelButton() const { return cancel_; }

  signals:
    // The panel came up: the export is a long one.
    void shownForExport();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    std::uint32_t elapsed() const;
    void showOver();

    QPointer<QWidget> over_;
    platform::TickSource* ticks_;
    QLabel* label_;
    QProgressBar* bar_;
    QPushButton* cancel_;
    std::uint32_t start_ = 0;
    std::uint32_t lastUpdate_ = 0;
    bool running_ = false;
    bool cancelled_ = false;
    bool filtering_ = false;
};

} // namespace files
