#pragma once

#include "vorn_string.h"

// Keeps a thread's previous log as log path + ".bak" while a whole new one is fetched, so that
// a transfer that breaks off, a refusal or bad data never leaves less than there was.
class CTavloLogBackup {
public:
    explicit CTavloLogBackup(const CVornString& datPath)
        : m_path(datPath), m_bak(datPath + ".bak") {}

    // Moves a non-empty log aside (an older ".bak" goes first). When a backup of this object
    // is already held, the log (what a refused run left) is removed instead. 1 when the old
    // log is now kept, 0 when there was none.
    int Keep();
    // Puts the kept log back over whatever the fetch wrote; 1 when there was one.
    int Restore();
    // The new log is complete: the kept one is not needed any more.
    void Drop();
    bool IsHeld() const { return m_held; }
    const CVornString& GetPath() const { return m_bak; }

private:
    CVornString m_path;
    CVornString m_bak;
    bool m_held = false;
};
