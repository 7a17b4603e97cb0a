#include "platform/fileaccess.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

QString fileErrorText(int systemError)
{
    switch (systemError) {
    case 0:
        return {};
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("Недостаточно места на диске");
    case EFBIG:
        // A size limit of the process or the file system: more free space would not help.
        return QStringLiteral("Превышен допустимый размер файла");
    case EROFS:
        return QStringLiteral("Диск доступен только для чтения");
    case EACCES:
    case EPERM:
        return QStringLiteral("Нет прав доступа");
    case ENOENT:
        return QStringLiteral("Файл или папка не найдены");
    case kNotRegularFile:
        return QStringLiteral("Это не обычный файл");
    default:
        return qt_error_string(systemError);
    }
}

int openRegularFile(const QString& path, int flags, bool followLinks, bool ownOnly, int& error)
{
    const QByteArray name = QFile::encodeName(path);
    // Looked at before it is opened: opening a device may do something of its own.
    struct stat before {};
    if ((followLinks ? ::stat(name.constData(), &before) : ::lstat(name.constData(), &before)) != 0) {
        error = errno;
        return -1;
    }
    if (!S_ISREG(before.st_mode)) {
        error = S_ISLNK(before.st_mode) ? ELOOP : kNotRegularFile;
        return -1;
    }
    // Without waiting, for what was put in its place meanwhile.
    const int fd = ::open(name.constData(),
                          flags | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | (followLinks ? 0 : O_NOFOLLOW));
    if (fd < 0) {
        error = errno;
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || (ownOnly && st.st_uid != ::geteuid())) {
        error = S_ISREG(st.st_mode) ? EACCES : kNotRegularFile;
        ::close(fd);
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    error = 0;
    return fd;
}

} // namespace platform
