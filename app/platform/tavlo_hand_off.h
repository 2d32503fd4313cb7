#pragma once

#include <QObject>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

// Window messages from workers to the receiver's thread without a wait per message: a worker
// queues them and goes on reading; the receiver's thread takes everything queued at once, in
// order. What arrives while it is busy is gathered for its next turn, so a fast transfer costs
// a few hand-offs, not one round trip per block. A worker that is kMaxQueued messages ahead
// waits until the receiver's thread takes them.
// Messages queued before a blocking call through the same receiver (BlockingQueuedConnection)
// are handled before it: both travel through the receiver's event queue in order.
class CTavloHandOff {
public:
    struct Item {
        unsigned message;
        uintptr_t wParam;
        intptr_t lParam;
    };
    using Handler = std::function<void(const Item&)>;
    static constexpr size_t kMaxQueued = 256;

    // handle runs on the receiver's thread; drop frees a message that will not be handled.
    CTavloHandOff(QObject* receiver, Handler handle, Handler drop);
    ~CTavloHandOff(); // what was never taken is dropped
    CTavloHandOff(const CTavloHandOff&) = delete;
    CTavloHandOff& operator=(const CTavloHandOff&) = delete;

    // Queues count messages in this order. On the receiver's thread itself they (and whatever
    // is still queued before them) are handled at once.
    void Queue(const Item* items, int count);
    // From now on messages are dropped instead of queued; a worker waiting for room goes on.
    // What is already queued is still handled.
    void Close();
    // Messages queued or taken but not yet handled.
    int Pending() const { return m_pending.load(); }

private:
    void drain();
    bool onReceiverThread() const;

    QObject* m_receiver;
    Handler m_handle;
    Handler m_drop;
    mutable std::mutex m_mutex;
    std::condition_variable m_room;
    std::vector<Item> m_queue; // guarded by m_mutex
    bool m_posted = false;     // a drain is on its way (guarded by m_mutex)
    bool m_closed = false;     // guarded by m_mutex
    // Taken by the receiver's thread: a handler that runs a nested event loop lets a later
    // drain go on with the rest, so the order holds.
    std::deque<Item> m_ready;
    std::atomic<int> m_pending{0};
};
