#include "files/ui/commentbox.h"

#include <QLabel>

#include "files/commentview.h"

namespace files {

CommentBox::CommentBox(QWidget* parent) : QPlainTextEdit(parent), note_(new QLabel(parent ? parent : this))
{
    note_->setObjectName(QStringLiteral("lbCommentPart"));
    note_->setText(QString::fromUtf8(kCommentPartNote));
    note_->setToolTip(QString::fromUtf8(kCommentPartHint));
    note_->setAutoFillBackground(true);
    QPalette pal = note_->palette();
    pal.setColor(QPalette::Window, QColor(255, 255, 200));
    pal.setColor(QPalette::WindowText, Qt::darkRed);
    note_->setPalette(pal);
    note_->hide();
    // Text set any other way than setComment is the whole comment again, and editable.
    connect(this, &QPlainTextEdit::textChanged, this, [this] {
        if (setting_ || !whole_)
            return;
        whole_.reset();
        setReadOnly(false);
        note_->hide();
    });
}

void CommentBox::setComment(const QString& comment)
{
    CommentView view = commentView(comment);
    setting_ = true;
    setPlainText(view.text);
    setting_ = false;
    if (view.partial)
        whole_ = comment;
    else
        whole_.reset();
    // The part shown is no comment of its own: an edit there could not be put back into the whole.
    setReadOnly(view.partial);
    note_->setVisible(view.partial);
    placeNote();
}

QString CommentBox::comment() const
{
    return whole_ ? *whole_ : toPlainText();
}

void CommentBox::resizeEvent(QResizeEvent* e)
{
    QPlainTextEdit::resizeEvent(e);
    placeNote();
}

void CommentBox::moveEvent(QMoveEvent* e)
{
    QPlainTextEdit::moveEvent(e);
    placeNote();
}

void CommentBox::placeNote()
{
    // On the frame's title line above the box, at its right end: over no text of the comment.
    note_->adjustSize();
    if (note_->parentWidget() == this) {
        note_->move(std::max(0, width() - note_->width()), 0);
    } else {
        note_->move(std::max(0, geometry().right() - note_->width()), std::max(0, y() - note_->height()));
    }
    note_->raise();
}

} // namespace files
