#pragma once

#include "tavlo_bbs.h"
#include "tavlo_window.h"
#include "vorn_string.h"
#include "vorn_table.h"
#include "vorn_thread.h"

#include <functional>
#include <memory>
#include <vector>

// Fetches threads by trying the board kinds in a fixed order, and keeps the set of fetches in
// progress so that one thread is never fetched twice at once.
class CTavloBbsManager : public CVornMutex {
public:
    using Factory = std::function<std::unique_ptr<CTavloBbs>(CTavloWindow*, const CVornString&,
                                                             const CVornString&)>;

    static CTavloBbsManager& Instance();

    // Fetches (board URL, key); 0 on success or when the thread is already being fetched,
    // else a negative result code with the kind's error text (if any) in errorText.
    int Fetch(const CVornString& boardUrl, const CVornString& key, CTavloWindow* window,
              CVornString& errorText);
    // Whether (board URL, key) is being fetched now.
    bool IsFetching(const CVornString& boardUrl, const CVornString& key);

    // The kinds, in the order they are tried.
    std::vector<Factory>& Kinds() { return m_kinds; }

    CTavloBbsManager();

private:
    bool registerFetch(const CVornString& boardUrl, const CVornString& key);
    void unregisterFetch(const CVornString& boardUrl, const CVornString& key);

    CVornTable m_running{2};
    std::vector<Factory> m_kinds;
};
