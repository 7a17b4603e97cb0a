#include "acquisition/boardsearch.h"
#include "acquisition/deviceconfig.h"
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

TEST(BoardSearch, ARealBoardIsTakenAndWithoutOneEveryCommandFailsWithWhereToChooseOne)
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
        bool found;
        const char* described;
    };
    const Case cases[] = {
        {"a board answers", {QStringLiteral("ttyQuiet"), QStringLiteral("ttyBoard")}, true, "ttyBoard"},
        {"a port that is no board", {QStringLiteral("ttyQuiet")}, false, "плата не найдена"},
        {"no port at all", {QStringLiteral("ttyNone*")}, false, "плата не найдена"},
    };
    platform::ManualTicks ticks;
    ticks.setAutoAdvance(1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // Nothing configured: the program's own choice.
        DeviceSettings settings = readDeviceSettings({}, {});
        ASSERT_EQ(settings.backend, QStringLiteral("auto"));
        settings.serial.candidates.clear();
        for (const QString& p : c.ports)
            settings.serial.candidates << dir.filePath(p);
        std::unique_ptr<DeviceBackend> backend = makeBackend(settings, ticks);
        const auto* searching = dynamic_cast<const BoardSearch*>(backend.get());
        ASSERT_NE(searching, nullptr);
        DeviceLibrary library(std::move(backend));
        for (int i = 0; i < 500 && !searching->finished(); ++i)
            QThread::msleep(10);
        ASSERT_TRUE(searching->finished());
        DeviceLink link(library, ticks);
        EXPECT_FALSE(library.backend().simulated());
        EXPECT_EQ(link.CheckAxRg(0x00),
                  c.found ? std::optional<std::uint8_t>(SimulatedBoard::kDeviceId) : std::nullopt);
        EXPECT_EQ(library.backend().lineTiming().has_value(), c.found)
            << "a line's replies must be awaited through the message loop";
        EXPECT_TRUE(library.backend().description().contains(QString::fromUtf8(c.described)))
            << qPrintable(library.backend().description());
        if (!c.found)
            EXPECT_EQ(library.backend().lastError(), QString::fromUtf8(kNoBoardHint));
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
