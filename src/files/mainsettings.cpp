#include "files/mainsettings.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <filesystem>
#include <system_error>

#include "platform/inifile.h"

namespace files {

namespace {

const QString kGeometry = QStringLiteral("График сигнала");
const QString kOptions = QStringLiteral("Options");
const QString kColours = QStringLiteral("Series Color");
const QString kSelect = QStringLiteral("Series select");
const QString kSetup = QStringLiteral("Окно F/T");
const QString kShow = QStringLiteral("Show");

QString channelKey(int i)
{
    return QStringLiteral("Channel ") + QString::number(i + 1);
}

} // namespace

MainSettings readMainSettings(const platform::IniFile& ini, const MainSettings& d)
{
    MainSettings s;
    s.height = ini.readInteger(kGeometry, QStringLiteral("высота"), d.height);
    s.width = ini.readInteger(kGeometry, QStringLiteral("ширина"), d.width);
    s.left = ini.readInteger(kGeometry, QStringLiteral("слева"), d.left);
    s.top = ini.readInteger(kGeometry, QStringLiteral("сверху"), d.top);

    s.timeUnits = ini.readInteger(kOptions, QStringLiteral("TimeUnits"), d.timeUnits);
    s.xyMode = ini.readInteger(kOptions, QStringLiteral("XYmode"), d.xyMode);
    s.smoothWeight = ini.readInteger(kOptions, QStringLiteral("Smooth by scale"), d.smoothWeight);
    s.timeStep = ini.readInteger(kOptions, QStringLiteral("Time Step"), d.timeStep);
    s.samplesStep = ini.readInteger(kOptions, QStringLiteral("Samples Step"), d.samplesStep);
    s.divider = ini.readInteger(kOptions, QStringLiteral("Divider"), d.divider);

    for (int i = 0; i < 3; ++i) {
        s.channelColour[i] = std::uint32_t(ini.readInteger(kColours, channelKey(i), int(d.channelColour[i])));
        s.channelSelected[i] = ini.readBool(kSelect, channelKey(i), d.channelSelected[i]);
    }
    s.modulusColour =
        std::uint32_t(ini.readInteger(kColours, QStringLiteral("Channel IaI"), int(d.modulusColour)));
    s.pulseColour =
        std::uint32_t(ini.readInteger(kColours, QStringLiteral("Channel Pls"), int(d.pulseColour)));

    s.sensitivity = ini.readInteger(kSetup, QStringLiteral("Sensitivity"), d.sensitivity);
    s.frequency = ini.readInteger(kSetup, QStringLiteral("F"), d.frequency);
    s.samples = ini.readInteger(kSetup, QStringLiteral("Samples"), d.samples);
    s.pcOrMem = ini.readInteger(kSetup, QStringLiteral("PC or Mem"), d.pcOrMem);
    s.externalStart = ini.readBool(kSetup, QStringLiteral("StartMode"), d.externalStart);
    s.delay = ini.readInteger(kSetup, QStringLiteral("Delay"), d.delay);

    s.loadHelpOnStart = ini.readInteger(kOptions, QStringLiteral("Load Help on Start"), d.loadHelpOnStart);

    s.modulusShown = ini.readBool(QStringLiteral("Module"), kShow, d.modulusShown);
    s.markShown = ini.readBool(QStringLiteral("Mark"), kShow, d.markShown);
    s.pulseShown = ini.readBool(QStringLiteral("Pls"), kShow, d.pulseShown);
    s.degreeOrTime = ini.readInteger(QStringLiteral("Pls"), QStringLiteral("Degree|Time"), d.degreeOrTime);
    return s;
}

MainSettings readMainSettingsFile(const QString& path, const MainSettings& defaults)
{
    const platform::IniFile ini(path);
    return readMainSettings(ini, defaults);
}

void writeMainSettings(platform::IniFile& ini, const MainSettings& s)
{
    ini.writeInteger(kGeometry, QStringLiteral("высота"), s.height);
    ini.writeInteger(kGeometry, QStringLiteral("ширина"), s.width);
    ini.writeInteger(kGeometry, QStringLiteral("слева"), s.left);
    ini.writeInteger(kGeometry, QStringLiteral("сверху"), s.top);

    ini.writeInteger(kSetup, QStringLiteral("Sensitivity"), s.sensitivity);
    ini.writeInteger(kSetup, QStringLiteral("F"), s.frequency);
    ini.writeInteger(kSetup, QStringLiteral("Samples"), s.samples);
    ini.writeInteger(kSetup, QStringLiteral("PC or Mem"), s.pcOrMem);
    // The window's top edge once more, as the file has always had it.
    ini.writeInteger(kGeometry, QStringLiteral("сверху"), s.top);

    ini.writeInteger(kOptions, QStringLiteral("TimeUnits"), s.timeUnits);
    ini.writeInteger(kOptions, QStringLiteral("XYmode"), s.xyMode);
    ini.writeInteger(kOptions, QStringLiteral("Smooth by scale"), s.smoothWeight);
    ini.writeInteger(kOptions, QStringLiteral("Load Help on Start"), s.loadHelpOnStart);
    ini.writeInteger(kOptions, QStringLiteral("Time Step"), s.timeStep);
    ini.writeInteger(kOptions, QStringLiteral("Samples Step"), s.samplesStep);
    ini.writeInteger(kOptions, QStringLiteral("Divider"), s.divider);

    ini.writeBool(kSetup, QStringLiteral("StartMode"), s.externalStart);
    ini.writeInteger(kSetup, QStringLiteral("Delay"), s.delay);

    for (int i = 0; i < 3; ++i) {
        ini.writeInteger(kColours, channelKey(i), int(s.channelColour[i]));
        ini.writeBool(kSelect, channelKey(i), s.channelSelected[i]);
    }
    ini.writeInteger(kColours, QStringLiteral("Channel IaI"), int(s.modulusColour));
    ini.writeInteger(kColours, QStringLiteral("Channel Pls"), int(s.pulseColour));

    ini.writeBool(QStringLiteral("Module"), kShow, s.modulusShown);
    ini.writeBool(QStringLiteral("Mark"), kShow, s.markShown);
    ini.writeBool(QStringLiteral("Pls"), kShow, s.pulseShown);
    ini.writeInteger(QStringLiteral("Pls"), QStringLiteral("Degree|Time"), s.degreeOrTime);
}

void writeMainSettingsFile(const QString& path, const MainSettings& s)
{
    // The keys go into a copy beside the file (same file system, so the final rename is one
    // atomic step), and the copy replaces the file only when every key is in.
    const QFileInfo target(path);
    QTemporaryFile temp(target.absolutePath() + QStringLiteral("/.") + target.fileName() +
                        QStringLiteral(".XXXXXX"));
    if (!temp.open())
        throw platform::IniWriteError(path);
    if (target.exists()) {
        QFile original(path);
        if (!original.open(QIODevice::ReadOnly))
            throw platform::IniWriteError(path);
        const QByteArray bytes = original.readAll();
        if (original.error() != QFileDevice::NoError || temp.write(bytes) != bytes.size())
            throw platform::IniWriteError(path);
    }
    // A temporary file is private to its owner; the settings file keeps the permissions it had.
    temp.setPermissions(target.exists() ? target.permissions()
                                        : QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                              QFileDevice::ReadGroup | QFileDevice::ReadOther);
    temp.close();
    const QString tempPath = temp.fileName();
    try {
        platform::IniFile ini(tempPath);
        writeMainSettings(ini, s);
    } catch (const platform::IniWriteError&) {
        throw platform::IniWriteError(path);
    }
    std::error_code ec;
    std::filesystem::rename(tempPath.toStdString(), path.toStdString(), ec);
    if (ec)
        throw platform::IniWriteError(path);
    temp.setAutoRemove(false); // it is the settings file now
}

} // namespace files
