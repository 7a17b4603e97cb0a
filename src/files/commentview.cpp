#include "files/commentview.h"

#include <algorithm>

namespace files {

CommentView commentView(QStringView comment, qsizetype maxChars, qsizetype maxLineChars)
{
    CommentView v;
    if (comment.size() <= std::min(maxChars, maxLineChars)) {
        v.text = comment.toString();
        return v;
    }
    v.text.reserve(std::min(comment.size(), maxChars) + 16);
    qsizetype at = 0;
    while (at <= comment.size()) {
        qsizetype end = comment.indexOf(u'\n', at);
        if (end < 0)
            end = comment.size();
        if (at > 0)
            v.text += QLatin1Char('\n');
        const qsizetype room = maxChars - v.text.size();
        const qsizetype take = std::min({end - at, maxLineChars, std::max<qsizetype>(room, 0)});
        v.text += comment.mid(at, take);
        if (take < end - at) {
            v.text += QChar(kCutMark);
            v.partial = true;
        }
        at = end + 1;
        if (at <= comment.size() && v.text.size() >= maxChars) {
            v.partial = true;
            break;
        }
    }
    return v;
}

} // namespace files
