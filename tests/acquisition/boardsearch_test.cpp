#include "acquisition/boardsearch.h"
#include "acquisition/devicelink.h"
#include "acquisition/simulatedboard.h"
#include "boardsimprocess.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <future>
#include <gtest/gtest.h>

using namespace acq;

TEST(BoardSearch, ARealBoardIsTakenAndTheSimulatedOneOnlyWhenNoneAnswers)
{
    QTemporaryDir dir;
    BoardSimProcess quiet({QStringLiteral("--stop-after"), QStringLiteral("0")});
    BoardSimProcess board;
    ASSERT_FALSE(board.path().isEmpty()) << qPrintable(board.error());
    QFile::link(quiet.path(), dir.filePath(QStringLiteral("ttyQuiet")));
    QFile::link(board.path(), dir.filePath(QStringLiteral("ttyBoard")));

    struct Case {
        const char* what;
        QStringList ports;
        bool simulated;
        const char* described;
    };
    const Case cases[] = {
        {"a board answers", {QStringLiteral("ttyQuiet"), QStringLiteral("ttyBoard")}, false, "ttyBoard"},
        {"a port that is no board", {QStringLiteral("ttyQuiet")}, true, "имитатор"},
        {"no port at all", {QStringLiteral("ttyNone*")}, true, "имитатор"},
    };
    platform::ManualTicks ticks;
    ticks.setAutoAdvance(1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SerialSettings serial;
        serial.candidates.clear();
        for (const QString& p : c.ports)
            serial.candidates << dir.filePath(p);
        auto search = std::make_unique<BoardSearch>([serial] { return findRealBoard(serial, {}, {}); },
                                                    [&ticks] { return std::make_unique<SimulatedBoard>(ticks); });
        const BoardSearch& searching = *search;
        DeviceLibrary library(std::move(search));
        for (int i = 0; i < 500 && !searching.finished(); ++i)
            QThread::msleep(10);
        ASSERT_TRUE(searching.finished());
        DeviceLink link(library, ticks);
        // Whichever board it is, it answers as the accelerometer.
        EXPECT_EQ(link.CheckAxRg(0x00), SimulatedBoard::kDeviceId);
        EXPECT_EQ(library.backend().simulated(), c.simulated);
        EXPECT_EQ(library.backend().lineTiming().has_value(), !c.simulated)
            << "a line's replies must be awaited through the message loop";
        EXPECT_TRUE(library.backend().description().contains(QString::fromUtf8(c.described)))
            << qPrintable(library.backend().description());
    }
}

TEST(BoardSearch, ACallDuringTheSearchFailsWithAWordInsteadOfHoldingTheWindow)
{
    std::promise<void> release;
    std::shared_future<void> gate = release.get_future().share();
    platform::ManualTicks ticks;
    ticks.setAutoAdvance(1);
    BoardSearch search(
        [gate] {
            gate.wait();
            return std::unique_ptr<DeviceBackend>();
        },
        [&ticks] { return std::make_unique<SimulatedBoard>(ticks); });
    const std::uint8_t ask[2] = {0x29, 0x00};
    std::uint32_t n = 0;
    EXPECT_EQ(search.write(ask, 2, n), si::DeviceNotFound);
    EXPECT_TRUE(search.lastError().contains(QStringLiteral("поиск платы"))) << qPrintable(search.lastError());
    EXPECT_FALSE(search.simulated()) << "not known yet";
    release.set_value();
    for (int i = 0; i < 500 && !search.finished(); ++i)
        QThread::msleep(10);
    EXPECT_EQ(search.write(ask, 2, n), si::Success);
    EXPECT_TRUE(search.simulated());
}
