#include "files/ui/folderbrowserui.h"

#include <QFileInfo>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QShortcut>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include "app/ui/mainwindow.h"
#include "files/folderbrowse.h"
#include "files/textexport.h"
#include "files/ui/measurementfilesui.h"
#include "platform/ui/dialogs.h"

namespace files {

FolderBrowserUi::FolderBrowserUi(app::TForm1& form, MeasurementFilesUi& files) : form_(form), files_(files)
{
    connect(form.btPrevFile, &QToolButton::clicked, this, [this] { btPrevFileClick(); });
    connect(form.btNextFile, &QToolButton::clicked, this, [this] { btNextFileClick(); });
    connect(form.btShowCmnt, &QToolButton::clicked, this, [this] { btShowCmntClick(); });
    connect(form.btCopy, &QToolButton::clicked, this, [this] { btCopyClick(); });
    connect(form.btFind, &QPushButton::clicked, this, [this] { btFindClick(); });
    connect(form.btOpenFind, &QPushButton::clicked, this, [this] { btOpenFindClick(); });
    connect(form.btPath, &QPushButton::clicked, this, [this] { btPathClick(); });
    connect(form.btCancel, &QPushButton::clicked, this, [this] { btCancelClick(); });
    // The browser lies over the chart: it must hide it, not let it show through.
    form.gbAllCmnt->setAutoFillBackground(true);
    // Esc inside the browser closes it, as "Отменить" does.
    new QShortcut(QKeySequence(Qt::Key_Escape), form.gbAllCmnt, [&form] { form.btCancel->click(); },
                  Qt::WidgetWithChildrenShortcut);
    form.MAllCmnt->viewport()->installEventFilter(this);
    form.MAllCmnt->installEventFilter(this);
}

bool FolderBrowserUi::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == form_.MAllCmnt->viewport() && event->type() == QEvent::MouseButtonDblClick) {
        // The memo first puts its caret under the pointer (and selects the word), then the file opens.
        const bool handled = QObject::eventFilter(watched, event);
        QMetaObject::invokeMethod(
            this, [this] { MAllCmntDblClick(); }, Qt::QueuedConnection);
        return handled;
    }
    if (watched == form_.MAllCmnt && event->type() == QEvent::KeyPress) {
        const auto* k = static_cast<QKeyEvent*>(event);
        if (k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter)
            openFileAtCaret(); // and the key still goes on to the memo
    }
    return QObject::eventFilter(watched, event);
}

void FolderBrowserUi::loadFromFolder(const QString& name)
{
    // The load names the frame and the current file itself, and only when the file loads.
    files_.loadWithoutDialog(folderOf(files_.currentFileName) + name);
}

void FolderBrowserUi::btNextFileClick()
{
    stepTo(true);
}

void FolderBrowserUi::btPrevFileClick()
{
    stepTo(false);
}

void FolderBrowserUi::stepTo(bool forward)
{
    form_.gbFT->hide();
    const QString current = files_.currentFileName;
    const QString folder = folderOf(current);
    QStringList passed;
    const StepResult step = stepToMeasurement(folder, listFolder(folder, QStringLiteral("*.axd")),
                                              QFileInfo(current).fileName(), forward, passed);
    // Files of other programs are gone past, but named: the operator may wonder where they went.
    const QString passedText = passedOverText(passed);
    // Previous with the current file missing from its folder stays silent.
    if (step.kind == StepResult::NoMoreFiles || (forward && step.kind == StepResult::NotListed)) {
        if (!passedText.isEmpty())
            form_.status->setPanelText(1, passedText);
        if (form_.services().dialogs)
            form_.services().dialogs->message(&form_, QString::fromUtf8(kNoMoreFilesMessage));
        return;
    }
    if (step.kind == StepResult::NotListed)
        return;
    loadFromFolder(step.name);
    if (!passedText.isEmpty()) {
        // After the loaded file's start time, which stays readable.
        const QString shown = form_.status->panelText(1);
        form_.status->setPanelText(1, shown.isEmpty() ? passedText
                                                      : shown + QStringLiteral("; ") + passedText.at(0).toLower() +
                                                            passedText.mid(1));
    }
}

bool FolderBrowserUi::buildList()
{
    platform::Dialogs* dialogs = form_.services().dialogs;
    auto listing = [this] {
        const QString& current = files_.currentFileName;
        return listFolder(folderOf(current), QStringLiteral("*") + fileExtension(current));
    };
    QStringList names = listing();
    if (names.isEmpty()) {
        const QString picked = dialogs ? dialogs->openFile(&form_, openDialogSpec({})) : QString();
        if (!picked.isEmpty()) {
            // The file only names the folder and the kind of files to list; it is not loaded.
            files_.currentFileName = picked;
            names = listing();
        }
    }
    if (names.isEmpty())
        return false;

    CommentListBounds bounds;
    // However many and however large the files, the list is up within a second or two.
    bounds.deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
    const CommentListing list = buildCommentList(folderOf(files_.currentFileName), names, bounds);
    form_.MAllCmnt->setPlainText(list.lines.join(QLatin1Char('\n')));
    if (list.cut && dialogs)
        dialogs->message(&form_, commentListCutMessage(bounds));
    if (!list.foreignFiles.isEmpty())
        form_.status->setPanelText(1, passedOverText(list.foreignFiles));
    return true;
}

void FolderBrowserUi::showList(const QString& keepOnCancel)
{
    form_.gbFT->hide();
    form_.FormResize();
    form_.gbAllCmnt->show();
    form_.gbAllCmnt->raise();
    form_.MAllCmnt->clear();
    form_.MAllCmnt->show();
    const bool found = buildList();
    if (files_.currentFileName.isEmpty())
        files_.currentFileName = keepOnCancel;
    if (!found && form_.services().dialogs)
        form_.services().dialogs->message(&form_, QStringLiteral("Выберите путь, содержащий файлы ") +
                                                      fileExtension(files_.currentFileName));
    QTextCursor top(form_.MAllCmnt->document());
    top.movePosition(QTextCursor::Start);
    form_.MAllCmnt->setTextCursor(top);
    form_.MAllCmnt->ensureCursorVisible();
}

void FolderBrowserUi::btShowCmntClick()
{
    showList(files_.currentFileName);
}

void FolderBrowserUi::btPathClick()
{
    // An empty name lists nothing, which brings up the dialog where any file of the wanted folder
    // is picked; its kind of files is then listed. Cancelled, the previous current file stays.
    const QString previous = files_.currentFileName;
    files_.currentFileName.clear();
    showList(previous);
}

QStringList FolderBrowserUi::listLines() const
{
    QStringList lines;
    const QTextDocument* doc = form_.MAllCmnt->document();
    if (doc->isEmpty())
        return lines;
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next())
        lines.append(b.text());
    return lines;
}

void FolderBrowserUi::openFileAtCaret()
{
    const int caretLine = form_.MAllCmnt->textCursor().blockNumber();
    const auto name = fileNameForLine(listLines(), caretLine);
    if (!name)
        return;
    form_.gbAllCmnt->hide();
    files_.loadWithoutDialog(folderOf(files_.currentFileName) + *name);
}

void FolderBrowserUi::MAllCmntDblClick()
{
    openFileAtCaret();
}

void FolderBrowserUi::btOpenFindClick()
{
    openFileAtCaret();
}

void FolderBrowserUi::btFindClick()
{
    const SearchResult r = findInLines(listLines(), form_.eFind->text(), form_.chkCaps->isChecked(),
                                       files_.searchLine, QLocale::system());
    if (r.line < 0)
        return;
    files_.searchLine = r.nextSearchLine;
    // The line itself is selected, however the memo wraps the lines above it.
    QTextCursor c(form_.MAllCmnt->document()->findBlockByNumber(r.line));
    c.movePosition(QTextCursor::StartOfBlock);
    c.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    form_.MAllCmnt->setFocus();
    form_.MAllCmnt->setTextCursor(c);
    form_.MAllCmnt->ensureCursorVisible();
}

void FolderBrowserUi::btCancelClick()
{
    form_.gbAllCmnt->hide();
}

void FolderBrowserUi::btCopyClick()
{
    platform::Dialogs* dialogs = form_.services().dialogs;
    const QString name = files_.currentFileName;
    const QDateTime time = name.isEmpty() ? QDateTime() : fileModificationTime(name);
    if (!time.isValid()) {
        if (dialogs)
            dialogs->error(&form_, QStringLiteral("Invalid argument to date encode"));
        return;
    }
    // Staged in the hidden memo, then copied whole.
    form_.mClipBoard->setPlainText(form_.mComment->comment());
    form_.mClipBoard->appendPlainText(name + QStringLiteral("  ") + dateTimeText(time, QLocale::system()));
    if (dialogs)
        dialogs->setClipboardText(form_.mClipBoard->toPlainText());
}

} // namespace files
