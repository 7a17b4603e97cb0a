#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

namespace app {
class TForm1;
}

namespace files {

class MeasurementFilesUi;

// Stepping through the measurement files of the current file's folder, and the comment browser:
// the comments of all files of the folder in one list, searched and opened from there.
class FolderBrowserUi : public QObject {
    Q_OBJECT
  public:
    FolderBrowserUi(app::TForm1& form, MeasurementFilesUi& files);

    void btPrevFileClick();
    void btNextFileClick();
    void btShowCmntClick();
    void MAllCmntDblClick();
    void btOpenFindClick();
    void btFindClick();
    void btPathClick();
    void btCancelClick();
    void btCopyClick();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void stepTo(bool forward);
    void loadFromFolder(const QString& name);
    // Builds and shows the list for the current file's folder. A current file left empty by a
    // cancelled dialog becomes keepOnCancel again.
    void showList(const QString& keepOnCancel);
    // Builds the list; false when no file of the kind was found, even after the dialog.
    bool buildList();
    // The list's lines as the memo holds them, one per text block.
    QStringList listLines() const;
    void openFileAtCaret();

    app::TForm1& form_;
    MeasurementFilesUi& files_;
};

} // namespace files
