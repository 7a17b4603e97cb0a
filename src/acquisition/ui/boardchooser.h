#pragma once

// "Плата…": the operator chooses the board the program talks to — a serial port (with the USB
// description of its adapter), a USB device in direct-access mode, or the simulated board —,
// may ask it for the accelerometer's device ID first ("Проверить"), and may write a udev rule
// that gives exactly this board to the logged-in user. The choice goes into device.ini, which
// stays a file that can be edited by hand.
//
// BoardChoiceUi also marks the simulated board wherever the operator looks: the window title
// while it is the board in use, and it tells the window when a search at start has ended.

#include "acquisition/boardchoice.h"

#include <QDialog>
#include <QObject>
#include <QPointer>
#include <QThread>

#include <memory>

class QDialogButtonBox;
class QLabel;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QTimer;
class QToolButton;
class QVBoxLayout;

namespace platform {
class Dialogs;
}

namespace acq {

class MeasurementRun;

class BoardChooser : public QDialog {
    Q_OBJECT
  public:
    // base: the current settings (line rate, waits); ruleFolder: where a udev rule is written.
    BoardChooser(DeviceSettings base, QString ruleFolder, platform::Dialogs* dialogs, QWidget* parent);
    ~BoardChooser() override;

    const BoardCandidate* chosen() const;

    QListWidget* list;
    QPushButton* btCheck;
    QLabel* lbCheck;
    QPushButton* btRule;
    QPlainTextEdit* mRuleCommand;

    // "Проверить" and "Правило udev…".
    void btCheckClick();
    void btRuleClick();

  signals:
    // A probe has ended and lbCheck says how.
    void checked(bool answered);

  private:
    void selectionChanged();
    // The dialog's rows, top to bottom (the order is also the focus order).
    void buildCandidateList(QVBoxLayout* column);
    void buildCheckRow(QVBoxLayout* column);
    void buildRuleRow(QVBoxLayout* column);
    void connectControls(QDialogButtonBox* buttons);

    DeviceSettings base_;
    QString ruleFolder_;
    platform::Dialogs* dialogs_;
    std::vector<BoardCandidate> candidates_;
    QThread* probe_ = nullptr;
};

class BoardChoiceUi : public QObject {
    Q_OBJECT
  public:
    // The chooser is the "Плата…" entry of the connection button's context menu: a button of
    // its own would widen the tool strip past the window's smallest size.
    // deviceFile: device.ini; ruleFolder: where a udev rule is written. The window whose title
    // marks the simulated board is the connection button's.
    BoardChoiceUi(MeasurementRun& run, QToolButton* connection, QString deviceFile, QString ruleFolder,
                  platform::Dialogs* dialogs);
    ~BoardChoiceUi() override;

    // Opens the chooser (window-modal; the choice is applied when it is accepted).
    void btBoardClick();
    BoardChooser* chooser() const { return chooser_; }
    // The window title says whether the board in use is the simulated one.
    void showBoardKind();

  private:
    void apply(const BoardCandidate& c);

    MeasurementRun& run_;
    QWidget* window_;
    QString deviceFile_;
    QString ruleFolder_;
    platform::Dialogs* dialogs_;
    QString caption_;
    QTimer* searchPoll_;
    QPointer<BoardChooser> chooser_;
};

} // namespace acq
