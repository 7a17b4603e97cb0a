#include "acquisition/devicelink.h"
#include "acquisition/simulatedboard.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using namespace acq;

namespace {

QByteArray bytes(std::initializer_list<int> v)
{
    QByteArray b;
    for (int x : v)
        b.append(char(x));
    return b;
}

template <std::size_t N> QByteArray bytes(const std::array<std::uint8_t, N>& a)
{
    return QByteArray(reinterpret_cast<const char*>(a.data()), qsizetype(N));
}

// A link over the simulated board with a tick counter that moves on by itself, as the real one
// does, so the 4 ms pauses end.
struct LinkRig {
    platform::ManualTicks ticks{1000};
    SimulatedBoard* board = nullptr;
    std::unique_ptr<DeviceLibrary> library;
    std::unique_ptr<DeviceLink> link;

    LinkRig()
    {
        ticks.setAutoAdvance(1);
        auto b = std::make_unique<SimulatedBoard>(ticks);
        board = b.get();
        library = std::make_unique<DeviceLibrary>(std::move(b));
        link = std::make_unique<DeviceLink>(*library, ticks);
    }
};

} // namespace

TEST(DeviceCommands, StartCommandBytes)
{
    struct Case {
        const char* what;
        StartParams p;
        QByteArray expected;
    };
    const Case cases[] = {
        {"16384 samples, X and Z, 800 Hz, ±4 g, delay 5 s, to the computer",
         {false, {true, false, true}, 16384, 2, 1, false, 5},
         bytes({0x2B, 0x05, 0x00, 0x40, 0x00, 0x00, 0x02, 0x01, 0x05})},
        {"the same to memory with external start",
         {true, {true, false, true}, 16384, 2, 1, true, 5},
         bytes({0x2C, 0x05, 0x00, 0x40, 0x00, 0x00, 0x02, 0x01, 0xFF})},
        {"all four bytes of the count, little-endian",
         {false, {true, true, true}, 26843546, 9, 3, false, 250},
         bytes({0x2B, 0x07, 0x9A, 0x99, 0x99, 0x01, 0x09, 0x03, 0xFA})},
        {"no channel gives an empty mask",
         {false, {}, 1, 0, 0, false, 0},
         bytes({0x2B, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(bytes(startCommand(c.p)).toHex(' '), c.expected.toHex(' '));
    }
}

TEST(DeviceCommands, RegisterSetupAndMessages)
{
    const auto steps = registerSetup(0x0D, 2);
    const std::uint8_t addresses[] = {0x2E, 0x2C, 0x31, 0x2F, 0x2E, 0x2D};
    const std::uint8_t values[] = {0x00, 0x0D, 0x02, 0x7F, 0x80, 0x08};
    for (std::size_t i = 0; i < steps.size(); ++i) {
        EXPECT_EQ(steps[i].address, addresses[i]) << i;
        EXPECT_EQ(steps[i].value, values[i]) << i;
    }
    EXPECT_EQ(
        sendFailedMessage(2, QString::fromUtf8(steps[1].name)),
        QStringLiteral("Не удалось передать команду 2 (Частоты выборки акселерометра), проверьте подключение "
                       "устройства."));
    EXPECT_EQ(registerMismatchMessage(0x2E), QStringLiteral("Не удалось установить состояние регистра 2E"));
    EXPECT_EQ(registerMismatchMessage(0x2F), QStringLiteral("Не удалось установить состояние регистра 2F"));
}

TEST(DeviceCommands, ALineMessageBecomesARemarkKeepingAbbreviations)
{
    const struct {
        const char* line;
        const char* remark;
    } cases[] = {
        {"Порт /dev/ttyUSB0 отключён.", "порт /dev/ttyUSB0 отключён"},
        {"USB-устройство 0403:6014 отключено...", "USB-устройство 0403:6014 отключено"},
        {"FTDI не отвечает", "FTDI не отвечает"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(asRemark(QString::fromUtf8(c.line)), QString::fromUtf8(c.remark)) << c.line;
}

TEST(DeviceCommands, ProtectionClearedOnlyByAnAtSign)
{
    struct Case {
        int status;
        QByteArray reply;
        bool cleared;
    };
    const Case cases[] = {
        {si::Success, bytes({0x40}), true},    {si::Success, bytes({0x41}), false}, {si::Success, {}, false},
        {si::ReadError, bytes({0x40}), false}, {si::DeviceNotFound, {}, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(protectionCleared(c.status, c.reply), c.cleared)
            << c.status << " " << c.reply.toHex().constData();
}

TEST(DeviceLink, SendsWaitsAndReadsBack)
{
    LinkRig rig;
    auto& link = *rig.link;

    // A command goes out whole, zero bytes included, and the next one waits 4 ms of ticks.
    link.commandBuffer = {0x25, 0x03};
    const std::uint32_t before = rig.ticks.now();
    EXPECT_EQ(link.SendCmd(2), 0);
    EXPECT_GE(platform::ticksSince(before, rig.ticks.now()), kCommandPauseMs);
    ASSERT_FALSE(rig.board->commandsReceived().empty());
    EXPECT_EQ(rig.board->commandsReceived().back(), bytes({0x25, 0x03}));
    EXPECT_EQ(link.bytesWritten, 2u);
    // The block it asked for waits for a read; taken here so the read-back below sees its own reply.
    EXPECT_EQ(link.readReply(kBulkReplyMax).size(), qsizetype(SimulatedBoard::kBlockBytes));
    EXPECT_EQ(link.lastStatus, 0);

    // The read-back sends 29 <address> and leaves byte 2 with the value just written.
    EXPECT_EQ(link.writeRegister(0x2C, 0x0F), DeviceLink::RegisterResult::Written);
    const auto& sent = rig.board->commandsReceived();
    ASSERT_GE(sent.size(), 2u);
    EXPECT_EQ(sent[sent.size() - 2], bytes({0x28, 0x2C, 0x0F}));
    EXPECT_EQ(sent.back(), bytes({0x29, 0x2C}));
    EXPECT_EQ(link.commandBuffer[2], 0x0F);
    EXPECT_EQ(link.CheckAxRg(0x00), SimulatedBoard::kDeviceId);
}

// A read-back that did not happen must never pass for the value written, whatever byte the
// reply buffer happened to hold.
TEST(DeviceLink, FailedReadBackIsReportedAsMismatch)
{
    struct Case {
        const char* what;
        std::function<void(SimulatedBoard&)> fault;
        DeviceLink::RegisterResult result;
    };
    using RF = SimulatedBoard::ReadFault;
    const Case cases[] = {
        {"no fault", [](SimulatedBoard&) {}, DeviceLink::RegisterResult::Written},
        {"the register write fails", [](SimulatedBoard& b) { b.failWrite(1); },
         DeviceLink::RegisterResult::NotSent},
        {"the read-back request fails", [](SimulatedBoard& b) { b.failWrite(2); },
         DeviceLink::RegisterResult::Mismatch},
        {"the read brings nothing", [](SimulatedBoard& b) { b.failRead(RF::Nothing); },
         DeviceLink::RegisterResult::Mismatch},
        {"the read brings garbage", [](SimulatedBoard& b) { b.failRead(RF::Garbage); },
         DeviceLink::RegisterResult::Mismatch},
        {"the board is gone", [](SimulatedBoard& b) { b.dropOut(); }, DeviceLink::RegisterResult::NotSent},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        LinkRig rig;
        // 0x00 is also what an untouched reply buffer would hold.
        c.fault(*rig.board);
        EXPECT_EQ(rig.link->writeRegister(0x2E, 0x00), c.result);
    }
}

TEST(DeviceLibrary, AcceptsOnlyHandleZeroAndSynchronousCalls)
{
    platform::ManualTicks ticks;
    DeviceLibrary lib(std::make_unique<SimulatedBoard>(ticks));
    std::uint8_t buf[4] = {0x29, 0x00};
    std::uint32_t n = 77;
    EXPECT_EQ(lib.SI_Write(1, buf, 2, &n, nullptr), si::InvalidHandle);
    EXPECT_EQ(n, 0u);
    int overlapped = 0;
    EXPECT_EQ(lib.SI_Write(0, buf, 2, &n, &overlapped), si::InvalidParameter);
    EXPECT_EQ(lib.SI_Write(0, buf, 2, &n, nullptr), si::Success);
    EXPECT_EQ(n, 2u);
    n = 77;
    EXPECT_EQ(lib.SI_Read(0, buf, sizeof buf, &n, nullptr), si::Success);
    EXPECT_EQ(n, 1u);
    EXPECT_EQ(buf[0], SimulatedBoard::kDeviceId);
    EXPECT_EQ(lib.SI_Close(3), si::InvalidHandle);
    EXPECT_EQ(lib.SI_Close(0), si::Success);

    // A backend that throws reports a status instead.
    struct Throwing : NoBoard {
        Throwing() : NoBoard(QStringLiteral("throws")) {}
        int write(const std::uint8_t*, std::uint32_t, std::uint32_t&) override
        {
            throw std::runtime_error("x");
        }
        int read(std::uint8_t*, std::uint32_t, std::uint32_t&) override { throw std::runtime_error("x"); }
        int close() override { throw std::runtime_error("x"); }
    };
    lib.setBackend(std::make_unique<Throwing>());
    EXPECT_NE(lib.SI_Write(0, buf, 2, &n, nullptr), si::Success);
    EXPECT_NE(lib.SI_Read(0, buf, 2, &n, nullptr), si::Success);
    EXPECT_EQ(n, 0u);
    EXPECT_NE(lib.SI_Close(0), si::Success);
}
