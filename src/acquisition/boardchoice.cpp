#include "acquisition/boardchoice.h"

#include "platform/inifile.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

namespace acq {

namespace {

const QString kDevice = QStringLiteral("Device");

QString sysText(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.read(4096)).trimmed();
}

// udev takes a value between double quotes with no escapes: anything beyond these could end
// the value early or carry a pattern.
bool fitsRule(const QString& value)
{
    // The whole value: "$" alone would let a final line break through.
    static const QRegularExpression plain(
        QRegularExpression::anchoredPattern(QStringLiteral("[A-Za-z0-9._:-]+")));
    return plain.match(value).hasMatch();
}

} // namespace

QString BoardCandidate::label() const
{
    const QString identity =
        usbId.isEmpty() ? QString() : QStringLiteral(" (%1%2)").arg(usbId, serialNumber.isEmpty()
                                                                              ? QString()
                                                                              : QStringLiteral(", № ") + serialNumber);
    switch (kind) {
    case Kind::Serial:
        return path + (description.isEmpty() ? QString() : QStringLiteral(" — ") + description) + identity;
    case Kind::Usb:
        return QStringLiteral("USB напрямую: ") + (description.isEmpty() ? usbId : description) + identity;
    case Kind::Simulated:
        break;
    }
    return QStringLiteral("Имитатор платы, встроенный в программу");
}

std::vector<BoardCandidate> listBoardCandidates(const QStringList& serialPatterns, const QString& sysRoot)
{
    std::vector<BoardCandidate> list;
    for (const SerialPortInfo& p : listSerialPorts(serialPatterns, sysRoot)) {
        BoardCandidate c;
        c.kind = BoardCandidate::Kind::Serial;
        c.path = p.path;
        c.usbId = p.usbId;
        c.description = p.description;
        c.serialNumber = p.serialNumber;
        c.usbPort = p.usbPort;
        list.push_back(c);
    }
    const QDir usb(sysRoot + QStringLiteral("/bus/usb/devices"));
    for (const QString& name : usb.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        // Interfaces are "1-1:1.0"; root hubs "usb1" have no vendor-specific interface.
        if (name.contains(QLatin1Char(':')))
            continue;
        const QString dir = usb.filePath(name);
        const QString vendor = sysText(dir + QStringLiteral("/idVendor"));
        if (vendor.isEmpty())
            continue;
        bool vendorSpecific = false;
        for (const QString& itf : QDir(dir).entryList({name + QStringLiteral(":*")}, QDir::Dirs))
            vendorSpecific |= sysText(dir + QLatin1Char('/') + itf + QStringLiteral("/bInterfaceClass")) ==
                              QLatin1String("ff");
        if (!vendorSpecific)
            continue;
        BoardCandidate c;
        c.kind = BoardCandidate::Kind::Usb;
        c.usbId = vendor.toLower() + QLatin1Char(':') + sysText(dir + QStringLiteral("/idProduct")).toLower();
        c.description = (sysText(dir + QStringLiteral("/manufacturer")) + QLatin1Char(' ') +
                         sysText(dir + QStringLiteral("/product")))
                            .trimmed();
        c.serialNumber = sysText(dir + QStringLiteral("/serial"));
        c.usbPort = name;
        list.push_back(c);
    }
    list.push_back(BoardCandidate{});
    return list;
}

DeviceSettings settingsFor(DeviceSettings base, const BoardCandidate& c)
{
    switch (c.kind) {
    case BoardCandidate::Kind::Serial:
        base.backend = QStringLiteral("serial");
        base.serial.port = c.path;
        break;
    case BoardCandidate::Kind::Usb:
        base.backend = QStringLiteral("usb");
        base.usb.vendorId = std::uint16_t(c.usbId.section(QLatin1Char(':'), 0, 0).toUInt(nullptr, 16));
        base.usb.productId = std::uint16_t(c.usbId.section(QLatin1Char(':'), 1, 1).toUInt(nullptr, 16));
        base.usb.serialNumber = c.serialNumber;
        break;
    case BoardCandidate::Kind::Simulated:
        base.backend = QStringLiteral("sim");
        break;
    }
    return base;
}

QString probeCandidate(const DeviceSettings& s, bool& answered)
{
    answered = false;
    if (s.backend == QLatin1String("sim")) {
        answered = true;
        return QStringLiteral("Имитатор отвечает как акселерометр (ID 0xE5).");
    }
    QString why;
    std::unique_ptr<ByteLink> link;
    std::unique_ptr<UsbOpener> usb; // the link takes the device through the opener
    if (s.backend == QLatin1String("usb")) {
        usb = std::make_unique<UsbOpener>(s.usb);
        link = usb->open(why);
    } else {
        link = openSerialLine(s.serial.port, s.serial, why);
    }
    if (!link)
        return why;
    answered = probeBoard(*link, s.serial.probeWait);
    return answered ? QStringLiteral("Плата отвечает как акселерометр (ID 0xE5).")
                    : QStringLiteral("Устройство не ответило как акселерометр: это не плата или она выключена.");
}

void saveBoardChoice(const QString& iniPath, const BoardCandidate& c)
{
    platform::IniFile ini(iniPath);
    switch (c.kind) {
    case BoardCandidate::Kind::Serial:
        ini.setString(kDevice, QStringLiteral("Backend"), QStringLiteral("serial"));
        ini.setString(kDevice, QStringLiteral("Port"), c.path);
        break;
    case BoardCandidate::Kind::Usb:
        ini.setString(kDevice, QStringLiteral("Backend"), QStringLiteral("usb"));
        ini.setString(kDevice, QStringLiteral("VendorId"), c.usbId.section(QLatin1Char(':'), 0, 0));
        ini.setString(kDevice, QStringLiteral("ProductId"), c.usbId.section(QLatin1Char(':'), 1, 1));
        ini.setString(kDevice, QStringLiteral("SerialNumber"), escapeIniText(c.serialNumber));
        break;
    case BoardCandidate::Kind::Simulated:
        ini.setString(kDevice, QStringLiteral("Backend"), QStringLiteral("sim"));
        break;
    }
    ini.save();
}

QString udevRuleFor(const BoardCandidate& c, QString& why)
{
    const QStringList ids = c.usbId.split(QLatin1Char(':'));
    if (c.kind == BoardCandidate::Kind::Simulated || ids.size() != 2) {
        why = QStringLiteral("У этого устройства нет USB-кода: правило udev для него не нужно.");
        return {};
    }
    // The serial number tells this board from other adapters of the same bridge; without one,
    // the USB port it is plugged into does.
    const bool bySerial = !c.serialNumber.isEmpty();
    const QString which = bySerial ? c.serialNumber : c.usbPort;
    if (!fitsRule(ids[0]) || !fitsRule(ids[1]) || !fitsRule(which)) {
        why = QStringLiteral("Серийный номер или порт устройства («%1») содержит знаки, которые правило udev "
                             "не может передать.")
                  .arg(which);
        return {};
    }
    const bool serial = c.kind == BoardCandidate::Kind::Serial;
    const QString attr = serial ? QStringLiteral("ATTRS") : QStringLiteral("ATTR");
    QString match = serial ? QStringLiteral("SUBSYSTEM==\"tty\", ")
                           : QStringLiteral("SUBSYSTEM==\"usb\", ENV{DEVTYPE}==\"usb_device\", ");
    match += QStringLiteral("%1{idVendor}==\"%2\", %1{idProduct}==\"%3\", ").arg(attr, ids[0], ids[1]);
    if (bySerial)
        match += QStringLiteral("%1{serial}==\"%2\", ").arg(attr, which);
    else
        match += (serial ? QStringLiteral("KERNELS==\"%1\", ") : QStringLiteral("KERNEL==\"%1\", ")).arg(which);
    const QString access = serial ? QStringLiteral("MODE=\"0660\", GROUP=\"dialout\", TAG+=\"uaccess\", "
                                                   "SYMLINK+=\"accel3\"")
                                  : QStringLiteral("MODE=\"0660\", TAG+=\"uaccess\"");
    // The device's own words go into a comment line: a line break in them must not start a rule.
    QString label = c.label();
    label.replace(QRegularExpression(QStringLiteral("[\\x00-\\x1f\\x7f]")), QStringLiteral(" "));
    return QStringLiteral("# The accelerometer board chosen in accel3: %1.\n%2%3\n").arg(label, match, access);
}

QString udevInstallCommand(const QString& ruleFile)
{
    QString quoted = ruleFile;
    quoted.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QStringLiteral("sudo install -m 0644 '%1' /etc/udev/rules.d/%2 && sudo udevadm control --reload-rules "
                          "&& sudo udevadm trigger --action=change --subsystem-match=usb --subsystem-match=tty")
        .arg(quoted, QString::fromLatin1(kBoardRuleName));
}

} // namespace acq
