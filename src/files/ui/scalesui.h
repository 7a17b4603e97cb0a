#pragma once

#include <QObject>
#include <QString>

#include <array>

namespace app {
class TForm1;
}

namespace files {

// The calibration scales of the main window: reading "Scales.scl", and the zero balancing, a
// run with the board at rest whose chart gives the three zero shifts, written back to the file.
class ScalesUi : public QObject {
    Q_OBJECT
  public:
    explicit ScalesUi(app::TForm1& form);

    void GetScalesFileData();
    void btLoadScalesFileClick();
    // False when the file could not be written (the error box has said so).
    bool btSaveZerosClick();
    void btZerosClick();
    // Runs inside the chart build, after the series are filled, while zeroCapturePending is set.
    void ZeroCapture();

    // The settings the balancing run changes, put back when it has ended.
    struct Backup {
        std::array<bool, 3> channels{};
        int samples = 0;
        int view = 0;
        int smoothWeight = 0;
        bool smooth = false;
        int frequency = 0;
        int range = 0;
        int target = 0;
    };

  private:
    Backup takeBackup() const;
    void restore(const Backup& b);

    app::TForm1& form_;
    Backup backup_;
};

extern const char* const kZeroRunTooShortMessage;

} // namespace files
