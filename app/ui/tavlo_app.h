#pragma once

#include "tavlo_main_frame.h"
#include "tavlo_store_lock.h"

#include <memory>
#include <string>

// The application: from process start until the main window is shown (settings, logging,
// the log-store root, the frame and its ten views), and the end.
class CTavloApp {
public:
    CTavloApp();
    ~CTavloApp();
    CTavloApp(const CTavloApp&) = delete;
    CTavloApp& operator=(const CTavloApp&) = delete;

    // Start-up; 1 when the main window is shown, 0 when the program is to stop (the reason
    // was shown already). The settings file comes from the command line ("--ini PATH") or its
    // usual places.
    int InitInstance(int argc, char** argv);
    // Shuts the frame down (network work stopped, workers finished) and destroys it.
    void ExitInstance();

    CMainFrame* GetFrame() const { return m_frame.get(); }

    // Where the log goes with Debug 1: the executable's directory, or the settings file's
    // when that one cannot be written.
    static std::string LogDirectory(const std::string& exeDir, const std::string& profilePath);
    // Logging on (Debug 1) or off, from the settings record.
    static void ApplyLogging();
    // Checks the root and creates it (steps 6 and 7); 1 to go on, 0 to stop.
    static int PrepareRoot(const CVornString& root);
    // Takes the store's lock; 0 (after saying so) when another program holds it.
    static int LockStore(CTavloStoreLock& lock, const CVornString& root);

private:
    void createViews();

    std::unique_ptr<CMainFrame> m_frame;
    // The store is ours while the window program runs (a headless run waits its turn).
    CTavloStoreLock m_storeLock;
};
