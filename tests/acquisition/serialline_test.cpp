#include "boardsimprocess.h"
#include "scenecheck.h"

#include "acquisition/commandframer.h"
#include "acquisition/devicelink.h"
#include "acquisition/serialline.h"
#include "acquisition/streambackend.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <condition_variable>
#include <fcntl.h>
#include <linux/capability.h>
#include <mutex>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

using namespace acq;
using namespace std::chrono_literals;

namespace {

// Waits generous enough for an emulator that a loaded machine schedules late.
std::unique_ptr<StreamBackend> serialBackend(const QString& path, StreamOptions options = {})
{
    SerialSettings s;
    s.port = path;
    s.probeWait = 2s;
    options.openWait = 5s;
    return std::make_unique<StreamBackend>(std::make_unique<SerialOpener>(s), options);
}

// A terminal another program holds, which never answers.
struct ForeignTerminal {
    ForeignTerminal()
    {
        master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0)
            path = QFile::decodeName(::ptsname(master));
    }
    ~ForeignTerminal() { ::close(master); }
    QByteArray received() const
    {
        QByteArray all;
        char chunk[256];
        for (ssize_t n; (n = ::read(master, chunk, sizeof chunk)) > 0;)
            all.append(chunk, n);
        return all;
    }
    int master = -1;
    QString path;
};

// Opens the path as a plain program would (no lock), and says what came of it (0: opened). Root
// passes the exclusive mode by CAP_SYS_ADMIN, so this thread alone gives that up first.
int openAsAnotherProgram(const QString& path)
{
    int error = 0;
    std::thread t([&] {
        if (::geteuid() == 0) {
            __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
            __user_cap_data_struct data[2]{};
            ::syscall(SYS_capget, &header, data);
            data[CAP_SYS_ADMIN / 32].effective &= ~(1u << (CAP_SYS_ADMIN % 32));
            ::syscall(SYS_capset, &header, data);
        }
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        error = fd < 0 ? errno : 0;
        if (fd >= 0)
            ::close(fd);
    });
    t.join();
    return error;
}

// The program's side of the line with the real clock: its 4 ms pauses are real ones.
struct Line {
    explicit Line(std::unique_ptr<DeviceBackend> backend) : library(std::move(backend)), link(library, ticks)
    {
    }
    platform::SystemTicks ticks;
    DeviceLibrary library;
    DeviceLink link;
    StreamBackend& backend() { return static_cast<StreamBackend&>(library.backend()); }
};

void setUpChip(DeviceLink& link, std::uint8_t rateCode, std::uint8_t range)
{
    for (const RegisterStep& r : registerSetup(rateCode, range))
        ASSERT_EQ(link.writeRegister(r.address, r.value), DeviceLink::RegisterResult::Written)
            << "register " << int(r.address);
}

// A run of X, Y and Z to the computer at the rate the chip was set to.
bool startXyzAt3200(DeviceLink& link, std::uint32_t samples)
{
    StartParams p;
    p.channels = ChannelSet::fromMask(0x07);
    p.samples = samples;
    link.commandBuffer = startCommand(p);
    return link.SendCmd(9) == 0;
}

} // namespace

TEST(ReceiveBuffer, HandsOverWhatArrivedWaitingOnlyForAReplyNotYetThere)
{
    ReceiveBuffer b;
    std::uint8_t out[16];
    // Nothing there: the wait ends empty.
    EXPECT_EQ(b.take(out, sizeof out, 10ms).count, 0u);

    // A reply coming in two pieces during the wait comes whole.
    std::thread board([&] {
        QThread::msleep(20);
        const std::uint8_t a[] = {0x2C};
        b.push(a, 1);
        QThread::msleep(2);
        const std::uint8_t c[] = {0x01};
        b.push(c, 1);
    });
    const auto t = b.take(out, sizeof out, 1000ms, 50ms);
    board.join();
    ASSERT_EQ(t.count, 2u);
    EXPECT_EQ(out[0], 0x2C);
    EXPECT_EQ(out[1], 0x01);

    // Bytes already there are taken at most max at a time, in order.
    const std::uint8_t stream[] = {1, 2, 3, 4, 5};
    b.push(stream, 5);
    EXPECT_EQ(b.take(out, 3, 1000ms, 1000ms).count, 3u);
    EXPECT_EQ(b.take(out, 16, 0ms).count, 2u);
    EXPECT_EQ(out[1], 5);
}

TEST(ReceiveBuffer, OverflowAndALostLineAreReportedAfterTheBytesThatCame)
{
    ReceiveBuffer b(4);
    std::uint8_t out[16];
    const std::uint8_t bytes[] = {1, 2, 3, 4, 5, 6};
    b.push(bytes, 6);
    EXPECT_EQ(b.size(), 4u) << "bounded";
    auto t = b.take(out, 16, 0ms);
    EXPECT_EQ(t.count, 4u);
    EXPECT_TRUE(t.overflowed);
    EXPECT_FALSE(b.take(out, 16, 0ms).overflowed) << "reported once";

    b.push(bytes, 2);
    b.fail("gone");
    t = b.take(out, 1, 0ms);
    EXPECT_EQ(t.count, 1u);
    EXPECT_FALSE(t.failed) << "bytes still waiting come first";
    t = b.take(out, 16, 1000ms);
    EXPECT_EQ(t.count, 1u);
    t = b.take(out, 16, 1000ms);
    EXPECT_EQ(t.count, 0u);
    EXPECT_TRUE(t.failed);
    EXPECT_EQ(t.why, "gone");
}

TEST(CommandFramer, CutsTheLineIntoCommandsByTheirCode)
{
    struct Case {
        const char* what;
        std::vector<QByteArray> pieces;
        QList<QByteArray> commands; // hex
        bool partialLeft;
    };
    const Case cases[] = {
        {"commands back to back",
         {QByteArray::fromHex("2800002d29002200")},
         {"280000", "2d", "2900", "2200"},
         false},
        {"a start command split over reads",
         {QByteArray::fromHex("2b07"), QByteArray::fromHex("10000000"), QByteArray::fromHex("0000002502")},
         {"2b0710000000000000", "2502"},
         false},
        {"a stray byte costs one byte", {QByteArray::fromHex("ff2900")}, {"ff", "2900"}, false},
        {"an unfinished command waits", {QByteArray::fromHex("2c0100")}, {}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CommandFramer f;
        std::vector<QByteArray> out;
        for (const QByteArray& p : c.pieces)
            f.feed(reinterpret_cast<const std::uint8_t*>(p.constData()), std::size_t(p.size()), out);
        QList<QByteArray> hex;
        for (const QByteArray& o : out)
            hex << o.toHex();
        EXPECT_EQ(hex, c.commands);
        EXPECT_EQ(f.hasPartial(), c.partialLeft);
    }
}

TEST(SerialLine, ReadsBackEveryRegisterWhenTheBoardAnswersLateOrWasStreaming)
{
    // A USB adapter answers in 1-20 ms, later than the program's 4 ms pause.
    for (const char* delay : {"0", "20"}) {
        SCOPED_TRACE(delay);
        BoardSimProcess sim({QStringLiteral("--delay"), QString::fromLatin1(delay)});
        ASSERT_FALSE(sim.path().isEmpty()) << qPrintable(sim.error());
        // The wait for a late first byte is what is tested here, not its length: on a loaded
        // machine the emulator itself may take longer than the usual 50 ms to be scheduled.
        StreamOptions options;
        options.firstByteWait = 250ms;
        Line line(serialBackend(sim.path(), options));
        EXPECT_EQ(line.link.CheckAxRg(0x00), std::optional<std::uint8_t>(0xE5));
        setUpChip(line.link, 0x0F, 2);

        if (QByteArray(delay) != "0")
            continue;
        // Started again in the middle of a stream: its bytes are not taken for the read-backs.
        ASSERT_TRUE(startXyzAt3200(line.link, 3200));
        QThread::msleep(300);
        setUpChip(line.link, 0x0F, 2);
    }
}

TEST(SerialLine, StreamedRunArrivesWholeThoughNotReadUntilItHasEnded)
{
    SimScene scene;
    scene.seed = 7;
    scene.tremorHz = 11;
    BoardSimProcess sim(
        {QStringLiteral("--Seed"), QStringLiteral("7"), QStringLiteral("--TremorHz"), QStringLiteral("11")});
    ASSERT_FALSE(sim.path().isEmpty()) << qPrintable(sim.error());
    Line line(serialBackend(sim.path()));
    setUpChip(line.link, 0x0F, 0);
    ASSERT_TRUE(startXyzAt3200(line.link, 16384));

    // 5.12 s of samples, more than the line and the board hold between them: only a reader
    // that drains the line all along keeps every byte.
    QThread::msleep(5600);
    QByteArray got;
    // A loaded machine may hold the emulator back a little: a few empty reads end the wait.
    for (int empty = 0; empty < 3 && got.size() < 98304;) {
        const QByteArray chunk = line.link.readReply(kBulkReplyMax);
        ASSERT_EQ(line.link.lastStatus, 0);
        empty = chunk.isEmpty() ? empty + 1 : 0;
        if (chunk.isEmpty())
            QThread::msleep(300);
        got += chunk;
    }
    EXPECT_EQ(got.size(), 98304);
    expectScene(got, ChannelSet::fromMask(0x07), 3200, 0, scene);
}

TEST(SerialLine, LaterCommandsWorkAfterACloseAndAfterTheBoardIsPluggedBackIn)
{
    QTemporaryDir dir;
    const QString port = dir.filePath(QStringLiteral("ttyBoard"));
    auto sim = std::make_unique<BoardSimProcess>(
        QStringList{QStringLiteral("--link"), port, QStringLiteral("--exit-after"), QStringLiteral("3000")});
    ASSERT_FALSE(sim->path().isEmpty()) << qPrintable(sim->error());
    Line line(serialBackend(port));

    EXPECT_EQ(line.link.CheckAxRg(0x00), std::optional<std::uint8_t>(0xE5));
    EXPECT_EQ(line.link.close(), 0);
    EXPECT_FALSE(line.backend().isOpen());
    EXPECT_EQ(line.link.CheckAxRg(0x00), std::optional<std::uint8_t>(0xE5)) << "a close ends nothing";

    // The board goes away in the middle of a run: what it sent is read, then the reads fail.
    setUpChip(line.link, 0x0F, 0);
    ASSERT_TRUE(startXyzAt3200(line.link, 3200));
    ASSERT_TRUE(sim->waitForExit(5000));
    QByteArray got;
    for (int i = 0; i < 10; ++i) {
        got += line.link.readReply(kBulkReplyMax);
        if (line.link.lastStatus != 0)
            break;
    }
    EXPECT_NE(line.link.lastStatus, 0);
    // Before the stream: the device ID asked at each of the two opens, the two read-backs of it
    // and the six register read-backs.
    EXPECT_EQ(got.size(), 3000 - 4 - 6);
    EXPECT_NE(line.link.SendCmd(2), 0) << "nothing is there to send to";
    EXPECT_TRUE(line.backend().lastError().contains(port)) << qPrintable(line.backend().lastError());

    // Meanwhile the path leads to another program's terminal: it gets the identity probe and
    // nothing else.
    ForeignTerminal foreign;
    ASSERT_TRUE(QFile::link(foreign.path, port));
    EXPECT_EQ(line.link.writeRegister(0x2D, 0x08), DeviceLink::RegisterResult::NotSent);
    EXPECT_EQ(foreign.received().toHex(' '), QByteArray("29 00"));
    EXPECT_TRUE(line.backend().lastError().contains(QStringLiteral("не ответил как акселерометр")))
        << qPrintable(line.backend().lastError());
    QFile::remove(port);

    // Plugged back in at the same place: the next command finds it without a restart.
    sim = std::make_unique<BoardSimProcess>(QStringList{QStringLiteral("--link"), port});
    ASSERT_FALSE(sim->path().isEmpty()) << qPrintable(sim->error());
    EXPECT_EQ(line.link.CheckAxRg(0x00), std::optional<std::uint8_t>(0xE5));
}

TEST(SerialLine, APortIsOpenedForThisProgramAloneAndLeftAsItWasFound)
{
    BoardSimProcess sim;
    ASSERT_FALSE(sim.path().isEmpty()) << qPrintable(sim.error());
    // The port as some other program left it: a cooked terminal at 9600 bit/s.
    const QByteArray path = QFile::encodeName(sim.path());
    auto settingsNow = [&] {
        termios t{};
        const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        ::tcgetattr(fd, &t);
        return std::pair{fd, t};
    };
    auto [fd, before] = settingsNow();
    before.c_lflag |= ICANON | ECHO | ISIG;
    before.c_iflag |= ICRNL | IXON;
    before.c_oflag |= OPOST | ONLCR;
    ::cfsetspeed(&before, B9600);
    ASSERT_EQ(::tcsetattr(fd, TCSANOW, &before), 0);
    ::tcgetattr(fd, &before);
    ::close(fd);

    {
        QString why;
        auto link = openSerialLine(sim.path(), SerialSettings{}, why);
        ASSERT_NE(link, nullptr) << qPrintable(why);
        EXPECT_EQ(openAsAnotherProgram(sim.path()), EBUSY) << "a second program would take half the bytes";
    }
    EXPECT_EQ(openAsAnotherProgram(sim.path()), 0) << "free again once closed";
    auto [again, after] = settingsNow();
    ::close(again);
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    EXPECT_EQ(after.c_iflag, before.c_iflag);
    EXPECT_EQ(after.c_oflag, before.c_oflag);
    EXPECT_EQ(after.c_cflag & ~tcflag_t(HUPCL), before.c_cflag & ~tcflag_t(HUPCL));
    EXPECT_EQ(::cfgetospeed(&after), speed_t(B9600));
}

TEST(SerialLine, AReadThatCannotKeepUpReportsTheOverflow)
{
    BoardSimProcess sim;
    ASSERT_FALSE(sim.path().isEmpty()) << qPrintable(sim.error());
    StreamOptions small;
    small.bufferLimit = 1000;
    Line line(serialBackend(sim.path(), small));
    setUpChip(line.link, 0x0F, 0);
    ASSERT_TRUE(startXyzAt3200(line.link, 3200));
    QThread::msleep(600);
    line.link.readReply(kBulkReplyMax);
    EXPECT_NE(line.link.lastStatus, 0) << "dropped bytes must not pass for a whole stream";
    EXPECT_TRUE(line.backend().lastError().contains(QStringLiteral("переполнен")));
}

TEST(SerialLine, APortThatCannotBeOpenedIsExplained)
{
    BoardSimProcess sim;
    ASSERT_FALSE(sim.path().isEmpty()) << qPrintable(sim.error());
    QTemporaryDir dir;
    const QString plainFile = dir.filePath(QStringLiteral("notatty"));
    QFile(plainFile).open(QIODevice::WriteOnly);

    // Opened as somebody outside the terminal's group: root passes every permission check, so
    // this thread alone takes the file-system identity of "nobody"; others lose the owner's
    // access instead.
    auto openWithoutPermission = [&](const QString& path) {
        QString why;
        if (::geteuid() == 0) {
            std::thread t([&] {
                ::setfsgid(65534);
                ::setfsuid(65534);
                SerialSettings s;
                openSerialLine(path, s, why);
                ::setfsuid(0);
                ::setfsgid(0);
            });
            t.join();
        } else {
            ::chmod(QFile::encodeName(path).constData(), 0);
            openSerialLine(path, SerialSettings{}, why);
            ::chmod(QFile::encodeName(path).constData(), 0620);
        }
        return why;
    };

    struct Case {
        const char* what;
        QString why;
        QStringList says;
    };
    QString missing;
    EXPECT_EQ(openSerialLine(dir.filePath(QStringLiteral("ttyUSB7")), SerialSettings{}, missing), nullptr);
    QString notTty;
    EXPECT_EQ(openSerialLine(plainFile, SerialSettings{}, notTty), nullptr);
    SerialSettings oddRate;
    oddRate.baud = 12345;
    QString rate;
    EXPECT_EQ(openSerialLine(sim.path(), oddRate, rate), nullptr);
    const Case cases[] = {
        {"missing", missing, {dir.filePath(QStringLiteral("ttyUSB7")), QStringLiteral("не найден")}},
        {"no permission", openWithoutPermission(sim.path()), {sim.path(), QStringLiteral("dialout")}},
        {"not a terminal", notTty, {plainFile, QStringLiteral("не является последовательным портом")}},
        {"a rate the line cannot run at", rate, {QStringLiteral("12345")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (const QString& part : c.says)
            EXPECT_TRUE(c.why.contains(part)) << qPrintable(c.why);
    }
}

TEST(SerialLine, SearchTakesTheFirstPortThatAnswersAndNeverProbesAnUnnamedUsbDevice)
{
    QTemporaryDir dir;
    BoardSimProcess silent({QStringLiteral("--stop-after"), QStringLiteral("0")});
    BoardSimProcess board;
    ASSERT_FALSE(board.path().isEmpty()) << qPrintable(board.error());
    // A fake sysfs in which ttyUSB9 belongs to a USB device 0403:6001.
    const QString sys = dir.filePath(QStringLiteral("sys"));
    const QString usb = sys + QStringLiteral("/devices/usb1/1-1");
    ASSERT_TRUE(QDir().mkpath(usb + QStringLiteral("/1-1:1.0/ttyUSB9")));
    ASSERT_TRUE(QDir().mkpath(sys + QStringLiteral("/class/tty/ttyUSB9")));
    QFile::link(usb + QStringLiteral("/1-1:1.0/ttyUSB9"), sys + QStringLiteral("/class/tty/ttyUSB9/device"));
    for (auto [name, text] : {std::pair{"idVendor", "0403\n"}, std::pair{"idProduct", "6001\n"},
                              std::pair{"product", "FT232R USB UART\n"}}) {
        QFile f(usb + QLatin1Char('/') + QLatin1String(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    const QString dev = dir.filePath(QStringLiteral("dev"));
    QDir().mkpath(dev);
    QFile::link(silent.path(), dev + QStringLiteral("/ttyS0quiet"));
    QFile::link(board.path(), dev + QStringLiteral("/ttyUSB9"));

    struct Case {
        const char* what;
        QStringList usbIds;
        bool found;
        QStringList says;
    };
    const Case cases[] = {
        {"the USB device is nobody's",
         {},
         false,
         {QStringLiteral("ttyS0quiet: не ответил"), QStringLiteral("ttyUSB9 (0403:6001): не опрашивался")}},
        {"its IDs are configured", {QStringLiteral("0403:6001")}, true, {QStringLiteral("ttyUSB9")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SerialSettings s;
        s.candidates = {dev + QStringLiteral("/*")};
        s.probeWait = 1s;
        s.usbIds = c.usbIds;
        AutoSerialOpener opener(s, sys);
        QString why;
        auto link = opener.open(why);
        EXPECT_EQ(link != nullptr, c.found) << qPrintable(why);
        const QString text = c.found ? opener.description() : why;
        for (const QString& part : c.says)
            EXPECT_TRUE(text.contains(part)) << qPrintable(text);
    }
    const auto ports = listSerialPorts({dev + QStringLiteral("/ttyUSB*")}, sys);
    ASSERT_EQ(ports.size(), 1u);
    EXPECT_EQ(ports[0].description, QStringLiteral("FT232R USB UART"));

    // A search that probed in vain is not repeated at once while the same ports are there, even
    // if one of them would answer now; after the hold-off, or as soon as a port appears, it is.
    const QString later = dir.filePath(QStringLiteral("later"));
    QDir().mkpath(later);
    const QString port = later + QStringLiteral("/ttyS0");
    QFile::link(silent.path(), port);
    SerialSettings s;
    s.candidates = {later + QStringLiteral("/*")};
    s.probeWait = 1s;
    platform::ManualTicks ticks(5000);
    AutoSerialOpener opener(s, sys, &ticks);
    QString first, second, third;
    EXPECT_FALSE(opener.open(first));
    QFile::remove(port);
    QFile::link(board.path(), port); // the same path now leads to a board
    ticks.advance(AutoSerialOpener::kSearchAgainAfter.count() - 1);
    EXPECT_FALSE(opener.open(second));
    EXPECT_EQ(second, first);
    ticks.advance(1);
    EXPECT_TRUE(opener.open(third)) << qPrintable(third);

    AutoSerialOpener plugged(s, sys, &ticks);
    QFile::remove(port);
    QFile::link(silent.path(), port);
    QString none, found;
    EXPECT_FALSE(plugged.open(none));
    QFile::link(board.path(), later + QStringLiteral("/ttyS1")); // a port appears
    EXPECT_TRUE(plugged.open(found)) << qPrintable(found);
}

TEST(SerialLine, SearchProbesAllPortsAtOnceAndWaitsAsLongAsTheLineAllowsSoASlowBoardIsFound)
{
    // Eight silent ports sorted before a board that answers in 250 ms.
    QTemporaryDir dir;
    const QString dev = dir.filePath(QStringLiteral("dev"));
    QDir().mkpath(dev);
    std::vector<std::unique_ptr<ForeignTerminal>> silent;
    for (int i = 0; i < 8; ++i) {
        silent.push_back(std::make_unique<ForeignTerminal>());
        ASSERT_TRUE(QFile::link(silent.back()->path, dev + QStringLiteral("/ttyS%1").arg(i)));
    }
    BoardSimProcess board({QStringLiteral("--delay"), QStringLiteral("250")});
    ASSERT_FALSE(board.path().isEmpty()) << qPrintable(board.error());
    ASSERT_TRUE(QFile::link(board.path(), dev + QStringLiteral("/ttyS8")));

    SerialSettings s;
    s.candidates = {dev + QStringLiteral("/*")};
    s.probeWait = 1500ms; // ReadTimeoutMs gives it
    AutoSerialOpener opener(s, dir.filePath(QStringLiteral("sys")));
    // However many ports stay silent, the search costs one probe wait: each probe waits here
    // until all have begun, which only probes running side by side ever do.
    std::mutex m;
    std::condition_variable cv;
    int begun = 0;
    bool sideBySide = true;
    opener.setProbe([&](ByteLink& link, std::chrono::milliseconds wait) {
        {
            std::unique_lock<std::mutex> lock(m);
            ++begun;
            cv.notify_all();
            sideBySide = cv.wait_for(lock, 5s, [&] { return begun == 9; }) && sideBySide;
        }
        return probeBoard(link, wait);
    });
    QString why;
    const auto link = opener.open(why);
    EXPECT_TRUE(sideBySide) << "the ports were probed one after another";
    ASSERT_NE(link, nullptr) << qPrintable(why);
    EXPECT_TRUE(opener.description().contains(QStringLiteral("ttyS8"))) << qPrintable(opener.description());
}

TEST(StreamBackend, OpensOnAThreadOfItsOwnAndCallsMeanwhileFailAtOnce)
{
    // An open that takes as long as the test wants: a search of many ports, a board slow to answer.
    struct SlowOpener : LinkOpener {
        std::unique_ptr<ByteLink> open(QString& why) override
        {
            std::unique_lock<std::mutex> lock(m);
            ++opens;
            thread = std::this_thread::get_id();
            cv.wait_for(lock, 5s, [&] { return released; });
            done = true;
            cv.notify_all();
            why = QStringLiteral("нет платы");
            return nullptr;
        }
        QString description() const override { return QStringLiteral("медленная плата"); }
        std::mutex m;
        std::condition_variable cv;
        int opens = 0;
        bool released = false;
        bool done = false;
        std::thread::id thread;
    };
    auto owned = std::make_unique<SlowOpener>();
    SlowOpener& opener = *owned;
    StreamBackend backend(std::move(owned));
    EXPECT_LE(StreamOptions{}.openWait, 200ms) << "the longest a call holds the window for an open";
    const std::uint8_t ask[2] = {0x29, 0x00};
    std::uint32_t written = 0;
    for (int call = 0; call < 2; ++call) {
        EXPECT_EQ(backend.write(ask, 2, written), si::DeviceNotFound);
        std::lock_guard<std::mutex> lock(opener.m);
        EXPECT_FALSE(opener.done) << "the call waited for the open to end";
    }
    EXPECT_TRUE(backend.lastError().contains(QStringLiteral("медленная плата"))) << qPrintable(backend.lastError());
    {
        std::unique_lock<std::mutex> lock(opener.m);
        EXPECT_EQ(opener.opens, 1) << "one open at a time";
        EXPECT_NE(opener.thread, std::this_thread::get_id());
        opener.released = true;
        opener.cv.notify_all();
        opener.cv.wait(lock, [&] { return opener.done; });
    }
    // The open's outcome comes with the next call.
    EXPECT_EQ(backend.write(ask, 2, written), si::DeviceNotFound);
    EXPECT_EQ(backend.lastError(), QStringLiteral("нет платы"));
}
