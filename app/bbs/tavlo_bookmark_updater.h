#pragma once

#include "tavlo_window.h"
#include "vorn_string.h"
#include "vorn_thread.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class CTavloBookmarkFile;
class CTavloBookmarkItem;

// The update check of the bookmarks: a coordinating thread starts one worker per bookmark, at
// most ThreadMax at a time, each fetching its thread through the board registry. Progress and
// the start/end of the work go to the main window as its messages 24 and 34.
class CTavloBookmarkUpdater {
public:
    // Called on a worker when an entry's row should be drawn again (checking state, result).
    using RowChanged = std::function<void(CTavloBookmarkItem* entry, int position)>;
    // Called on the coordinating thread when the check has ended.
    using Finished = std::function<void()>;
    // Whether the user asked to stop (the main window's cancel flag).
    using StopRequested = std::function<bool()>;
    // Called on a worker when an entry's check ended, with the fetch's result code and the
    // kind's error text (empty when it left none).
    using Checked = std::function<void(CTavloBookmarkItem* entry, int position, int code,
                                       const CVornString& error)>;

    explicit CTavloBookmarkUpdater(CTavloWindow* window);
    // Waits for a running check; on the window thread call Wait with a pump first, since the
    // check reports to the window thread until its end.
    ~CTavloBookmarkUpdater();
    CTavloBookmarkUpdater(const CTavloBookmarkUpdater&) = delete;
    CTavloBookmarkUpdater& operator=(const CTavloBookmarkUpdater&) = delete;

    void SetRowChanged(RowChanged f) { m_rowChanged = std::move(f); }
    void SetFinished(Finished f) { m_finished = std::move(f); }
    void SetStopRequested(StopRequested f) { m_stop = std::move(f); }
    void SetChecked(Checked f) { m_checked = std::move(f); }

    // Starts checking every entry of the list, in list order. The entries must stay in the list
    // until the check has ended. False when a check runs already or none could start.
    bool Start(CTavloBookmarkFile& list);
    bool IsRunning() const { return m_running; }
    // Waits until the check has ended (pumpWindow pumps the window thread's events meanwhile).
    void Wait(const std::function<void()>& pumpWindow = nullptr);
    // Most workers that ran at once in the last check.
    int GetPeakWorkers() const { return m_peak; }

private:
    struct Worker;
    int coordinate(CTavloBookmarkFile& list);
    bool waitWorkers(bool all);
    intptr_t send(unsigned message, uintptr_t w, intptr_t l);

    CTavloWindow* m_window;
    RowChanged m_rowChanged;
    Finished m_finished;
    StopRequested m_stop;
    Checked m_checked;
    std::unique_ptr<CVornThread> m_coordinator;
    std::vector<std::unique_ptr<Worker>> m_workers; // the coordinator's alone
    std::atomic<bool> m_running{false};
    std::atomic<int> m_active{0};
    std::atomic<int> m_peak{0};
    // Workers signal their end so the coordinator starts the next one at once.
    std::mutex m_doneLock;
    std::condition_variable m_doneSignal;
};
