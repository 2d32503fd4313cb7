#include "tavlo_bookmark_updater.h"

#include "tavlo_bbs_manager.h"
#include "tavlo_bookmark_file.h"
#include "tavlo_settings.h"
#include "vorn_log.h"

#include <algorithm>
#include <chrono>
#include <thread>

struct CTavloBookmarkUpdater::Worker {
    CVornThread thread;
    std::atomic<bool> done{false};
};

CTavloBookmarkUpdater::CTavloBookmarkUpdater(CTavloWindow* window) : m_window(window) {}

CTavloBookmarkUpdater::~CTavloBookmarkUpdater() {
    if (m_coordinator)
        m_coordinator->Wait();
}

intptr_t CTavloBookmarkUpdater::send(unsigned message, uintptr_t w, intptr_t l) {
    return m_window ? m_window->SendMessage(message, w, l) : 0;
}

bool CTavloBookmarkUpdater::Start(CTavloBookmarkFile& list) {
    if (m_running)
        return false;
    if (m_coordinator)
        m_coordinator->Wait();
    m_coordinator = std::make_unique<CVornThread>();
    m_running = true;
    if (!m_coordinator->Begin([this, &list](CVornThread&) { return coordinate(list); })) {
        m_running = false;
        VLOG(0, "CTavloBookmarkUpdater::Start", "thread start error");
        return false;
    }
    return true;
}

void CTavloBookmarkUpdater::Wait(const std::function<void()>& pumpWindow) {
    // The coordinator sends to the window thread up to its very end: keep serving it.
    while (m_coordinator && m_coordinator->IsRunning()) {
        if (pumpWindow)
            pumpWindow();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (m_coordinator)
        m_coordinator->Wait();
}

// Waits in 100 ms steps for one worker (or all) to end; the ended ones are removed.
bool CTavloBookmarkUpdater::waitWorkers(bool all) {
    for (;;) {
        size_t before = m_workers.size();
        std::erase_if(m_workers, [](const std::unique_ptr<Worker>& w) {
            if (!w->done)
                return false;
            w->thread.Wait();
            return true;
        });
        if (m_workers.empty() || (!all && m_workers.size() < before))
            return true;
        std::unique_lock<std::mutex> lock(m_doneLock);
        m_doneSignal.wait_for(lock, std::chrono::milliseconds(100), [this] {
            for (auto& w : m_workers)
                if (w->done)
                    return true;
            return false;
        });
    }
}

int CTavloBookmarkUpdater::coordinate(CTavloBookmarkFile& list) {
    send(TAVLO_WM_STATUSBAR, 0, 1);
    const int count = list.GetCount();
    VLOG(2, "CTavloBookmarkView::ThreadReloadProc", "start: %d", count);
    m_workers.clear();
    m_peak = 0;
    const int limit = std::max(1, CTavloSettings::Instance().ThreadMax);
    for (int i = 0; i < count; ++i) {
        if (static_cast<int>(m_workers.size()) >= limit && !waitWorkers(false))
            break;
        // A stop that came while waiting for a free worker starts nothing more.
        if (i > 0 && m_stop && m_stop())
            break;
        CTavloBookmarkItem* entry = list.Get(i);
        if (!entry)
            break;
        entry->SetError(0);
        auto worker = std::make_unique<Worker>();
        Worker* w = worker.get();
        CVornString boardUrl = entry->GetBoardUrl(), key = entry->GetKey();
        m_active++;
        m_peak = std::max(m_peak.load(), m_active.load());
        int started = w->thread.Begin([this, w, entry, i, boardUrl, key](CVornThread&) {
            VLOG(2, "CTavloBookmarkView::ThreadProc", "CTavloBookmarkView::ThreadProc: %08x",
                 static_cast<unsigned>(std::hash<std::thread::id>()(std::this_thread::get_id())));
            entry->SetChecking(1);
            if (m_rowChanged)
                m_rowChanged(entry, i);
            CVornString error;
            int r = CTavloBbsManager::Instance().Fetch(boardUrl, key, m_window, error);
            if (r != 0)
                entry->SetError(1);
            entry->Refresh();
            entry->SetChecking(0);
            entry->ResetSpeed();
            if (m_rowChanged)
                m_rowChanged(entry, i);
            if (m_checked)
                m_checked(entry, i, r, error);
            m_active--;
            {
                std::lock_guard<std::mutex> lock(m_doneLock);
                w->done = true;
            }
            m_doneSignal.notify_all();
            return r;
        });
        if (!started) {
            m_active--;
            VLOG(0, "CTavloBookmarkView::ThreadReloadProc", "AfxBeginThread error(%d)", 0);
            break;
        }
        m_workers.push_back(std::move(worker));
        VLOG(2, "CTavloBookmarkView::ThreadReloadProc", "[%d]", i);
        send(TAVLO_WM_PROGRESS, static_cast<uintptr_t>(i + 1), count);
        if (m_stop && m_stop())
            break;
    }
    waitWorkers(true);
    VLOG(2, "CTavloBookmarkView::ThreadReloadProc", "end");
    m_running = false;
    if (m_finished)
        m_finished();
    send(TAVLO_WM_STATUSBAR, 0, 0);
    return 0;
}
