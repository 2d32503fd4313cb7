#include "tavlo_hand_off.h"

#include <QThread>

CTavloHandOff::CTavloHandOff(QObject* receiver, Handler handle, Handler drop)
    : m_receiver(receiver), m_handle(std::move(handle)), m_drop(std::move(drop)) {}

CTavloHandOff::~CTavloHandOff() {
    Close();
    std::vector<Item> left;
    {
        std::lock_guard lock(m_mutex);
        left.swap(m_queue);
    }
    for (const Item& item : m_ready)
        m_drop(item);
    for (const Item& item : left)
        m_drop(item);
}

bool CTavloHandOff::onReceiverThread() const {
    return QThread::currentThread() == m_receiver->thread();
}

void CTavloHandOff::Queue(const Item* items, int count) {
    if (count <= 0)
        return;
    if (onReceiverThread()) {
        m_pending += count;
        drain();
        for (int i = 0; i < count; ++i) {
            m_handle(items[i]);
            --m_pending;
        }
        return;
    }
    std::unique_lock lock(m_mutex);
    m_room.wait(lock, [this] { return m_closed || m_queue.size() < kMaxQueued; });
    if (m_closed) {
        lock.unlock();
        for (int i = 0; i < count; ++i)
            m_drop(items[i]);
        return;
    }
    m_pending += count;
    m_queue.insert(m_queue.end(), items, items + count);
    if (!m_posted) {
        m_posted = true;
        QMetaObject::invokeMethod(
            m_receiver, [this] { drain(); }, Qt::QueuedConnection);
    }
}

void CTavloHandOff::Close() {
    {
        std::lock_guard lock(m_mutex);
        m_closed = true;
    }
    m_room.notify_all();
}

void CTavloHandOff::drain() {
    {
        std::lock_guard lock(m_mutex);
        m_ready.insert(m_ready.end(), m_queue.begin(), m_queue.end());
        m_queue.clear();
        m_posted = false;
    }
    m_room.notify_all();
    while (!m_ready.empty()) {
        Item item = m_ready.front();
        m_ready.pop_front();
        m_handle(item);
        --m_pending;
    }
}
