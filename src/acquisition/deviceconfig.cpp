#include "acquisition/deviceconfig.h"

#include "platform/cp1251.h"
#include "platform/inifile.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace acq {

namespace {

const QString kDeviceSection = QStringLiteral("Device");
const QString kSimulatorSection = QStringLiteral("Simulator");

// The file is edited by hand on machines with either decimal separator.
void readNumber(const platform::IniFile& ini, const char* key, double& value)
{
    const QString k = QString::fromLatin1(key);
    auto v = ini.readDouble(kSimulatorSection, k, QLatin1Char('.'));
    if (!v)
        v = ini.readDouble(kSimulatorSection, k, QLatin1Char(','));
    if (v && std::isfinite(*v))
        value = *v;
}

QString canonicalBackend(const QString& name)
{
    const QString n = name.trimmed().toLower();
    if (n == QLatin1String("sim") || n == QLatin1String("simulator") || n == QLatin1String("simulated"))
        return QStringLiteral("sim");
    return n;
}

bool isAuto(const QString& port)
{
    return port.trimmed().isEmpty() ||
           port.trimmed().compare(QLatin1String("auto"), Qt::CaseInsensitive) == 0;
}

QStringList listValue(const QString& text)
{
    QStringList items;
    for (const QString& item : text.split(QRegularExpression(QStringLiteral("[,;\\s]+")), Qt::SkipEmptyParts))
        items << item.trimmed();
    return items;
}

// "serial:/dev/ttyUSB0" names the backend and its port in one value; the path may itself hold
// colons, so only the first one separates.
void applyChoice(DeviceSettings& s, const QString& value, const QString& origin)
{
    const QString v = value.trimmed();
    const qsizetype colon = v.indexOf(QLatin1Char(':'));
    s.backend = canonicalBackend(colon < 0 ? v : v.left(colon));
    s.origin = origin;
    if (s.backend == QLatin1String("serial") && colon >= 0)
        s.serial.port = v.mid(colon + 1);
    if (s.backend == QLatin1String("usb") && colon >= 0) {
        const QStringList parts = v.mid(colon + 1).split(QLatin1Char(':'));
        bool okVendor = false, okProduct = false;
        const uint vendor = parts.value(0).toUInt(&okVendor, 16);
        const uint product = parts.value(1).toUInt(&okProduct, 16);
        // IDs that do not parse leave none, so the message asks for them.
        s.usb.vendorId = okVendor && okProduct && vendor <= 0xFFFF ? std::uint16_t(vendor) : 0;
        s.usb.productId = okVendor && okProduct && product <= 0xFFFF ? std::uint16_t(product) : 0;
        s.usb.serialNumber = parts.size() > 2 ? parts.mid(2).join(QLatin1Char(':')) : QString();
    }
}

// USB IDs are hexadecimal wherever they are written (lsusb prints "0403"), with or without "0x".
std::uint16_t readId(const platform::IniFile& ini, const char* key)
{
    QString text = ini.readString(kDeviceSection, QString::fromLatin1(key), {}).trimmed();
    if (text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        text = text.mid(2);
    bool ok = false;
    const uint v = text.toUInt(&ok, 16);
    return ok && v <= 0xFFFF ? std::uint16_t(v) : 0;
}

} // namespace

QString escapeIniText(const QString& text)
{
    QString out;
    for (const QChar c : text) {
        if (c == QLatin1Char('\\'))
            out += QStringLiteral("\\\\");
        else if (c.unicode() < 0x20 || (c != QLatin1Char('?') && platform::toCp1251(QString(c)) == "?"))
            out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}

QString unescapeIniText(const QString& text)
{
    static const QRegularExpression escape(QStringLiteral("\\\\(\\\\|u([0-9A-Fa-f]{4}))"));
    QString out;
    qsizetype from = 0;
    for (auto it = escape.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        out += QStringView(text).mid(from, m.capturedStart() - from);
        out += m.hasCaptured(2) ? QChar(m.captured(2).toUShort(nullptr, 16)) : QChar(u'\\');
        from = m.capturedEnd();
    }
    out += QStringView(text).mid(from);
    return out;
}

DeviceSettings readDeviceSettings(const QString& iniPath, const QString& environmentValue)
{
    DeviceSettings s;
    const platform::IniFile file(iniPath);
    QString unread = file.unreadReason();
    if (unread.isEmpty() && file.looksBinary())
        unread = QStringLiteral("в нём не текст, он не прочитан");
    if (!unread.isEmpty())
        s.unreadNote = QStringLiteral("Файл настроек платы %1: %2. Действуют настройки по умолчанию.")
                           .arg(iniPath, unread);
    // What was read of something that is no settings text would only choose at random.
    const platform::IniFile none{QString()};
    const platform::IniFile& ini = unread.isEmpty() ? file : none;
    s.serial.port = ini.readString(kDeviceSection, QStringLiteral("Port"), {}).trimmed();
    s.usb.vendorId = readId(ini, "VendorId");
    s.usb.productId = readId(ini, "ProductId");
    s.usb.serialNumber =
        unescapeIniText(ini.readString(kDeviceSection, QStringLiteral("SerialNumber"), {}).trimmed());
    s.usb.interfaceNumber = ini.readInteger(kDeviceSection, QStringLiteral("Interface"), -1);
    s.usb.endpointIn = ini.readInteger(kDeviceSection, QStringLiteral("EndpointIn"), -1);
    s.usb.endpointOut = ini.readInteger(kDeviceSection, QStringLiteral("EndpointOut"), -1);
    const int header = ini.readInteger(kDeviceSection, QStringLiteral("PacketHeader"), 0);
    // A header as long as a whole full-speed packet would leave no data at all.
    if (header >= 0 && header < 64)
        s.usb.packetHeaderBytes = header;
    if (const auto requests =
            parseControlRequests(ini.readString(kDeviceSection, QStringLiteral("OpenRequests"), {})))
        s.usb.openRequests = *requests;
    const QString fromIni = ini.readString(kDeviceSection, QStringLiteral("Backend"), {});
    if (!fromIni.trimmed().isEmpty())
        applyChoice(s, fromIni, iniPath);
    if (!environmentValue.trimmed().isEmpty()) {
        // The variable names the board for this one start; "serial" alone means: find it.
        s.serial.port.clear();
        applyChoice(s, environmentValue, QString::fromLatin1(kDeviceEnvironmentVariable));
    }
    const int baud = ini.readInteger(kDeviceSection, QStringLiteral("Baud"), s.serial.baud);
    if (baud > 0)
        s.serial.baud = baud;
    s.serial.hardwareFlowControl = ini.readInteger(kDeviceSection, QStringLiteral("RtsCts"), 0) != 0;
    const int firstByte =
        ini.readInteger(kDeviceSection, QStringLiteral("ReadTimeoutMs"), int(s.stream.firstByteWait.count()));
    // A wait of a second or more would let one read freeze the window (the connection
    // indicator's probe still reads while the window waits).
    if (firstByte >= 0 && firstByte <= 900)
        s.stream.firstByteWait = std::chrono::milliseconds(firstByte);
    // A board answers the device-ID probe as late as it answers anything else.
    s.serial.probeWait = std::max(SerialSettings::kMinProbeWait, s.stream.firstByteWait);
    s.serial.usbIds = listValue(ini.readString(kDeviceSection, QStringLiteral("UsbIds"), {}));
    const QStringList search = listValue(ini.readString(kDeviceSection, QStringLiteral("SearchPorts"), {}));
    if (!search.isEmpty())
        s.serial.candidates = search;

    SimScene& scene = s.simulator.scene;
    readNumber(ini, "GravityG", scene.gravityG);
    readNumber(ini, "TremorHz", scene.tremorHz);
    readNumber(ini, "TremorG", scene.tremorG);
    readNumber(ini, "VibrationHz", scene.vibrationHz);
    readNumber(ini, "VibrationG", scene.vibrationG);
    readNumber(ini, "NoiseG", scene.noiseG);
    readNumber(ini, "PulseHz", scene.pulseHz);
    scene.seed = std::uint32_t(ini.readInteger(kSimulatorSection, QStringLiteral("Seed"), int(scene.seed)));
    const int contact =
        ini.readInteger(kSimulatorSection, QStringLiteral("ContactOpenMs"), int(s.simulator.contactOpenMs));
    if (contact >= 0)
        s.simulator.contactOpenMs = std::uint32_t(contact);
    return s;
}

std::unique_ptr<DeviceBackend> makeBackend(const DeviceSettings& settings, platform::TickSource& ticks)
{
    if (settings.backend == QLatin1String("sim"))
        return std::make_unique<SimulatedBoard>(ticks, settings.simulator);
    if (settings.backend == QLatin1String("auto"))
        return std::make_unique<BoardSearch>(
            [serial = settings.serial, usb = settings.usb, stream = settings.stream] {
                return findRealBoard(serial, usb, stream);
            },
            // Simulated samples taken for want of a board would pass for a measurement: without
            // one, every command fails and the operator is told where a board is chosen.
            [] {
                return std::make_unique<NoBoard>(QStringLiteral("плата не найдена"),
                                                 QString::fromUtf8(kNoBoardHint));
            });
    if (settings.backend == QLatin1String("serial")) {
        StreamOptions stream = settings.stream;
        // 8N1: ten bits on the line for every byte.
        stream.bytesPerSecond = std::uint32_t(std::max(0, settings.serial.baud) / 10);
        if (isAuto(settings.serial.port))
            return std::make_unique<StreamBackend>(std::make_unique<AutoSerialOpener>(settings.serial), stream);
        return std::make_unique<StreamBackend>(std::make_unique<SerialOpener>(settings.serial), stream);
    }
    if (settings.backend == QLatin1String("usb"))
        return std::make_unique<StreamBackend>(std::make_unique<UsbOpener>(settings.usb), settings.stream);
    if (settings.backend == QLatin1String("none"))
        return std::make_unique<NoBoard>(QStringLiteral("плата не выбрана (none, %1)").arg(settings.origin));
    return std::make_unique<NoBoard>(
        QStringLiteral("неизвестная плата «%1» (%2)").arg(settings.backend, settings.origin));
}

} // namespace acq
