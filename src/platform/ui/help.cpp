#include "platform/ui/help.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QListWidget>
#include <QRegularExpression>
#include <QScreen>
#include <QShortcut>
#include <QSplitter>
#include <QStringDecoder>
#include <QTextBrowser>
#include <QTextDocumentFragment>
#include <QUrl>

#include <algorithm>
#include <map>
#include <utility>

namespace platform {

namespace {

const char* const kHelpContextProperty = "helpContext";
const char* const kHelpKeyName = "helpKey";

// Only the pages this folder is meant to hold are ever opened: index.html and
// topic-N.html with N written plainly. A link to anything else is not followed.
int topicOfFileName(const QString& fileName)
{
    static const QRegularExpression pattern(QStringLiteral("^topic-([1-9][0-9]{0,8})\\.html$"));
    const QRegularExpressionMatch m = pattern.match(fileName);
    return m.hasMatch() ? m.captured(1).toInt() : 0;
}

QString pageFileName(int number)
{
    return number == 0 ? QStringLiteral("index.html") : QStringLiteral("topic-%1.html").arg(number);
}

QString decodeHtml(const QByteArray& bytes)
{
    // Pages declare their charset in a meta tag; without one they are UTF-8.
    QStringDecoder decoder = QStringDecoder::decoderForHtml(bytes);
    if (!decoder.isValid())
        return QString::fromUtf8(bytes);
    return decoder.decode(bytes);
}

QString readTitle(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    // The title sits in the head; there is no need to read a long page to the end.
    const QString head = decodeHtml(file.read(64 * 1024));
    static const QRegularExpression titlePattern(QStringLiteral("<title[^>]*>(.*?)</title>"),
                                                 QRegularExpression::CaseInsensitiveOption |
                                                     QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch m = titlePattern.match(head);
    if (!m.hasMatch())
        return {};
    // Entities such as &laquo; are written as their characters in the list.
    return QTextDocumentFragment::fromHtml(m.captured(1)).toPlainText().simplified();
}

QString noteHtml(const QString& text)
{
    return QStringLiteral("<html><body><p>%1</p></body></html>").arg(text.toHtmlEscaped());
}

} // namespace

Help::~Help() = default;

HelpWindow::HelpWindow(QString helpFolder, QWidget* parent)
    : QWidget(parent, Qt::Window), folder_(std::move(helpFolder))
{
    setWindowTitle(QStringLiteral("Справка"));

    auto* splitter = new QSplitter(this);
    contents_ = new QListWidget(splitter);
    contents_->setObjectName(QStringLiteral("helpContents"));
    browser_ = new QTextBrowser(splitter);
    browser_->setObjectName(QStringLiteral("helpBrowser"));
    // Links are followed by followLink, which only knows the pages of the help folder;
    // the browser itself must not open files or hand addresses to the desktop.
    browser_->setOpenLinks(false);
    browser_->setOpenExternalLinks(false);
    splitter->addWidget(contents_);
    splitter->addWidget(browser_);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({230, 590});

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(splitter);
    resize(820, 560);

    buildContents();

    connect(contents_, &QListWidget::currentItemChanged, this, [this](QListWidgetItem* item) {
        if (item)
            display(item->data(Qt::UserRole).toInt());
    });
    connect(browser_, &QTextBrowser::anchorClicked, this, &HelpWindow::followLink);
}

void HelpWindow::buildContents()
{
    auto* top = new QListWidgetItem(QStringLiteral("Содержание"), contents_);
    top->setData(Qt::UserRole, 0);

    std::map<int, QString> topics; // ordered by topic number, not by file name
    const QDir dir(folder_);
    const QFileInfoList pages = dir.entryInfoList({QStringLiteral("topic-*.html")}, QDir::Files);
    for (const QFileInfo& page : pages) {
        const int number = topicOfFileName(page.fileName());
        if (number <= 0)
            continue;
        QString title = readTitle(page.filePath());
        if (title.isEmpty())
            title = QStringLiteral("Раздел %1").arg(number);
        topics[number] = title;
    }
    for (const auto& [number, title] : topics) {
        auto* item = new QListWidgetItem(title, contents_);
        item->setData(Qt::UserRole, number);
    }
}

void HelpWindow::display(int number)
{
    const QString path = QDir(folder_).filePath(pageFileName(number));
    QFile file(path);
    if (!folder_.isEmpty() && file.open(QIODevice::ReadOnly)) {
        // Relative references in a page (pictures, if a page ever has any) are
        // resolved against the help folder.
        browser_->document()->setBaseUrl(
            QUrl::fromLocalFile(QDir(folder_).absolutePath() + QLatin1Char('/')));
        browser_->setHtml(decodeHtml(file.readAll()));
    } else if (number == 0) {
        browser_->setHtml(noteHtml(QStringLiteral("Оглавление справки не найдено (папка %1).")
                                       .arg(QDir::toNativeSeparators(folder_))));
    } else {
        browser_->setHtml(noteHtml(QStringLiteral("Раздел справки %1 не найден.").arg(number)));
    }
    shownTopic_ = number;

    // Keep the list in step with the page without re-entering display().
    const QSignalBlocker blocker(contents_);
    contents_->setCurrentItem(nullptr);
    for (int row = 0; row < contents_->count(); ++row) {
        if (contents_->item(row)->data(Qt::UserRole).toInt() == number) {
            contents_->setCurrentRow(row);
            break;
        }
    }
}

void HelpWindow::followLink(const QUrl& url)
{
    const QString scheme = url.scheme();
    if (!scheme.isEmpty() && scheme != QLatin1String("file"))
        return; // addresses outside the help are not opened from here

    const QString fileName = QFileInfo(url.path()).fileName();
    if (!fileName.isEmpty()) {
        if (fileName == QLatin1String("index.html")) {
            display(0);
        } else if (const int number = topicOfFileName(fileName); number > 0) {
            display(number);
        } else {
            browser_->setHtml(noteHtml(QStringLiteral("Страница справки %1 не найдена.").arg(fileName)));
            shownTopic_ = -1;
            return;
        }
    }
    if (url.hasFragment())
        browser_->scrollToAnchor(url.fragment());
}

void HelpWindow::placeOnScreen()
{
    // The window manager may cascade a new window partly below the screen, where the end of the
    // contents cannot be reached: the first showing puts it whole on the screen of the active
    // window (or the primary one), at the middle. Where the operator puts it later, it stays.
    const QWidget* active = QApplication::activeWindow();
    QScreen* scr = active ? active->screen() : QGuiApplication::primaryScreen();
    if (!scr)
        return;
    // The frame is not known before the first showing; room for a usual caption and border.
    const QSize frame(12, 40);
    const QRect work = scr->availableGeometry();
    const QSize inner = size().boundedTo(work.size() - frame).expandedTo(minimumSizeHint());
    const QPoint topLeft(work.left() + std::max(0, (work.width() - inner.width() - frame.width()) / 2),
                         work.top() + std::max(0, (work.height() - inner.height() - frame.height()) / 2));
    resize(inner);
    move(topLeft);
}

void HelpWindow::bringUp()
{
    if (!placed_) {
        placed_ = true;
        placeOnScreen();
    }
    if (isMinimized())
        showNormal();
    else
        show();
    // An F1 from the main window should bring the help in front of it; a window
    // that is already in front needs nothing more.
    if (!isActiveWindow()) {
        raise();
        activateWindow();
    }
}

void HelpWindow::showContents()
{
    display(0);
    bringUp();
}

void HelpWindow::showTopic(int number)
{
    display(number);
    bringUp();
}

QString defaultHelpFolder()
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("accel3.help"));
}

void setHelpContext(QWidget* w, int number)
{
    if (!w)
        return;
    w->setProperty(kHelpContextProperty, number > 0 ? QVariant(number) : QVariant());
}

int helpContextOf(const QWidget* w)
{
    for (const QWidget* p = w; p; p = p->parentWidget()) {
        bool ok = false;
        const int number = p->property(kHelpContextProperty).toInt(&ok);
        if (ok && number > 0)
            return number;
    }
    return 0;
}

void installHelpKey(QWidget* window, Help& help)
{
    if (!window)
        return;
    // Two F1 shortcuts in one window would be ambiguous and neither would fire,
    // so installing again replaces the earlier one.
    const auto earlier =
        window->findChildren<QShortcut*>(QLatin1String(kHelpKeyName), Qt::FindDirectChildrenOnly);
    for (QShortcut* old : earlier)
        delete old;

    auto* key = new QShortcut(QKeySequence(Qt::Key_F1), window);
    key->setObjectName(QLatin1String(kHelpKeyName));
    key->setContext(Qt::WindowShortcut);
    QObject::connect(key, &QShortcut::activated, window, [window, &help] {
        QWidget* focus = window->focusWidget();
        const int number = helpContextOf(focus ? focus : window);
        if (number > 0)
            help.showTopic(number);
        else
            help.showContents();
    });
}

} // namespace platform
