#pragma once

#include <QGroupBox>
#include <QString>
#include <QStringList>

class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QToolButton;

namespace app {
class StatusPanels;
}
namespace platform {
class Dialogs;
}

namespace files {

class MeasurementFilesUi;

// What the folder browsing needs of the rest of the window.
class FolderBrowserHost {
  public:
    virtual ~FolderBrowserHost() = default;
    // The set-up panel is put out of the way of the list and of a file stepped to.
    virtual void hideSetupPanel() = 0;
    // The window lays itself out again: the list takes the chart's place.
    virtual void layOutWindow() = 0;
    virtual app::StatusPanels& status() = 0;
};

// Stepping through the measurement files of the current file's folder ("Предыдущий файл в
// папке", "Следующий файл в папке" on the file tool bar), and the comment browser gbAllCmnt, this
// group: the comments of all files of the folder in one list, searched and opened from there.
// The tool buttons wait for the first file loaded (enableNavigation).
class FolderBrowserUi : public QGroupBox {
    Q_OBJECT
  public:
    // The buttons go onto fileBar; the window places the group itself over the chart. `files`
    // loads the files and knows the current one.
    FolderBrowserUi(FolderBrowserHost& host, MeasurementFilesUi& files, platform::Dialogs* dialogs,
                    QFrame* fileBar);

    // The chart's place, which the list covers when shown; its inside follows.
    void setArea(const QRect& area);
    // A measurement file was loaded: its folder can be browsed.
    void enableNavigation();

    void btPrevFileClick();
    void btNextFileClick();
    void btShowCmntClick();
    void MAllCmntDblClick();
    void btOpenFindClick();
    void btFindClick();
    void btPathClick();
    void btCancelClick();

    // The file tool bar's buttons.
    QToolButton *btShowCmnt, *btPrevFile, *btNextFile;
    // The list and its search row.
    QPlainTextEdit* MAllCmnt;
    QFrame* pSearch;
    QLabel* lbFind;
    QLineEdit* eFind;
    QCheckBox* chkCaps;
    QPushButton *btFind, *btOpenFind, *btPath, *btCancel;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void buildToolButtons(QFrame* fileBar);
    void buildList();
    void stepTo(bool forward);
    void loadFromFolder(const QString& name);
    // Builds and shows the list for the current file's folder. A current file left empty by a
    // cancelled dialog becomes keepOnCancel again.
    void showList(const QString& keepOnCancel);
    // Fills the list; false when no file of the kind was found, even after the dialog.
    bool fillList();
    // The list's lines as the memo holds them, one per text block.
    QStringList listLines() const;
    void openFileAtCaret();
    MeasurementFilesUi& files() { return files_; }

    FolderBrowserHost& host_;
    MeasurementFilesUi& files_;
    platform::Dialogs* dialogs_;
};

} // namespace files
