#include "files/mainsettings.h"

#include "platform/inifile.h"

namespace files {

namespace {

const QString kGeometry = QStringLiteral("График сигнала");
const QString kOptions = QStringLiteral("Options");
const QString kColours = QStringLiteral("Series Color");
const QString kSelect = QStringLiteral("Series select");
const QString kSetup = QStringLiteral("Окно F/T");
const QString kShow = QStringLiteral("Show");
const QString kChartView = QStringLiteral("Chart View");

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

    s.fitValuesToVisible = ini.readBool(kChartView, QStringLiteral("Fit Y to Visible"), d.fitValuesToVisible);
    s.pulseStrip = ini.readBool(kChartView, QStringLiteral("Pulse Strip"), d.pulseStrip);
    s.markerTableShown = ini.readBool(kChartView, QStringLiteral("Marker Table"), d.markerTableShown);
    s.markerTableRight = ini.readInteger(kChartView, QStringLiteral("Marker Table Right"), d.markerTableRight);
    s.markerTableTop = ini.readInteger(kChartView, QStringLiteral("Marker Table Top"), d.markerTableTop);
    return s;
}

MainSettings readMainSettingsFile(const QString& path, const MainSettings& defaults)
{
    const platform::IniFile ini(path);
    return readMainSettings(ini, defaults);
}

void writeMainSettings(platform::IniFile& ini, const MainSettings& s)
{
    ini.setInteger(kGeometry, QStringLiteral("высота"), s.height);
    ini.setInteger(kGeometry, QStringLiteral("ширина"), s.width);
    ini.setInteger(kGeometry, QStringLiteral("слева"), s.left);
    ini.setInteger(kGeometry, QStringLiteral("сверху"), s.top);

    ini.setInteger(kSetup, QStringLiteral("Sensitivity"), s.sensitivity);
    ini.setInteger(kSetup, QStringLiteral("F"), s.frequency);
    ini.setInteger(kSetup, QStringLiteral("Samples"), s.samples);
    ini.setInteger(kSetup, QStringLiteral("PC or Mem"), s.pcOrMem);
    // The window's top edge once more, as the file has always had it.
    ini.setInteger(kGeometry, QStringLiteral("сверху"), s.top);

    ini.setInteger(kOptions, QStringLiteral("TimeUnits"), s.timeUnits);
    ini.setInteger(kOptions, QStringLiteral("XYmode"), s.xyMode);
    ini.setInteger(kOptions, QStringLiteral("Smooth by scale"), s.smoothWeight);
    ini.setInteger(kOptions, QStringLiteral("Load Help on Start"), s.loadHelpOnStart);
    ini.setInteger(kOptions, QStringLiteral("Time Step"), s.timeStep);
    ini.setInteger(kOptions, QStringLiteral("Samples Step"), s.samplesStep);
    ini.setInteger(kOptions, QStringLiteral("Divider"), s.divider);

    ini.setBool(kSetup, QStringLiteral("StartMode"), s.externalStart);
    ini.setInteger(kSetup, QStringLiteral("Delay"), s.delay);

    for (int i = 0; i < 3; ++i) {
        ini.setInteger(kColours, channelKey(i), int(s.channelColour[i]));
        ini.setBool(kSelect, channelKey(i), s.channelSelected[i]);
    }
    ini.setInteger(kColours, QStringLiteral("Channel IaI"), int(s.modulusColour));
    ini.setInteger(kColours, QStringLiteral("Channel Pls"), int(s.pulseColour));

    ini.setBool(QStringLiteral("Module"), kShow, s.modulusShown);
    ini.setBool(QStringLiteral("Mark"), kShow, s.markShown);
    ini.setBool(QStringLiteral("Pls"), kShow, s.pulseShown);
    ini.setInteger(QStringLiteral("Pls"), QStringLiteral("Degree|Time"), s.degreeOrTime);

    ini.setBool(kChartView, QStringLiteral("Fit Y to Visible"), s.fitValuesToVisible);
    ini.setBool(kChartView, QStringLiteral("Pulse Strip"), s.pulseStrip);
    ini.setBool(kChartView, QStringLiteral("Marker Table"), s.markerTableShown);
    ini.setInteger(kChartView, QStringLiteral("Marker Table Right"), s.markerTableRight);
    ini.setInteger(kChartView, QStringLiteral("Marker Table Top"), s.markerTableTop);
}

void writeMainSettingsFile(const QString& path, const MainSettings& s)
{
    platform::IniFile ini(path);
    // Every key is set below, so a file too large to have been read loses nothing it had.
    if (ini.tooLarge())
        ini.replaceUnread();
    writeMainSettings(ini, s);
    ini.save();
}

} // namespace files
