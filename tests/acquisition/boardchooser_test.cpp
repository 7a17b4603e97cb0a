#include "acqwindow.h"
#include "boardsimprocess.h"

#include "acquisition/boardchoice.h"
#include "acquisition/ui/boardchooser.h"
#include "common/testutil.h"

#include <QDir>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>

using namespace acq;

namespace {

// A sysfs with one FTDI serial adapter (ttyUSB9 on USB device 1-1.2) and, on the bus, that
// device, a bridge in direct-access mode (1-3, vendor-specific interface) and a keyboard (1-4).
QString fakeSysfs(const QString& root)
{
    auto put = [&](const QString& dir, std::initializer_list<std::pair<const char*, const char*>> files) {
        QDir().mkpath(root + dir);
        for (const auto& [name, text] : files)
            testutil::writeAll(root + dir + QLatin1Char('/') + QLatin1String(name), text);
    };
    put(QStringLiteral("/devices/usb1/1-1.2"), {{"idVendor", "0403\n"}, {"idProduct", "6001\n"},
                                                {"manufacturer", "FTDI\n"}, {"product", "FT232R USB UART\n"},
                                                {"serial", "A1B2C3\n"}});
    put(QStringLiteral("/devices/usb1/1-1.2/1-1.2:1.0"), {{"bInterfaceClass", "ff\n"}});
    QDir().mkpath(root + QStringLiteral("/devices/usb1/1-1.2/1-1.2:1.0/ttyUSB9"));
    put(QStringLiteral("/devices/usb1/1-3"), {{"idVendor", "0403\n"}, {"idProduct", "6014\n"},
                                              {"product", "FT232H\n"}, {"serial", "FT12AB\n"}});
    put(QStringLiteral("/devices/usb1/1-3/1-3:1.0"), {{"bInterfaceClass", "ff\n"}});
    put(QStringLiteral("/devices/usb1/1-4"), {{"idVendor", "046d\n"}, {"idProduct", "c31c\n"}});
    put(QStringLiteral("/devices/usb1/1-4/1-4:1.0"), {{"bInterfaceClass", "03\n"}});
    QDir().mkpath(root + QStringLiteral("/class/tty/ttyUSB9"));
    QFile::link(root + QStringLiteral("/devices/usb1/1-1.2/1-1.2:1.0/ttyUSB9"),
                root + QStringLiteral("/class/tty/ttyUSB9/device"));
    QDir().mkpath(root + QStringLiteral("/bus/usb/devices"));
    for (const char* d : {"1-1.2", "1-1.2:1.0", "1-3", "1-4"})
        QFile::link(root + QStringLiteral("/devices/usb1/") + QLatin1String(d),
                    root + QStringLiteral("/bus/usb/devices/") + QLatin1String(d));
    return root;
}

class BoardChooserTest : public AcqWindowTest {};

} // namespace

TEST(BoardChoice, TheBoardsOnOfferAndTheChoiceKeptInDeviceIni)
{
    QTemporaryDir dir;
    const QString sys = fakeSysfs(dir.filePath(QStringLiteral("sys")));
    const QString dev = dir.filePath(QStringLiteral("dev"));
    QDir().mkpath(dev);
    testutil::writeAll(dev + QStringLiteral("/ttyUSB9"), {});

    const auto list = listBoardCandidates({dev + QStringLiteral("/tty*")}, sys);
    ASSERT_EQ(list.size(), 4u) << "the port, the two vendor-specific devices, the simulated board";
    EXPECT_EQ(list[0].kind, BoardCandidate::Kind::Serial);
    EXPECT_EQ(list[0].label(), dev + QStringLiteral("/ttyUSB9 — FTDI FT232R USB UART (0403:6001, № A1B2C3)"));
    EXPECT_EQ(list[0].usbPort, QStringLiteral("1-1.2"));
    EXPECT_EQ(list[2].kind, BoardCandidate::Kind::Usb);
    EXPECT_EQ(list[2].usbId, QStringLiteral("0403:6014"));
    EXPECT_EQ(list[3].kind, BoardCandidate::Kind::Simulated);

    // Each choice is read back as it was made; what the operator wrote by hand stays.
    const QString ini = dir.filePath(QStringLiteral("device.ini"));
    // A serial number beyond the file's code page, and one that looks like an escape.
    auto choices = list;
    for (const char* serial : {"Ж☃-7", "A\\u0041\\"}) {
        choices.push_back(list[2]);
        choices.back().serialNumber = QString::fromUtf8(serial);
    }
    for (const BoardCandidate& c : choices) {
        SCOPED_TRACE(qPrintable(c.label()));
        ASSERT_TRUE(testutil::writeAll(ini, "; my board\r\n[Device]\r\nBaud=115200\r\n[Simulator]\r\nSeed=5\r\n"));
        saveBoardChoice(ini, c);
        const DeviceSettings s = readDeviceSettings(ini, {});
        const DeviceSettings expected = settingsFor(DeviceSettings{}, c);
        EXPECT_EQ(s.backend, expected.backend);
        EXPECT_EQ(s.serial.port, expected.serial.port);
        EXPECT_EQ(s.usb.vendorId, expected.usb.vendorId);
        EXPECT_EQ(s.usb.productId, expected.usb.productId);
        EXPECT_EQ(s.usb.serialNumber, expected.usb.serialNumber);
        EXPECT_EQ(s.serial.baud, 115200);
        EXPECT_EQ(s.simulator.scene.seed, 5u);
        EXPECT_TRUE(testutil::readAll(ini).startsWith("; my board"));
    }
}

TEST(BoardChoice, AUdevRuleGivesAwayTheChosenBoardOnly)
{
    BoardCandidate serial;
    serial.kind = BoardCandidate::Kind::Serial;
    serial.path = QStringLiteral("/dev/ttyUSB0");
    serial.usbId = QStringLiteral("0403:6001");
    serial.serialNumber = QStringLiteral("A1B2C3");
    serial.usbPort = QStringLiteral("1-1.2");
    BoardCandidate usb = serial;
    usb.kind = BoardCandidate::Kind::Usb;
    usb.usbId = QStringLiteral("0403:6014");
    usb.serialNumber.clear();
    struct Case {
        const char* what;
        BoardCandidate board;
        QStringList has; // empty: no rule
    };
    BoardCandidate quoted = serial;
    quoted.serialNumber = QStringLiteral("A1\", MODE=\"0666");
    BoardCandidate lineEnd = serial;
    lineEnd.serialNumber = QStringLiteral("A1B2C3\n");
    BoardCandidate twoLines = serial;
    twoLines.description = QStringLiteral("FT232R\nSUBSYSTEM==\"usb\", MODE=\"0666\"");
    const Case cases[] = {
        {"a serial adapter by its serial number",
         serial,
         {QStringLiteral("SUBSYSTEM==\"tty\", ATTRS{idVendor}==\"0403\", ATTRS{idProduct}==\"6001\", "
                         "ATTRS{serial}==\"A1B2C3\", MODE=\"0660\", GROUP=\"dialout\", TAG+=\"uaccess\", "
                         "SYMLINK+=\"accel3\"")}},
        {"a direct-USB device without a serial number, by its port",
         usb,
         {QStringLiteral("SUBSYSTEM==\"usb\", ENV{DEVTYPE}==\"usb_device\", ATTR{idVendor}==\"0403\", "
                         "ATTR{idProduct}==\"6014\", KERNEL==\"1-1.2\", MODE=\"0660\", TAG+=\"uaccess\"")}},
        {"a serial number a rule cannot carry", quoted, {}},
        {"a serial number ending in a line break", lineEnd, {}},
        {"the simulated board", BoardCandidate{}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QString why;
        const QString rule = udevRuleFor(c.board, why);
        EXPECT_EQ(rule.isEmpty(), c.has.isEmpty()) << qPrintable(rule);
        EXPECT_EQ(why.isEmpty(), !c.has.isEmpty());
        for (const QString& part : c.has)
            EXPECT_TRUE(rule.split(QLatin1Char('\n')).contains(part)) << qPrintable(rule);
    }
    QString why;
    const QStringList lines = udevRuleFor(twoLines, why).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2) << "the device's words stay in the comment";
    EXPECT_TRUE(lines[0].startsWith(QLatin1Char('#')));

    const QString command = udevInstallCommand(QStringLiteral("/home/o'neil/61-accel3-board.rules"));
    EXPECT_TRUE(command.contains(QStringLiteral("'/home/o'\\''neil/61-accel3-board.rules'")));
    EXPECT_TRUE(command.contains(QStringLiteral("--subsystem-match=usb --subsystem-match=tty")));
}

TEST_F(BoardChooserTest, ASimulatedRunIsMarkedAndARealBoardChosenTakesItsPlace)
{
    BoardSimProcess emulator;
    ASSERT_FALSE(emulator.path().isEmpty()) << qPrintable(emulator.error());
    const QString port = dir.filePath(QStringLiteral("ttyBoard"));
    QFile::link(emulator.path(), port);
    const QString ini = dir.filePath(QStringLiteral("device.ini"));
    ASSERT_TRUE(testutil::writeAll(ini, "[Device]\r\nSearchPorts=" + port.toUtf8() + "\r\n"));

    auto f = make();
    f->boardChoice->showBoardKind();
    EXPECT_TRUE(f->windowTitle().endsWith(QStringLiteral(" — имитатор платы"))) << qPrintable(f->windowTitle());
    f->setupPanel->seSamples->setValue(100);
    f->btStartClick();
    ticks.advance(std::uint32_t(f->measurementRun->timRx->interval()));
    f->measurementRun->timRxTimer();
    ASSERT_FALSE(f->measurementRun->timRx->isActive());
    EXPECT_TRUE(f->record.simulatedBoard);
    EXPECT_TRUE(f->status->panelText(1).startsWith(QStringLiteral("Имитатор платы: "))) << qPrintable(f->status->panelText(1));

    f->findChild<QAction*>(QStringLiteral("actBoard"))->trigger();
    BoardChooser* chooser = f->boardChoice->chooser();
    ASSERT_TRUE(chooser);
    ASSERT_EQ(chooser->list->count(), 2);
    ASSERT_TRUE(chooser->list->item(0)->text().startsWith(port));
    chooser->list->setCurrentRow(0);
    QSignalSpy checked(chooser, &BoardChooser::checked);
    chooser->btCheck->click();
    ASSERT_TRUE(checked.wait(5000));
    EXPECT_TRUE(checked.at(0).at(0).toBool()) << qPrintable(chooser->lbCheck->text());
    chooser->accept();

    EXPECT_EQ(readDeviceSettings(ini, {}).serial.port, port);
    EXPECT_FALSE(f->measurementRun->device().backend().simulated());
    EXPECT_FALSE(f->windowTitle().contains(QStringLiteral("имитатор"))) << qPrintable(f->windowTitle());
    // The port opens (and answers its probe) beside the window; commands fail until it has.
    DeviceLink link(f->measurementRun->device(), ticks);
    std::optional<std::uint8_t> id;
    for (int attempt = 0; attempt < 40 && !id; ++attempt)
        id = link.CheckAxRg(0x00);
    EXPECT_EQ(id, SimulatedBoard::kDeviceId) << "the emulator answers through the new backend";
}
