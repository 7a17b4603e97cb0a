// Any bytes as a settings file: reading never fails, and a key set and saved reads back as set,
// with every other key the file had still reading as before.

#include <QDir>
#include <QFile>

#include <cstdint>
#include <cstdlib>
#include <unistd.h>

#include "platform/inifile.h"

namespace {

void check(bool ok)
{
    if (!ok)
        std::abort();
}

QString path()
{
    // Every input is saved with a sync: tools/fuzz points TMPDIR at a memory file system.
    static const QString p = QDir::tempPath() + QStringLiteral("/accel3-ini-fuzz-%1.ini").arg(::getpid());
    return p;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    {
        QFile f(path());
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            f.write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size))
            return 0;
    }
    const QString names[][2] = {{QStringLiteral("График сигнала"), QStringLiteral("высота")},
                                {QStringLiteral("Options"), QStringLiteral("XYmode")},
                                {QStringLiteral("factor"), QStringLiteral("X")},
                                {QStringLiteral("Pls"), QStringLiteral("Degree|Time")}};
    platform::IniFile ini(path());
    QString before[4];
    for (int i = 0; i < 4; ++i) {
        before[i] = ini.readString(names[i][0], names[i][1], QStringLiteral("\x01missing"));
        ini.readInteger(names[i][0], names[i][1], 0);
        ini.readDouble(names[i][0], names[i][1], QLatin1Char(','));
    }
    ini.setString(QStringLiteral("Окно F/T"), QStringLiteral("Samples"), QStringLiteral("16384"));
    try {
        ini.save();
    } catch (const platform::IniWriteError&) {
        return 0; // an unreadable or oversized file is not replaced
    }
    const platform::IniFile again(path());
    check(again.readInteger(QStringLiteral("ОКНО F/T"), QStringLiteral("samples"), 0) == 16384);
    for (int i = 0; i < 4; ++i) {
        // A value can only lose what the code page cannot hold.
        const QString after = again.readString(names[i][0], names[i][1], QStringLiteral("\x01missing"));
        check(after.size() == before[i].size());
    }
    return 0;
}
