#pragma once

// How much of a comment the window shows at once. A comment is what an operator types, but a
// file may carry megabytes of it, even in one line; a text box lays a long line out as a whole
// (and wraps it again on every change), which costs far more than the text is long. So the boxes
// get a bounded view: the start of the comment, each line cut at a length a box lays out at
// once. The whole comment stays where it is kept (the file, the record) and is what a save writes.

#include <QString>
#include <QStringView>

namespace files {

inline constexpr qsizetype kShownCommentChars = 1 << 20;
inline constexpr qsizetype kShownLineChars = 4096;
// Ends a line that goes on beyond what is shown.
inline constexpr char16_t kCutMark = u'…';

struct CommentView {
    QString text;         // lines separated by '\n'
    bool partial = false; // something of the comment is not in `text`
};

// The start of `comment` (lines separated by '\n'): at most maxChars characters in all, each
// line at most maxLineChars followed by kCutMark when it goes on.
CommentView commentView(QStringView comment, qsizetype maxChars = kShownCommentChars,
                        qsizetype maxLineChars = kShownLineChars);

} // namespace files
