#pragma once

#include <QGroupBox>
#include <QString>
#include <QStringList>

#include <array>

class QLabel;
class QLineEdit;
class QPushButton;

namespace acq {
struct MeasurementRecord;
}
namespace platform {
class Dialogs;
}

namespace files {

// What the zero balancing needs of the set-up panel, the run and the chart. The window that
// composes the parts supplies it; the scales part knows none of their controls.
class ZeroRunHost {
  public:
    virtual ~ZeroRunHost() = default;
    // Keeps the operator's settings and puts in the balancing run's, all but the smoothing.
    virtual void applyZeroRunSettings() = 0;
    // Smoothing on, the last setting: the capture is pending by then, so it builds no chart.
    virtual void switchSmoothingOn() = 0;
    // Starts the run; true once it is going or still being started (a board on a line answers
    // the start later), false when it did not get going (its message has been shown).
    virtual bool startRun() = 0;
    // Puts back what applyZeroRunSettings kept.
    virtual void restoreSettings() = 0;
    // After restoreSettings, once the run's record is charted: the record keeps only the
    // channels the operator's boxes select, as they frame it from now on.
    virtual void keepRestoredChannels() = 0;
    // The chart's three channel series, X, Y, Z: their values and how many there are.
    virtual std::array<const double*, 3> channelValues() const = 0;
    virtual std::array<long long, 3> channelCounts() const = 0;
};

// The calibration scales: reading "Scales.scl", and the zero balancing, a run with the board at
// rest whose chart gives the three zero shifts, written back to the file. It is the chart
// panel's group "Нулевые уровни" and owns its controls.
class ScalesUi : public QGroupBox {
    Q_OBJECT
  public:
    ScalesUi(acq::MeasurementRecord& record, QString scalesFile, platform::Dialogs* dialogs,
             QWidget* parent = nullptr);

    // The host must outlive the balancing; the window sets it once its parts are made.
    void setZeroRunHost(ZeroRunHost* host) { host_ = host; }

    // The read while the window is being created: a notice of missing factors waits for the
    // event loop, so that it comes up over the window rather than alone before it.
    void readAtStart();
    void GetScalesFileData();
    void btLoadScalesFileClick();
    // False when the file could not be written (the error box has said so).
    bool btSaveZerosClick();
    void btZerosClick();
    // The chart build calls this after filling the series while capturePending() is set.
    void ZeroCapture();
    // The run ended, or its start failed, without its chart reaching the capture: nothing stays
    // pending and the operator's settings come back. Nothing happens when no capture is pending.
    void zeroRunEnded(bool started);

    // Set from the balancing's start until its chart is built (or the run did not start). The
    // chart build and the smoothing switch look at it.
    bool capturePending() const { return capturePending_; }
    void setCapturePending(bool pending) { capturePending_ = pending; }

    // "X=…", "Y=…", "Z=…" as shown.
    QString levelText(int axis) const;
    QString yTitle() const { return yTitle_; }

  signals:
    // The file has been read: its value axis title, and the sensitivity list's item texts when
    // the file names a top range (the set-up panel renames its items in place).
    void yTitleRead(const QString& title);
    void rangeItemsRead(const QStringList& items);

  private:
    void read(bool deferNotice);

    acq::MeasurementRecord& record_;
    QString scalesFile_;
    platform::Dialogs* dialogs_;
    ZeroRunHost* host_ = nullptr;
    bool capturePending_ = false;
    QString yTitle_ = QStringLiteral("Ускорение, см/с/с");

    std::array<QLabel*, 3> levels_{}; // lbX, lbY, lbZ
    QLabel* Label11;
    QPushButton* btZeros;
    QLineEdit* eClipZeroMax;
    QPushButton* btLoadScalesFile;
    QPushButton* btSaveZeros;
};

extern const char* const kZeroRunTooShortMessage;

} // namespace files
