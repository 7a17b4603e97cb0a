#pragma once

// The main window's comment box. It shows the whole comment and lets the operator edit it, unless
// the comment is too large to lay out at once (files::commentView): then it shows the start,
// read-only, with a note over it, and keeps the whole comment for saving, exporting and copying.

#include <QPlainTextEdit>

#include <optional>

class QLabel;

namespace files {

class CommentBox : public QPlainTextEdit {
    Q_OBJECT
  public:
    explicit CommentBox(QWidget* parent = nullptr);

    void setComment(const QString& comment);
    // The whole comment: what a save writes.
    QString comment() const;
    // Only the start of the comment is shown.
    bool showsPart() const { return whole_.has_value(); }
    // The note shown over a box that shows only part of its comment.
    QLabel* partNote() const { return note_; }

  protected:
    void resizeEvent(QResizeEvent* e) override;
    void moveEvent(QMoveEvent* e) override;

  private:
    void placeNote();

    std::optional<QString> whole_;
    QLabel* note_;
    bool setting_ = false;
};

inline constexpr char kCommentPartNote[] = "Комментарий велик: показано только его начало";
inline constexpr char kCommentPartHint[] =
    "Комментарий слишком велик, чтобы показать его целиком. Он не изменяется здесь и сохраняется в файл целиком.";

} // namespace files
