#include "files/ui/folderbrowserui.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QStyle>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QToolButton>

#include "app/ui/controls.h"
#include "files/folderbrowse.h"
#include "files/textexport.h"
#include "files/ui/measurementfilesui.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/help.h"

namespace files {

namespace {

QPushButton* searchButton(QWidget* parent, const char* name, const QString& caption)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QLatin1String(name));
    return b;
}

} // namespace

FolderBrowserUi::FolderBrowserUi(FolderBrowserHost& host, MeasurementFilesUi& files,
                                 platform::Dialogs* dialogs, QFrame* fileBar)
    : QGroupBox(QStringLiteral("Для открытия файла выполните двойной щелчок по любому слову в "
                               "комментарии, относящемся к выбираемому файлу:")),
      host_(host), files_(files), dialogs_(dialogs)
{
    setObjectName(QStringLiteral("gbAllCmnt"));
    buildToolButtons(fileBar);
    buildList();
    // The browser lies over the chart: it must hide it, not let it show through.
    setAutoFillBackground(true);
    hide();

    connect(btPrevFile, &QToolButton::clicked, this, [this] { btPrevFileClick(); });
    connect(btNextFile, &QToolButton::clicked, this, [this] { btNextFileClick(); });
    connect(btShowCmnt, &QToolButton::clicked, this, [this] { btShowCmntClick(); });
    connect(btFind, &QPushButton::clicked, this, [this] { btFindClick(); });
    connect(btOpenFind, &QPushButton::clicked, this, [this] { btOpenFindClick(); });
    connect(btPath, &QPushButton::clicked, this, [this] { btPathClick(); });
    connect(btCancel, &QPushButton::clicked, this, [this] { btCancelClick(); });
    // Esc inside the browser closes it, as "Отменить" does.
    new QShortcut(
        QKeySequence(Qt::Key_Escape), this, [this] { btCancel->click(); }, Qt::WidgetWithChildrenShortcut);
    MAllCmnt->viewport()->installEventFilter(this);
    MAllCmnt->installEventFilter(this);
}

void FolderBrowserUi::buildToolButtons(QFrame* fileBar)
{
    QStyle* st = fileBar->style();
    btShowCmnt = app::toolButton(fileBar, "btShowCmnt", {},
                                 QStringLiteral("Просмотреть комментарии ко всем  файлам в папке"),
                                 st->standardIcon(QStyle::SP_FileDialogDetailedView));
    btPrevFile = app::toolButton(fileBar, "btPrevFile", {}, QStringLiteral("Предыдущий файл в папке"),
                                 st->standardIcon(QStyle::SP_ArrowLeft));
    btNextFile = app::toolButton(fileBar, "btNextFile", {}, QStringLiteral("Следующий файл в папке"),
                                 st->standardIcon(QStyle::SP_ArrowRight));
    platform::setHelpContext(btShowCmnt, 104);
    platform::setHelpContext(btPrevFile, 105);
    platform::setHelpContext(btNextFile, 106);
    // Folder browsing needs a current file: these wait for the first load.
    for (QToolButton* b : {btShowCmnt, btPrevFile, btNextFile})
        b->setEnabled(false);
}

void FolderBrowserUi::buildList()
{
    MAllCmnt = new QPlainTextEdit(this);
    MAllCmnt->setObjectName(QStringLiteral("MAllCmnt"));
    MAllCmnt->setReadOnly(true);
    MAllCmnt->setAccessibleName(QStringLiteral("Комментарии к файлам папки"));
    MAllCmnt->move(8, 20);
    pSearch = new QFrame(this);
    pSearch->setObjectName(QStringLiteral("pSearch"));
    pSearch->setFrameShape(QFrame::StyledPanel);
    auto* row = new QHBoxLayout(pSearch);
    row->setContentsMargins(4, 2, 4, 2);
    eFind = new QLineEdit(pSearch);
    eFind->setObjectName(QStringLiteral("eFind"));
    lbFind = new QLabel(QStringLiteral("ИСКАТЬ "), pSearch);
    lbFind->setObjectName(QStringLiteral("lbFind"));
    lbFind->setBuddy(eFind);
    chkCaps = new QCheckBox(QStringLiteral("регистр"), pSearch);
    chkCaps->setObjectName(QStringLiteral("chkCaps"));
    btFind = searchButton(pSearch, "btFind", QStringLiteral("Поиск"));
    btOpenFind = searchButton(pSearch, "btOpenFind", QStringLiteral("Открыть файл"));
    btPath = searchButton(pSearch, "btPath", QStringLiteral("Папка"));
    btCancel = searchButton(pSearch, "btCancel", QStringLiteral("Отменить"));
    row->addWidget(lbFind);
    row->addWidget(eFind, 1);
    for (QWidget* w : std::initializer_list<QWidget*>{chkCaps, btFind, btOpenFind, btPath, btCancel})
        row->addWidget(w);
    pSearch->resize(400, 30);
    for (QWidget* w : std::initializer_list<QWidget*>{this, MAllCmnt, lbFind, eFind, chkCaps, btFind,
                                                      btOpenFind, btPath, btCancel})
        platform::setHelpContext(w, 3);
}

void FolderBrowserUi::setArea(const QRect& area)
{
    setGeometry(area);
    // The search row along the bottom, the list above it as wide as the comment box.
    pSearch->resize(std::max(0, width() - 20), pSearch->height());
    pSearch->move(10, height() - pSearch->height() - 5);
    MAllCmnt->resize(std::max(0, width() - 16),
                     std::max(0, height() - pSearch->height() - MAllCmnt->y() - 10));
}

void FolderBrowserUi::enableNavigation()
{
    for (QToolButton* b : {btPrevFile, btNextFile, btShowCmnt})
        b->setEnabled(true);
}

bool FolderBrowserUi::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == MAllCmnt->viewport() && event->type() == QEvent::MouseButtonDblClick) {
        // The memo first puts its caret under the pointer (and selects the word), then the file opens.
        const bool handled = QObject::eventFilter(watched, event);
        QMetaObject::invokeMethod(
            this, [this] { MAllCmntDblClick(); }, Qt::QueuedConnection);
        return handled;
    }
    if (watched == MAllCmnt && event->type() == QEvent::KeyPress) {
        const auto* k = static_cast<QKeyEvent*>(event);
        if (k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter)
            openFileAtCaret(); // and the key still goes on to the memo
    }
    return QObject::eventFilter(watched, event);
}

void FolderBrowserUi::loadFromFolder(const QString& name)
{
    // The load names the frame and the current file itself, and only when the file loads.
    files().loadWithoutDialog(folderOf(files().currentFileName) + name);
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
    host_.hideSetupPanel();
    const QString current = files().currentFileName;
    const QString folder = folderOf(current);
    QStringList passed;
    const StepResult step = stepToMeasurement(folder, listFolder(folder, QStringLiteral("*.axd")),
                                              QFileInfo(current).fileName(), forward, passed);
    // Files of other programs are gone past, but named: the operator may wonder where they went.
    const QString passedText = passedOverText(passed);
    // Previous with the current file missing from its folder stays silent.
    if (step.kind == StepResult::NoMoreFiles || (forward && step.kind == StepResult::NotListed)) {
        if (!passedText.isEmpty())
            host_.status().setPanelText(1, passedText);
        if (dialogs_)
            dialogs_->message(window(), QString::fromUtf8(kNoMoreFilesMessage));
        return;
    }
    if (step.kind == StepResult::NotListed)
        return;
    loadFromFolder(step.name);
    if (!passedText.isEmpty()) {
        // After the loaded file's start time, which stays readable.
        const QString shown = host_.status().panelText(1);
        host_.status().setPanelText(1, shown.isEmpty() ? passedText
                                                       : shown + QStringLiteral("; ") +
                                                             passedText.at(0).toLower() + passedText.mid(1));
    }
}

bool FolderBrowserUi::fillList()
{
    platform::Dialogs* dialogs = dialogs_;
    auto listing = [this] {
        const QString& current = files().currentFileName;
        return listFolder(folderOf(current), QStringLiteral("*") + fileExtension(current));
    };
    QStringList names = listing();
    if (names.isEmpty()) {
        const QString picked = dialogs ? dialogs->openFile(window(), openDialogSpec({})) : QString();
        if (!picked.isEmpty()) {
            // The file only names the folder and the kind of files to list; it is not loaded.
            files().currentFileName = picked;
            names = listing();
        }
    }
    if (names.isEmpty())
        return false;

    CommentListBounds bounds;
    // However many and however large the files, the list is up within a second or two.
    bounds.deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
    const CommentListing list = buildCommentList(folderOf(files().currentFileName), names, bounds);
    MAllCmnt->setPlainText(list.lines.join(QLatin1Char('\n')));
    if (list.cut && dialogs)
        dialogs->message(window(), commentListCutMessage(bounds));
    if (!list.foreignFiles.isEmpty())
        host_.status().setPanelText(1, passedOverText(list.foreignFiles));
    return true;
}

void FolderBrowserUi::showList(const QString& keepOnCancel)
{
    host_.hideSetupPanel();
    host_.layOutWindow();
    show();
    raise();
    MAllCmnt->clear();
    MAllCmnt->show();
    const bool found = fillList();
    if (files().currentFileName.isEmpty())
        files().currentFileName = keepOnCancel;
    if (!found && dialogs_)
        dialogs_->message(window(), QStringLiteral("Выберите путь, содержащий файлы ") +
                                        fileExtension(files().currentFileName));
    QTextCursor top(MAllCmnt->document());
    top.movePosition(QTextCursor::Start);
    MAllCmnt->setTextCursor(top);
    MAllCmnt->ensureCursorVisible();
}

void FolderBrowserUi::btShowCmntClick()
{
    showList(files().currentFileName);
}

void FolderBrowserUi::btPathClick()
{
    // An empty name lists nothing, which brings up the dialog where any file of the wanted folder
    // is picked; its kind of files is then listed. Cancelled, the previous current file stays.
    const QString previous = files().currentFileName;
    files().currentFileName.clear();
    showList(previous);
}

QStringList FolderBrowserUi::listLines() const
{
    QStringList lines;
    const QTextDocument* doc = MAllCmnt->document();
    if (doc->isEmpty())
        return lines;
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next())
        lines.append(b.text());
    return lines;
}

void FolderBrowserUi::openFileAtCaret()
{
    const int caretLine = MAllCmnt->textCursor().blockNumber();
    const auto name = fileNameForLine(listLines(), caretLine);
    if (!name)
        return;
    hide();
    files().loadWithoutDialog(folderOf(files().currentFileName) + *name);
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
    const SearchResult r =
        findInLines(listLines(), eFind->text(), chkCaps->isChecked(), files().searchLine, QLocale::system());
    if (r.line < 0)
        return;
    files().searchLine = r.nextSearchLine;
    // The line itself is selected, however the memo wraps the lines above it.
    QTextCursor c(MAllCmnt->document()->findBlockByNumber(r.line));
    c.movePosition(QTextCursor::StartOfBlock);
    c.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    MAllCmnt->setFocus();
    MAllCmnt->setTextCursor(c);
    MAllCmnt->ensureCursorVisible();
}

void FolderBrowserUi::btCancelClick()
{
    hide();
}

} // namespace files
