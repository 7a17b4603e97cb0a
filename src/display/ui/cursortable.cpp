#include "display/ui/cursortable.h"

#include <algorithm>

#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace display {

CursorTable::CursorTable(QWidget* chart) : QFrame(chart)
{
    setObjectName(QStringLiteral("cursorTable"));
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    auto* box = new QVBoxLayout(this);
    box->setContentsMargins(3, 2, 3, 3);
    box->setSpacing(2);
    auto* top = new QHBoxLayout;
    auto* title = new QLabel(QStringLiteral("Значения в точках"), this);
    copy_ = new QToolButton(this);
    copy_->setObjectName(QStringLiteral("btCopyCursorTable"));
    copy_->setText(QStringLiteral("Копировать"));
    copy_->setToolTip(QStringLiteral("Копировать таблицу в буфер обмена"));
    copy_->setAutoRaise(true);
    close_ = new QToolButton(this);
    close_->setObjectName(QStringLiteral("btCloseCursorTable"));
    close_->setText(QStringLiteral("✕"));
    close_->setToolTip(QStringLiteral("Скрыть таблицу (вернуть: «Таблица значений в точках» в панели «График»)"));
    close_->setAutoRaise(true);
    // The title is the handle the table is moved by.
    title->setCursor(Qt::SizeAllCursor);
    title->setToolTip(QStringLiteral("Перетащите, чтобы переместить таблицу"));
    top->addWidget(title);
    top->addStretch(1);
    top->addWidget(copy_);
    top->addWidget(close_);
    box->addLayout(top);
    grid_ = new QTableWidget(this);
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid_->verticalHeader()->hide();
    grid_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    grid_->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    grid_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid_->installEventFilter(this);
    box->addWidget(grid_);
    connect(copy_, &QToolButton::clicked, this, [this] { emit copyRequested(table_.text()); });
    connect(close_, &QToolButton::clicked, this, &CursorTable::closeRequested);
    hide();
}

void CursorTable::showTable(const MarkerTable& table)
{
    table_ = table;
    grid_->clear();
    grid_->setColumnCount(int(table.header.size()));
    grid_->setRowCount(int(table.rows.size()));
    grid_->setHorizontalHeaderLabels(table.header);
    for (int r = 0; r < int(table.rows.size()); ++r) {
        const QStringList& row = table.rows[std::size_t(r)];
        for (int c = 0; c < int(row.size()); ++c) {
            auto* item = new QTableWidgetItem(row[c]);
            item->setTextAlignment(c == 0 ? Qt::AlignLeft | Qt::AlignVCenter : Qt::AlignRight | Qt::AlignVCenter);
            if (c > 0) {
                if (const auto& v = table.values[std::size_t(r)][std::size_t(c - 1)])
                    item->setData(Qt::UserRole, *v);
            }
            grid_->setItem(r, c, item);
        }
    }
    grid_->resizeColumnsToContents();
    grid_->resizeRowsToContents();
    int w = 2 * grid_->frameWidth();
    for (int c = 0; c < grid_->columnCount(); ++c)
        w += grid_->columnWidth(c);
    int h = 2 * grid_->frameWidth() + grid_->horizontalHeader()->height();
    for (int r = 0; r < grid_->rowCount(); ++r)
        h += grid_->rowHeight(r);
    grid_->setFixedSize(w, h);
    adjustSize();
    placeIn(plot_);
    show();
    raise();
}

void CursorTable::placeIn(const QRect& plot)
{
    plot_ = plot;
    if (!plot.isValid())
        return;
    // Inside the plot whatever the window's size; the left edge wins when the plot is narrower.
    const int x = std::max(plot.left(), plot.right() - width() - gap_.x());
    const int y = std::max(plot.top(), std::min(plot.top() + gap_.y(), plot.bottom() - height()));
    move(x, y);
}

void CursorTable::setCornerGap(const QPoint& gap)
{
    gap_ = QPoint(std::max(0, gap.x()), std::max(0, gap.y()));
    placeIn(plot_);
}

void CursorTable::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return QFrame::mousePressEvent(event);
    dragging_ = true;
    grab_ = event->position().toPoint();
    event->accept();
}

void CursorTable::mouseMoveEvent(QMouseEvent* event)
{
    if (!dragging_)
        return QFrame::mouseMoveEvent(event);
    const QPoint topLeft = mapToParent(event->position().toPoint()) - grab_;
    setCornerGap(QPoint(plot_.right() - (topLeft.x() + width()), topLeft.y() - plot_.top()));
    event->accept();
}

void CursorTable::mouseReleaseEvent(QMouseEvent* event)
{
    if (!dragging_)
        return QFrame::mouseReleaseEvent(event);
    dragging_ = false;
    // Where it was let go, as far as the plot allows: the gap it is kept by from now on is that
    // of the place it took, not of a place outside the plot.
    const QPoint topLeft = mapToParent(event->position().toPoint()) - grab_;
    setCornerGap(QPoint(plot_.right() - (topLeft.x() + width()), topLeft.y() - plot_.top()));
    gap_ = QPoint(plot_.right() - (x() + width()), y() - plot_.top());
    event->accept();
}

bool CursorTable::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == grid_ && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy)) {
        emit copyRequested(table_.text());
        return true;
    }
    return QFrame::eventFilter(watched, event);
}

} // namespace display
