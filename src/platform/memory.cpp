#include "platform/memory.h"

#include <QByteArray>
#include <QFile>

#include <algorithm>
#include <sys/resource.h>

namespace platform {

namespace {

// A "Name:   1234 kB" line of a /proc file, in bytes.
std::optional<std::uint64_t> procKilobytes(const QByteArray& text, const char* name)
{
    const QByteArray key = QByteArray(name) + ':';
    for (const QByteArray& line : text.split('\n')) {
        if (!line.startsWith(key))
            continue;
        QByteArray value = line.mid(key.size()).trimmed();
        if (value.endsWith(" kB"))
            value.chop(3);
        bool ok = false;
        const qulonglong kb = value.trimmed().toULongLong(&ok);
        return ok ? std::optional<std::uint64_t>(std::uint64_t(kb) * 1024) : std::nullopt;
    }
    return std::nullopt;
}

QByteArray procFile(const char* path)
{
    // /proc files report a size of 0; read until the end.
    QFile f(QString::fromLatin1(path));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

} // namespace

std::optional<std::uint64_t> availableMemoryBytes()
{
    const QByteArray meminfo = procFile("/proc/meminfo");
    const std::optional<std::uint64_t> available = procKilobytes(meminfo, "MemAvailable");
    if (!available)
        return std::nullopt;
    std::uint64_t room = *available + procKilobytes(meminfo, "SwapFree").value_or(0);

    // A limit on the address space or the data segment ends allocations before the memory does.
    const QByteArray status = procFile("/proc/self/status");
    const struct {
        int resource;
        const char* usage;
    } limits[] = {{RLIMIT_AS, "VmSize"}, {RLIMIT_DATA, "VmData"}};
    for (const auto& l : limits) {
        struct rlimit rl {};
        if (::getrlimit(l.resource, &rl) != 0 || rl.rlim_cur == RLIM_INFINITY)
            continue;
        const std::uint64_t used = procKilobytes(status, l.usage).value_or(0);
        const std::uint64_t limit = std::uint64_t(rl.rlim_cur);
        room = std::min(room, limit > used ? limit - used : 0);
    }
    return room;
}

} // namespace platform
