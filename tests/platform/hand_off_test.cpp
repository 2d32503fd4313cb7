// Messages from a worker to the window thread without a wait per message: order, the bound
// on how far a worker runs ahead, closing, and handlers that run a nested event loop.
#include "tavlo_hand_off.h"

#include <QCoreApplication>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

namespace {

QCoreApplication& App() {
    static int argc = 1;
    static char name[] = "test_hand_off";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = QCoreApplication::instance() ? QCoreApplication::instance()
                                                                : new QCoreApplication(argc, argv);
    return *app;
}

// Pumps the window thread until done() holds; false when it never did (a generous limit).
template <class F> bool PumpUntil(F done) {
    for (int i = 0; i < 20000; ++i) {
        if (done())
            return true;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return done();
}

// A message is its number (lParam); handled and dropped numbers are recorded.
struct Recorder {
    QObject receiver;
    std::vector<intptr_t> handled;
    std::atomic<int> dropped{0};
    std::function<void(intptr_t)> during; // runs inside the handler
    CTavloHandOff handOff{&receiver,
                          [this](const CTavloHandOff::Item& m) {
                              handled.push_back(m.lParam);
                              if (during)
                                  during(m.lParam);
                          },
                          [this](const CTavloHandOff::Item&) { ++dropped; }};

    void queue(intptr_t n) {
        CTavloHandOff::Item item{0, 0, n};
        handOff.Queue(&item, 1);
    }
    // As a blocking send through the same receiver does it.
    void sendBlocking(intptr_t n) {
        QMetaObject::invokeMethod(
            &receiver, [this, n] { handled.push_back(n); }, Qt::BlockingQueuedConnection);
    }
};

std::vector<intptr_t> Range(intptr_t from, intptr_t to) {
    std::vector<intptr_t> v;
    for (intptr_t i = from; i < to; ++i)
        v.push_back(i);
    return v;
}

TEST(HandOff, AWorkerGoesOnWithoutTheWindowAndEverythingArrivesInOrder) {
    App();
    Recorder r;
    // The window thread runs no events meanwhile: a worker that waited per message would
    // never get through.
    std::atomic<bool> done{false};
    std::thread worker([&] {
        for (intptr_t i = 0; i < 100; ++i)
            r.queue(i);
        done = true;
    });
    for (int i = 0; i < 20000 && !done; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(done.load());
    worker.join();
    EXPECT_TRUE(r.handled.empty());
    EXPECT_EQ(r.handOff.Pending(), 100);
    QCoreApplication::processEvents();
    EXPECT_EQ(r.handled, Range(0, 100));
    EXPECT_EQ(r.handOff.Pending(), 0);
    EXPECT_EQ(r.dropped.load(), 0);
}

TEST(HandOff, ABlockingSendComesAfterEverythingQueuedBeforeIt) {
    App();
    Recorder r;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        intptr_t n = 0;
        for (int round = 0; round < 50; ++round) {
            for (int k = 0; k < 7; ++k)
                r.queue(n++);
            r.sendBlocking(n++); // the end of a fetch is such a send
        }
        done = true;
    });
    const bool finished = PumpUntil([&] { return done.load(); });
    worker.join();
    QCoreApplication::processEvents();
    ASSERT_TRUE(finished);
    EXPECT_EQ(r.handled, Range(0, 400));
}

TEST(HandOff, AWorkerFarAheadWaitsForTheWindow) {
    App();
    Recorder r;
    const intptr_t total = static_cast<intptr_t>(CTavloHandOff::kMaxQueued) + 40;
    std::atomic<intptr_t> queued{0};
    std::thread worker([&] {
        for (intptr_t i = 0; i < total; ++i) {
            r.queue(i);
            ++queued;
        }
    });
    // It stops at the bound until the window takes the queue.
    for (int i = 0; i < 20000 && queued.load() < static_cast<intptr_t>(CTavloHandOff::kMaxQueued);
         ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(queued.load(), static_cast<intptr_t>(CTavloHandOff::kMaxQueued));
    EXPECT_TRUE(r.handled.empty());
    const bool all = PumpUntil([&] { return queued.load() == total && r.handOff.Pending() == 0; });
    worker.join();
    QCoreApplication::processEvents();
    ASSERT_TRUE(all);
    EXPECT_EQ(r.handled, Range(0, total));
}

TEST(HandOff, ClosingReleasesAWaitingWorkerAndStillHandlesWhatWasQueued) {
    App();
    Recorder r;
    const intptr_t total = static_cast<intptr_t>(CTavloHandOff::kMaxQueued) + 40;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        for (intptr_t i = 0; i < total; ++i)
            r.queue(i);
        done = true;
    });
    for (int i = 0; i < 20000 && r.handOff.Pending() < static_cast<int>(CTavloHandOff::kMaxQueued);
         ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    r.handOff.Close();
    // The worker is let go without the window thread running: the rest is dropped.
    worker.join();
    EXPECT_TRUE(done.load());
    EXPECT_EQ(r.dropped.load(), 40);
    QCoreApplication::processEvents();
    EXPECT_EQ(r.handled, Range(0, static_cast<intptr_t>(CTavloHandOff::kMaxQueued)));
    std::thread([&] { r.queue(total); }).join(); // after closing: dropped at once
    EXPECT_EQ(r.dropped.load(), 41);
    QCoreApplication::processEvents();
    EXPECT_EQ(r.handled.size(), CTavloHandOff::kMaxQueued);
}

TEST(HandOff, WhatIsNeverTakenIsDroppedWithTheHandOff) {
    App();
    std::atomic<int> handled{0}, dropped{0};
    auto receiver = std::make_unique<QObject>();
    auto handOff = std::make_unique<CTavloHandOff>(
        receiver.get(), [&](const CTavloHandOff::Item&) { ++handled; },
        [&](const CTavloHandOff::Item&) { ++dropped; });
    std::thread([&] {
        CTavloHandOff::Item items[10] = {};
        handOff->Queue(items, 10);
    }).join();
    // Gone (with its receiver, as a frame goes) before the window thread ran: every message
    // is freed once, and the drain that was on its way never runs.
    handOff.reset();
    receiver.reset();
    QCoreApplication::processEvents();
    EXPECT_EQ(dropped.load(), 10);
    EXPECT_EQ(handled.load(), 0);
}

TEST(HandOff, AHandlerWithANestedEventLoopKeepsTheOrder) {
    App();
    Recorder r;
    std::atomic<bool> more{false};
    std::atomic<bool> queuedMore{false};
    r.during = [&](intptr_t n) {
        if (n != 2)
            return;
        // A dialog inside a handler: the event loop runs while later messages arrive.
        more = true;
        PumpUntil([&] { return queuedMore.load(); });
        QCoreApplication::processEvents();
    };
    std::thread worker([&] {
        for (intptr_t i = 0; i < 5; ++i)
            r.queue(i);
        while (!more)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        for (intptr_t i = 5; i < 10; ++i)
            r.queue(i);
        queuedMore = true;
        r.sendBlocking(10);
    });
    const bool finished = PumpUntil([&] { return r.handled.size() == 11; });
    worker.join();
    ASSERT_TRUE(finished);
    EXPECT_EQ(r.handled, Range(0, 11));
}

TEST(HandOff, OnTheWindowThreadMessagesAreHandledAtOnceAfterTheQueuedOnes) {
    App();
    Recorder r;
    std::thread([&] {
        for (intptr_t i = 0; i < 3; ++i)
            r.queue(i);
    }).join();
    r.queue(3);
    EXPECT_EQ(r.handled, Range(0, 4));
    QCoreApplication::processEvents();
    EXPECT_EQ(r.handled, Range(0, 4));
}

} // namespace
