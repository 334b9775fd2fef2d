#include "QuitRequests.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QSessionManager>
#include <QTimer>

#include <csignal>

namespace {

// Runs the event loop until `done` holds or two seconds have passed.
template <typename Done>
bool SpinUntil(Done done)
{
    QDeadlineTimer deadline(2000);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

class QuitRequestsTest : public ::testing::Test {
protected:
    void TearDown() override { QuitRequests::Remove(); }
    int quits = 0;
};

} // namespace

TEST_F(QuitRequestsTest, EachQuitSignalBecomesOneQuitFromTheEventLoop)
{
    ASSERT_TRUE(QuitRequests::Install([this] { ++quits; }));
    for (int signalNumber : { SIGTERM, SIGINT, SIGHUP }) {
        const int before = quits;
        ASSERT_EQ(::raise(signalNumber), 0);
        // Nothing runs inside the signal handler: the quit waits for the event loop.
        EXPECT_EQ(quits, before) << strsignal(signalNumber);
        EXPECT_TRUE(SpinUntil([&] { return quits == before + 1; })) << strsignal(signalNumber);
    }
    // Signals that arrive together make one quit, not one each.
    ::raise(SIGTERM);
    ::raise(SIGINT);
    EXPECT_TRUE(SpinUntil([&] { return quits == 4; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(quits, 4);
}

TEST_F(QuitRequestsTest, ASignalDuringTheQuitIsNotStackedOnTopOfIt)
{
    int nested = 0;
    ASSERT_TRUE(QuitRequests::Install([&] {
        ++quits;
        if (quits == 1) {
            // The quit asks the user something (a nested loop) and a second Ctrl-C arrives.
            ::raise(SIGINT);
            QEventLoop loop;
            QTimer::singleShot(200, &loop, &QEventLoop::quit);
            loop.exec();
            nested = quits;
        }
    }));
    ::raise(SIGTERM);
    ASSERT_TRUE(SpinUntil([&] { return nested != 0; }));
    EXPECT_EQ(nested, 1);
    // Once the quit is over (the program kept running), a new request is heard again.
    ::raise(SIGHUP);
    EXPECT_TRUE(SpinUntil([&] { return quits == 2; }));
}

TEST_F(QuitRequestsTest, TheSessionManagersCommitDataRequestQuitsAfterItsHandlerReturns)
{
    auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    ASSERT_TRUE(gui);
    auto* manager = gui->findChild<QSessionManager*>();
    if (!manager)
        GTEST_SKIP() << "this Qt build has no session manager";
    int asked = 0;
    ASSERT_TRUE(QuitRequests::Install([this] { ++quits; }, [&] { ++asked; return true; }));
    emit gui->commitDataRequest(*manager);
    EXPECT_EQ(quits, 0);
    EXPECT_TRUE(SpinUntil([&] { return quits == 1; }));
    // Where no one may be asked, the program is not asked either: it ends.
    if (!manager->allowsInteraction())
        EXPECT_EQ(asked, 0);
}

TEST_F(QuitRequestsTest, InstallingAgainReplacesTheQuitAndRemoveRestoresTheDefault)
{
    int first = 0, second = 0;
    ASSERT_TRUE(QuitRequests::Install([&] { ++first; }));
    ASSERT_TRUE(QuitRequests::Install([&] { ++second; }));
    ::raise(SIGTERM);
    EXPECT_TRUE(SpinUntil([&] { return second == 1; }));
    EXPECT_EQ(first, 0);

    QuitRequests::Remove();
    struct sigaction action = {};
    for (int signalNumber : { SIGTERM, SIGINT, SIGHUP }) {
        ASSERT_EQ(::sigaction(signalNumber, nullptr, &action), 0);
        EXPECT_EQ(action.sa_handler, SIG_DFL) << strsignal(signalNumber);
    }
}
