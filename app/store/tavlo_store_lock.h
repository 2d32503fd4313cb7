#pragma once

#include "vorn_string.h"

// One program at a time per log store: a lock file under the root ("tavlo.lock") holding the
// pid of the program that uses the store. The lock is an advisory lock on the open file, so it
// ends with its holder however that ends; a file left behind by a holder that is gone is taken
// over.
class CTavloStoreLock {
public:
    CTavloStoreLock() = default;
    ~CTavloStoreLock() { Release(); }
    CTavloStoreLock(const CTavloStoreLock&) = delete;
    CTavloStoreLock& operator=(const CTavloStoreLock&) = delete;

    // Takes the lock of the store at root. 1 when held now; 0 when another program holds it
    // (its pid in *holder, 0 when unknown); -1 when the lock file cannot be opened.
    int Acquire(const CVornString& root, int* holder = nullptr);
    void Release();
    bool IsHeld() const { return m_fd >= 0; }

    static CVornString GetPath(const CVornString& root) { return root + "/tavlo.lock"; }
    // The pid written in a lock file, 0 when there is none.
    static int ReadHolder(const CVornString& path);

private:
    int m_fd = -1;
};
