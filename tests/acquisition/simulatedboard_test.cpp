#include "acquisition/deviceconfig.h"
#include "acquisition/devicelink.h"
#include "acquisition/simulatedboard.h"

#include "common/testutil.h"
#include "scenecheck.h"

#include <QFile>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <memory>

using namespace acq;

namespace {

// The board behind the library, driven the way the program drives it: registers written, a start
// command, then reads at moments the test chooses on a hand-moved clock.
struct BoardRig {
    platform::ManualTicks ticks{5000};
    SimulatedBoard* board = nullptr;
    DeviceLibrary library{nullptr};

    explicit BoardRig(SimulatedBoard::Settings s = {})
    {
        auto b = std::make_unique<SimulatedBoard>(ticks, s);
        board = b.get();
        library.setBackend(std::move(b));
    }

    int send(std::initializer_list<int> bytes)
    {
        std::vector<std::uint8_t> v;
        for (int b : bytes)
            v.push_back(std::uint8_t(b));
        std::uint32_t n = 0;
        return library.SI_Write(0, v.data(), std::uint32_t(v.size()), &n, nullptr);
    }
    int send(const std::array<std::uint8_t, 9>& c)
    {
        std::uint32_t n = 0;
        return library.SI_Write(0, c.data(), 9, &n, nullptr);
    }
    QByteArray read(std::uint32_t max = kBulkReplyMax, int* status = nullptr)
    {
        QByteArray b(qsizetype(max), '\0');
        std::uint32_t n = 0;
        const int st = library.SI_Read(0, b.data(), max, &n, nullptr);
        if (status)
            *status = st;
        b.truncate(qsizetype(n));
        return b;
    }
    // The register set-up the program writes before every start.
    void setUpChip(int frequencyIndex, int rangeIndex)
    {
        for (const auto& r :
             registerSetup(kFrequencyTable[std::size_t(frequencyIndex)].rateCode, std::uint8_t(rangeIndex)))
            send({0x28, r.address, r.value});
    }
};

} // namespace

TEST(SimScene, LooksLikeARealMeasurement)
{
    const SimScene scene;
    // Z rests near +1 g in every range; X swings at 7 Hz, Y at 50 Hz.
    for (int range = 0; range < 4; ++range) {
        const int z = sceneCounts(scene, AxisZ, 123, 3200, range);
        EXPECT_NEAR(z, 256 >> range, 3 + (256 >> range) / 50) << range;
    }
    EXPECT_EQ(sensitivityPerG(0), 256);
    EXPECT_EQ(sensitivityPerG(3), 32);
    int xMax = -1000, xMin = 1000, yMax = -1000;
    for (int k = 0; k < 3200; ++k) {
        xMax = std::max(xMax, sceneCounts(scene, AxisX, k, 3200, 0));
        xMin = std::min(xMin, sceneCounts(scene, AxisX, k, 3200, 0));
        yMax = std::max(yMax, sceneCounts(scene, AxisY, k, 3200, 0));
    }
    EXPECT_NEAR(xMax, 0.3 * 256, 5);
    EXPECT_NEAR(xMin, -0.3 * 256, 5);
    EXPECT_NEAR(yMax, 0.15 * 256, 5);
    // The pulse turns over a few times a second: at 2 Hz, four edges in a second.
    int edges = 0;
    for (int k = 1; k < 3200; ++k)
        edges += scenePulse(scene, k, 3200) != scenePulse(scene, k - 1, 3200);
    EXPECT_EQ(edges, 3); // the fourth falls on frame 3200
    // Saturation at the chip's 10-bit limits.
    SimScene strong;
    strong.gravityG = 5;
    EXPECT_EQ(sceneCounts(strong, AxisZ, 0, 3200, 0), 511);
    strong.gravityG = -5;
    EXPECT_EQ(sceneCounts(strong, AxisZ, 0, 3200, 0), -512);
}

TEST(SimulatedBoard, RegisterFileFollowsTheChip)
{
    BoardRig rig;
    struct Case {
        int address;
        int written; // -1: read the power-on value
        int readBack;
    };
    const Case cases[] = {
        {0x00, -1, 0xE5},   // device ID
        {0x00, 0x12, 0xE5}, // read-only
        {0x2C, -1, 0x0A},   // power-on rate
        {0x2C, 0x0F, 0x0F}, {0x31, 0x03, 0x03}, {0x2F, 0x7F, 0x7F},
        {0x2E, 0x80, 0x80}, {0x2D, 0x08, 0x08}, {0x30, 0x55, 0x00}, // interrupt source is the chip's
        {0x50, 0x01, 0x00},                                         // beyond the map
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.address);
        if (c.written >= 0) {
            ASSERT_EQ(rig.send({0x28, c.address, c.written}), si::Success);
        }
        ASSERT_EQ(rig.send({0x29, c.address}), si::Success);
        const QByteArray reply = rig.read(kRegisterReplyMax);
        ASSERT_EQ(reply.size(), 1);
        EXPECT_EQ(std::uint8_t(reply[0]), c.readBack);
    }
    EXPECT_TRUE(rig.read().isEmpty()) << "nothing is sent unasked";
}

TEST(SimulatedBoard, StreamsARunToTheComputerPacedByTheClock)
{
    BoardRig rig;
    rig.setUpChip(0, 0);
    const ChannelSet xyz{true, true, true};
    ASSERT_EQ(rig.send(startCommand({false, xyz, 320, 0, 0, false, 0})), si::Success);

    // 50 ms at 3200 Hz is 160 frames; nothing more is there yet.
    rig.ticks.advance(50);
    QByteArray got = rig.read();
    EXPECT_EQ(got.size(), 160 * 6);
    // A short read takes part of a frame; the rest follows in the next read.
    rig.ticks.advance(10);
    rig.board->failRead(SimulatedBoard::ReadFault::Short, 1, 7);
    got += rig.read();
    EXPECT_EQ(got.size(), 160 * 6 + 7);
    rig.ticks.advance(1000);
    got += rig.read();
    EXPECT_EQ(got.size(), 1920);
    EXPECT_TRUE(rig.read().isEmpty()) << "the run ends after its samples";
    expectScene(got, xyz, 3200, 0);
}

TEST(SimulatedBoard, RunFollowsTheChipRegistersAndTheDelay)
{
    // The chip's own rate and range set the pace and the scale, after the start delay.
    BoardRig rig;
    rig.setUpChip(5, 2); // 100 Hz, ±8 g
    const ChannelSet xz{true, false, true};
    ASSERT_EQ(rig.send(startCommand({false, xz, 50, 5, 2, false, 2})), si::Success);
    rig.ticks.advance(1999);
    EXPECT_TRUE(rig.read().isEmpty()) << "still in the start delay";
    rig.ticks.advance(1 + 100);
    const QByteArray first = rig.read();
    EXPECT_EQ(first.size(), 10 * 4);
    expectScene(first, xz, 100, 2);

    // Without measuring switched on the chip gives no data-ready, and the board sends nothing.
    BoardRig idle;
    idle.send({0x28, 0x2C, 0x0F});
    ASSERT_EQ(idle.send(startCommand({false, xz, 50, 0, 0, false, 0})), si::Success);
    idle.ticks.advance(5000);
    EXPECT_TRUE(idle.read().isEmpty());
}

TEST(SimulatedBoard, RecordsIntoMemoryAndReadsItBackInBlocks)
{
    struct Case {
        const char* what;
        ChannelSet channels;
        std::uint32_t samples;
        int frequencyIndex;
        int rangeIndex;
        bool external;
        std::uint32_t waitMs;
        std::uint32_t recordedFrames;
    };
    const Case cases[] = {
        {"three channels, internal start", {true, true, true}, 256, 2, 1, false, 1000, 256},
        {"X only, cut short by reading early", {true, false, false}, 1000, 3, 0, false, 1000, 400},
        {"two channels filling several blocks", {false, true, true}, 65534, 0, 3, false, 30000, 65534},
        {"external start waits for the contact", {true, true, true}, 64, 0, 0, true, 2010, 32},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        BoardRig rig;
        rig.setUpChip(c.frequencyIndex, c.rangeIndex);
        ASSERT_EQ(rig.send(startCommand(
                      {true, c.channels, c.samples, c.frequencyIndex, c.rangeIndex, c.external, 0})),
                  si::Success);
        rig.ticks.advance(c.waitMs);
        EXPECT_TRUE(rig.read().isEmpty()) << "a run to memory sends nothing";

        QByteArray memory;
        for (int block = 0; block < 8; ++block) {
            ASSERT_EQ(rig.send({0x25, block}), si::Success);
            const QByteArray b = rig.read();
            ASSERT_EQ(b.size(), qsizetype(SimulatedBoard::kBlockBytes)) << block;
            memory += b;
        }
        rig.send({0x25, 8});
        EXPECT_TRUE(rig.read().isEmpty()) << "there is no block 8";

        const auto header = memory.left(6);
        EXPECT_EQ(std::uint8_t(header[0]), c.channels.mask());
        EXPECT_EQ(std::uint32_t(std::uint8_t(header[1])) | std::uint32_t(std::uint8_t(header[2])) << 8 |
                      std::uint32_t(std::uint8_t(header[3])) << 16,
                  c.samples);
        EXPECT_EQ(header[4], c.frequencyIndex);
        EXPECT_EQ(header[5], c.rangeIndex);
        const double rate = kFrequencyTable[std::size_t(c.frequencyIndex)].hz;
        expectScene(memory.mid(6, qsizetype(c.recordedFrames) * c.channels.count() * 2), c.channels, rate,
                    c.rangeIndex);
        if (c.recordedFrames < c.samples) {
            const QByteArray rest = memory.mid(6 + qsizetype(c.recordedFrames) * c.channels.count() * 2, 16);
            EXPECT_EQ(rest, QByteArray(16, '\0')) << "nothing beyond what was recorded";
        }
    }
}

TEST(SimulatedBoard, ContactDelayAndProtectionClear)
{
    BoardRig rig({SimScene{}, 3000});
    rig.setUpChip(0, 0);
    // No contact yet: the board has no delay to tell.
    rig.send(startCommand({true, {true, true, true}, 100, 0, 0, true, 0}));
    rig.ticks.advance(2000);
    rig.send({0x2D});
    EXPECT_TRUE(rig.read().isEmpty());
    rig.ticks.advance(1500);
    rig.send({0x2D});
    EXPECT_EQ(rig.read().toHex(), QByteArray("2c01")) << "300 units of 10 ms";

    // A write-protected memory records nothing; clearing the protection answers '@'.
    rig.board->setMemoryWriteProtected(true);
    rig.send(startCommand({true, {true, false, false}, 10, 0, 0, false, 0}));
    rig.ticks.advance(100);
    EXPECT_EQ(std::uint8_t(rig.board->memoryImage()[0]), 0x07) << "the header of the earlier run stays";
    rig.send({0x22, 0x01});
    EXPECT_TRUE(rig.read(1).isEmpty()) << "only 22 00 clears the protection";
    rig.send({0x22, 0x00});
    EXPECT_EQ(rig.read(1), QByteArray("@"));
    EXPECT_FALSE(rig.board->memoryWriteProtected());
}

TEST(SimulatedBoard, InjectedFaultsHappenWhenAsked)
{
    using RF = SimulatedBoard::ReadFault;
    BoardRig rig;

    rig.board->failWrite(2);
    EXPECT_EQ(rig.send({0x29, 0x00}), si::Success);
    EXPECT_EQ(rig.send({0x29, 0x00}), si::WriteError) << "the second write from now";
    EXPECT_EQ(rig.send({0x29, 0x00}), si::Success);
    EXPECT_EQ(rig.board->commandsReceived().size(), 2u) << "the failed command never reached the board";

    rig.board->failRead(RF::Nothing);
    EXPECT_TRUE(rig.read().isEmpty());
    EXPECT_EQ(rig.read().toHex(), QByteArray("e5e5")) << "what was held back comes with the next read";

    rig.send({0x29, 0x00});
    rig.board->failRead(RF::Garbage);
    const QByteArray garbage = rig.read();
    ASSERT_EQ(garbage.size(), 1);
    EXPECT_NE(std::uint8_t(garbage[0]), 0xE5);
    rig.board->failRead(RF::Garbage);
    EXPECT_FALSE(rig.read().isEmpty()) << "garbage comes even when the board had nothing";

    rig.board->dropOut();
    int status = 0;
    EXPECT_EQ(rig.send({0x29, 0x00}), si::DeviceNotFound);
    EXPECT_TRUE(rig.read(kBulkReplyMax, &status).isEmpty());
    EXPECT_EQ(status, si::DeviceNotFound);
    EXPECT_EQ(rig.library.SI_Close(0), si::DeviceNotFound);
    rig.board->reconnect();
    EXPECT_EQ(rig.send({0x29, 0x00}), si::Success);
    EXPECT_EQ(rig.read().toHex(), QByteArray("e5"));
}

TEST(DeviceConfig, ChoosesTheBackendAndTunesTheSimulator)
{
    QTemporaryDir dir;
    const QString ini = dir.filePath(QString::fromLatin1(kDeviceIniName));
    struct Case {
        const char* what;
        QByteArray file; // empty: no file
        QString environment;
        QString backend;
        QString origin; // "ini" stands for the file's path
    };
    const Case cases[] = {
        {"nothing configured: a search", {}, {}, "auto", "default"},
        {"the file chooses", "[Device]\r\nBackend=none\r\n", {}, "none", "ini"},
        {"the variable wins over the file", "[device]\r\nbackend=none\r\n", "Simulator", "sim",
         "ACCEL3_DEVICE"},
        {"a blank variable counts as unset", "[Device]\r\nBackend=none\r\n", "  ", "none", "ini"},
        {"an unknown name is kept for the message", {}, "usb9", "usb9", "ACCEL3_DEVICE"},
    };
    platform::ManualTicks ticks;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QFile::remove(ini);
        if (!c.file.isEmpty()) {
            ASSERT_TRUE(testutil::writeAll(ini, c.file));
        }
        const DeviceSettings s = readDeviceSettings(ini, c.environment);
        EXPECT_EQ(s.backend, c.backend);
        EXPECT_EQ(s.origin, c.origin == QLatin1String("ini") ? ini : c.origin);
        if (c.backend == QLatin1String("auto"))
            continue; // the search has its own test
        auto backend = makeBackend(s, ticks);
        EXPECT_EQ(dynamic_cast<SimulatedBoard*>(backend.get()) != nullptr, c.backend == QLatin1String("sim"));
        if (c.backend != QLatin1String("sim")) {
            std::uint32_t n = 0;
            EXPECT_NE(backend->write(nullptr, 0, n), si::Success);
        }
    }

    ASSERT_TRUE(testutil::writeAll(ini, "[Simulator]\r\nTremorHz=4,5\r\nVibrationG=0.2\r\nNoiseG=abc\r\n"
                                        "ContactOpenMs=750\r\nSeed=0x10\r\n"));
    const DeviceSettings s = readDeviceSettings(ini, {});
    EXPECT_DOUBLE_EQ(s.simulator.scene.tremorHz, 4.5) << "either decimal separator";
    EXPECT_DOUBLE_EQ(s.simulator.scene.vibrationG, 0.2);
    EXPECT_DOUBLE_EQ(s.simulator.scene.noiseG, SimScene{}.noiseG)
        << "a value that does not parse keeps its default";
    EXPECT_EQ(s.simulator.contactOpenMs, 750u);
    EXPECT_EQ(s.simulator.scene.seed, 16u);
}

TEST(DeviceConfig, AFileThatCannotBeReadIsNamedWithWhyAndCountsAsAbsent)
{
    QTemporaryDir dir;
    const QString ini = dir.filePath(QString::fromLatin1(kDeviceIniName));
    struct Case {
        const char* what;
        std::function<void()> make;
        const char* why; // empty: read
    };
    const Case cases[] = {
        {"settings text", [&] { testutil::writeAll(ini, "[Device]\r\nBackend=none\r\n"); }, ""},
        {"too large",
         [&] { testutil::writeAll(ini, "[Device]\r\nBackend=none\r\n" + QByteArray(2 << 20, ';')); },
         "больше"},
        {"binary",
         [&] {
             testutil::writeAll(ini, QByteArray("\x7f"
                                                "ELF\x02\x01\x01\n[Device]\nBackend=none\n"));
         },
         "не текст"},
        // Opened without waiting for a writer: the start must not hang on it.
        {"a FIFO", [&] { ASSERT_EQ(::mkfifo(QFile::encodeName(ini).constData(), 0600), 0); },
         "не обычный файл"},
        {"a device", [&] { QFile::link(QStringLiteral("/dev/null"), ini); }, "не обычный файл"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QFile::remove(ini);
        c.make();
        const DeviceSettings s = readDeviceSettings(ini, {});
        if (*c.why == 0) {
            EXPECT_TRUE(s.unreadNote.isEmpty()) << qPrintable(s.unreadNote);
            EXPECT_EQ(s.backend, QStringLiteral("none"));
            continue;
        }
        EXPECT_TRUE(s.unreadNote.startsWith(QStringLiteral("Файл настроек платы ") + ini))
            << qPrintable(s.unreadNote);
        EXPECT_TRUE(s.unreadNote.contains(QString::fromUtf8(c.why))) << qPrintable(s.unreadNote);
        EXPECT_EQ(s.backend, QStringLiteral("auto")) << "nothing of it is taken";
    }
}

TEST(DeviceConfig, SerialLineSettings)
{
    QTemporaryDir dir;
    const QString ini = dir.filePath(QString::fromLatin1(kDeviceIniName));
    struct Case {
        const char* what;
        QByteArray file;
        QString environment;
        QString port;
        int baud;
        int firstByteMs;
        QStringList usbIds;
    };
    const QByteArray full =
        "[Device]\r\nBackend=serial\r\nPort=/dev/ttyACM1\r\nBaud=115200\r\nReadTimeoutMs=80\r\n"
        "UsbIds=0403:6001, 10c4:ea60\r\n";
    const Case cases[] = {
        {"the variable names the port", {}, "serial:/dev/ttyUSB0", "/dev/ttyUSB0", 921600, 50, {}},
        {"the file's settings", full, {}, "/dev/ttyACM1", 115200, 80, {"0403:6001", "10c4:ea60"}},
        {"the variable alone asks for a search, the line settings stay",
         full,
         "serial",
         "",
         115200,
         80,
         {"0403:6001", "10c4:ea60"}},
        {"a slow board", "[Device]\r\nBackend=serial\r\nReadTimeoutMs=400\r\n", {}, "", 921600, 400, {}},
        {"a wait that would freeze the window is not taken",
         "[Device]\r\nBackend=serial\r\nReadTimeoutMs=5000\r\n",
         {},
         "",
         921600,
         50,
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QFile::remove(ini);
        if (!c.file.isEmpty()) {
            ASSERT_TRUE(testutil::writeAll(ini, c.file));
        }
        const DeviceSettings s = readDeviceSettings(ini, c.environment);
        EXPECT_EQ(s.backend, QStringLiteral("serial"));
        EXPECT_EQ(s.serial.port, c.port);
        EXPECT_EQ(s.serial.baud, c.baud);
        EXPECT_EQ(s.stream.firstByteWait.count(), c.firstByteMs);
        EXPECT_EQ(s.serial.probeWait.count(), std::max(100, c.firstByteMs)) << "the board is probed as it is read";
        EXPECT_EQ(s.serial.usbIds, c.usbIds);
    }
}
