// The window never waits on the line: a board whose line takes no command, or one that never
// answers, leaves the message loop turning while the connection check and a start go on, and the
// start ends with its message instead of a frozen window; another board can be chosen meanwhile.

#include "acqwindow.h"

#include "acquisition/streambackend.h"

#include <QSignalSpy>
#include <QTimer>

#include <condition_variable>
#include <mutex>

namespace {

using namespace std::chrono_literals;

// Holds a blocked send until the test ends it; a few seconds at most, so that a window that does
// wait on the line is seen to freeze instead of hanging the test.
struct Gate {
    std::mutex m;
    std::condition_variable cv;
    bool open = false;
    void release()
    {
        {
            std::lock_guard l(m);
            open = true;
        }
        cv.notify_all();
    }
    void wait(std::chrono::milliseconds limit)
    {
        std::unique_lock l(m);
        cv.wait_for(l, limit, [&] { return open; });
    }
};

// A line that never brings a byte; its sends go out at once, or block.
class DeadLink : public acq::ByteLink {
  public:
    DeadLink(std::shared_ptr<Gate> gate, bool sendBlocks) : gate_(std::move(gate)), sendBlocks_(sendBlocks) {}
    Io receive(std::uint8_t*, std::size_t, std::size_t& got, std::chrono::milliseconds timeout, QString&) override
    {
        got = 0;
        gate_->wait(timeout);
        return Io::TimedOut;
    }
    Io send(const std::uint8_t*, std::size_t, std::chrono::milliseconds, QString& why) override
    {
        if (!sendBlocks_)
            return Io::Ok;
        gate_->wait(1s); // whatever time it was given
        why = QStringLiteral("не принимает данные");
        return Io::TimedOut;
    }

  private:
    std::shared_ptr<Gate> gate_;
    bool sendBlocks_;
};

class DeadOpener : public acq::LinkOpener {
  public:
    DeadOpener(std::shared_ptr<Gate> gate, bool sendBlocks) : gate_(std::move(gate)), sendBlocks_(sendBlocks) {}
    std::unique_ptr<acq::ByteLink> open(QString&) override
    {
        // A port is checked as it opens: a board that takes no command holds that check too.
        if (sendBlocks_ && opens_++ > 0)
            gate_->wait(4s);
        return std::make_unique<DeadLink>(gate_, sendBlocks_);
    }
    QString description() const override { return QStringLiteral("заглушка"); }

  private:
    std::shared_ptr<Gate> gate_;
    bool sendBlocks_;
    int opens_ = 0;
};

} // namespace

TEST_F(AcqWindowTest, ALineThatTakesNoCommandOrNeverAnswersNeverHoldsTheWindow)
{
    const struct {
        const char* name;
        bool sendBlocks;
        const char* message;
    } cases[] = {
        {"writes block", true, "Не удалось передать команду 1 (Запрет прерываний)"},
        {"never answers", false, "Плата не ответила на чтение регистра 2E за 900 мс"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto gate = std::make_shared<Gate>();
        auto f = make();
        acq::StreamOptions o;
        o.firstByteWait = 900ms; // the advised ReadTimeoutMs
        f->measurementRun->setBackend(
            std::make_unique<acq::StreamBackend>(std::make_unique<DeadOpener>(gate, c.sendBlocks), o));
        QSignalSpy failed(f->measurementRun.get(), &acq::MeasurementRun::startFailed);
        int paced = 0;
        QTimer pace;
        pace.setInterval(10);
        QObject::connect(&pace, &QTimer::timeout, [&] { ++paced; });
        pace.start();
        // The check and the start come through the message loop, as the operator's click does.
        QTimer::singleShot(0, f.get(), [&] { f->linkIndicator->checkNow(); });
        QTimer::singleShot(100, f.get(), [&] { f->measurementRun->btStartPlus->click(); });
        QTest::qWait(1000);
        // About a hundred when the loop turns; a window held by the line misses most of them.
        EXPECT_GE(paced, 30);
        EXPECT_TRUE(failed.count() > 0 || failed.wait(5000));
        QStringList texts;
        for (const auto& m : dialogs.messages)
            texts << m.text;
        EXPECT_TRUE(texts.join(QLatin1Char('\n')).contains(QString::fromUtf8(c.message))) << qPrintable(texts.join('\n'));
        if (c.sendBlocks) {
            // The refused send has ended and the line opens anew: the board is still the one that
            // takes no command, not one being searched for.
            QTest::qWait(600);
            dialogs.messages.clear();
            f->measurementRun->btStartPlus->click();
            ASSERT_TRUE(QTest::qWaitFor([&] { return !dialogs.messages.empty(); }, 5000));
            EXPECT_TRUE(dialogs.messages.back().text.contains(QStringLiteral("Плата не принимает команды")))
                << qPrintable(dialogs.messages.back().text);
        }
        // Choosing another board does not wait for the old line either.
        QTimer::singleShot(0, f.get(), [&] { f->measurementRun->setBackend(nullptr); });
        paced = 0;
        QTest::qWait(500);
        EXPECT_GE(paced, 15);
        gate->release();
    }
}
