#include "files/ui/exportprogress.h"

#include <QApplication>
#include <QEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include <algorithm>

#include "platform/ticks.h"

namespace files {

namespace {

// An export is judged after this long; the panel shows if it then looks like taking over a
// second in all.
constexpr std::uint32_t kJudgeAfterMs = 200;
constexpr std::uint32_t kLongExportMs = 1000;
// The bar and the message loop are served this often while the panel is up.
constexpr std::uint32_t kUpdateEveryMs = 50;
constexpr int kBarSteps = 1000;

bool isInput(QEvent::Type t)
{
    switch (t) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::Wheel:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
    case QEvent::Close:
    case QEvent::ContextMenu:
        return true;
    default:
        return false;
    }
}

} // namespace

ExportProgressPanel::ExportProgressPanel(QWidget* window, QWidget* over, platform::TickSource* ticks)
    : QFrame(window), over_(over), ticks_(ticks)
{
    setObjectName(QStringLiteral("pnlExport"));
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(10, 6, 10, 6);
    label_ = new QLabel(this);
    bar_ = new QProgressBar(this);
    bar_->setRange(0, kBarSteps);
    bar_->setTextVisible(false);
    bar_->setAccessibleName(QStringLiteral("Ход записи файла"));
    cancel_ = new QPushButton(QStringLiteral("Отмена"), this);
    row->addWidget(label_);
    row->addWidget(bar_, 1);
    row->addWidget(cancel_);
    connect(cancel_, &QPushButton::clicked, this, [this] { cancelled_ = true; });
    hide();
}

ExportProgressPanel::~ExportProgressPanel()
{
    if (filtering_)
        qApp->removeEventFilter(this);
}

std::uint32_t ExportProgressPanel::elapsed() const
{
    return ticks_ ? platform::ticksSince(start_, ticks_->now()) : 0;
}

void ExportProgressPanel::begin(const QString& fileName)
{
    running_ = true;
    cancelled_ = false;
    start_ = ticks_ ? ticks_->now() : 0;
    lastUpdate_ = 0;
    label_->setText(QStringLiteral("Запись ") + QFileInfo(fileName).fileName());
    bar_->setValue(0);
}

bool ExportProgressPanel::step(std::int64_t done, std::int64_t total)
{
    if (!running_ || cancelled_)
        return !cancelled_;
    const std::uint32_t t = elapsed();
    if (isHidden()) {
        if (t < kJudgeAfterMs || done <= 0 ||
            double(t) * double(total) / double(done) <= double(kLongExportMs))
            return true;
        showOver();
    } else if (t - lastUpdate_ < kUpdateEveryMs) {
        return true;
    }
    lastUpdate_ = t;
    bar_->setValue(total > 0 ? int(double(done) * kBarSteps / double(total)) : 0);
    QCoreApplication::processEvents();
    return !cancelled_;
}

void ExportProgressPanel::showOver()
{
    if (over_) {
        const QRect r = over_->geometry();
        const int w = std::min(std::max(r.width() - 20, 200), 520);
        setGeometry(r.left() + (r.width() - w) / 2, r.top() + 10, w, sizeHint().height());
    }
    raise();
    show();
    cancel_->setFocus();
    if (!filtering_) {
        qApp->installEventFilter(this);
        filtering_ = true;
    }
    emit shownForExport();
}

void ExportProgressPanel::end()
{
    running_ = false;
    if (filtering_) {
        qApp->removeEventFilter(this);
        filtering_ = false;
    }
    hide();
}

bool ExportProgressPanel::eventFilter(QObject* watched, QEvent* event)
{
    if (filtering_ && isInput(event->type())) {
        // Widgets only: the window system's own objects pass the events on to them.
        auto* w = qobject_cast<QWidget*>(watched);
        if (w && w != this && !isAncestorOf(w)) {
            // Escape anywhere cancels, as it would in a dialog.
            if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape)
                cancelled_ = true;
            event->ignore();
            return true;
        }
    }
    return QFrame::eventFilter(watched, event);
}

} // namespace files
