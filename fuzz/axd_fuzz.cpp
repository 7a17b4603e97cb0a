// Any bytes as a measurement file: the reader either refuses them with a status or hands back no
// more than the file holds, in bounded memory; the comment browser's reader lists or skips them.

#include <QBuffer>
#include <QDir>
#include <QFile>

#include <cstdint>
#include <cstdlib>
#include <unistd.h>

#include "files/axdfile.h"
#include "files/folderbrowse.h"

namespace {

void check(bool ok)
{
    if (!ok)
        std::abort();
}

// One folder per fuzzing process for the comment browser's file.
const QString& folder()
{
    static const QString path = [] {
        const QString p = QDir::tempPath() + QStringLiteral("/accel3-axd-fuzz-%1").arg(::getpid());
        QDir().mkpath(p);
        return p;
    }();
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    for (const files::DataBlock mode : {files::DataBlock::Read, files::DataBlock::Skip}) {
        QBuffer in;
        in.setData(bytes);
        in.open(QIODevice::ReadOnly);
        // A fixed amount of memory, so that a run does not depend on the machine.
        const files::AxdReadResult r = files::readAxd(in, mode, std::uint64_t(64) << 20);
        if (r.ok()) {
            check(r.contents.header.isMeasurement());
            check(qint64(r.contents.header.dataLength) <= bytes.size());
            check(r.contents.data.size() == (mode == files::DataBlock::Read ? r.contents.header.dataLength : 0u));
            check(r.contents.xAxisTitle.size() <= files::kAxdMaxTitleBytes);
            check(r.contents.comment.size() <= files::kAxdMaxCommentBytes);
        } else {
            check(r.contents.data.size() == 0);
            check(!r.message(QStringLiteral("f.axd")).isEmpty());
        }
    }

    QFile f(folder() + QStringLiteral("/f.axd"));
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size()) {
        f.close();
        const files::CommentListing list = files::buildCommentList(folder(), {QStringLiteral("f.axd")});
        // A measurement is listed under its name; anything else is named as unreadable.
        check(list.lines.isEmpty() || list.lines.first() == QStringLiteral("=v=f.axd=v=") ||
              (list.lines.size() == 1 && list.lines.first().startsWith(QStringLiteral("=x=f.axd=x="))));
    }
    return 0;
}
