#pragma once

#include "tavlo_window.h"
#include "vorn_string.h"

#include <utility>

// View messages: what a thread fetch tells the window thread about the thread's log. Created by
// the worker, sent to the main frame as TAVLO_WM_VIEWMESSAGE, deleted by the frame after handling.
class CTavloMessage {
public:
    enum Type {
        TYPE_WRITEFILE = 0,
        TYPE_OPENFILE = 1,
        TYPE_CLOSEFILE = 2,
        TYPE_RELOADFILE = 3,
        TYPE_READURL = 5,
    };

    CTavloMessage(int type, const CVornString& key, const CVornString& boardUrl,
                  const CVornString& datPath)
        : Type(type), Key(key), BoardUrl(boardUrl), DatPath(datPath) {}
    virtual ~CTavloMessage() = default;

    unsigned Message = TAVLO_WM_VIEWMESSAGE;
    int Type;
    CVornString Key;
    CVornString BoardUrl;
    CVornString DatPath;
};

class CTavloWriteFileMessage : public CTavloMessage {
public:
    CTavloWriteFileMessage(const CVornString& key, const CVornString& boardUrl,
                           const CVornString& datPath, const CVornString& text)
        : CTavloMessage(TYPE_WRITEFILE, key, boardUrl, datPath), Text(text) {}
    CTavloWriteFileMessage(const CVornString& key, const CVornString& boardUrl,
                           const CVornString& datPath, CVornString&& text)
        : CTavloMessage(TYPE_WRITEFILE, key, boardUrl, datPath), Text(std::move(text)) {}
    CVornString Text; // the lines just appended, in log format
};

class CTavloOpenFileMessage : public CTavloMessage {
public:
    CTavloOpenFileMessage(const CVornString& key, const CVornString& boardUrl,
                          const CVornString& datPath, int fresh)
        : CTavloMessage(TYPE_OPENFILE, key, boardUrl, datPath), Fresh(fresh) {}
    int Fresh; // 1 when the log did not exist or was empty before this fetch
};

class CTavloCloseFileMessage : public CTavloMessage {
public:
    CTavloCloseFileMessage(const CVornString& key, const CVornString& boardUrl,
                           const CVornString& datPath, int written)
        : CTavloMessage(TYPE_CLOSEFILE, key, boardUrl, datPath), Written(written) {}
    int Written; // bytes appended during this fetch
};

class CTavloReloadFileMessage : public CTavloMessage {
public:
    CTavloReloadFileMessage(const CVornString& key, const CVornString& boardUrl,
                            const CVornString& datPath)
        : CTavloMessage(TYPE_RELOADFILE, key, boardUrl, datPath) {}
};

class CTavloReadUrlMessage : public CTavloMessage {
public:
    CTavloReadUrlMessage(const CVornString& key, const CVornString& boardUrl,
                         const CVornString& datPath, int received, int total)
        : CTavloMessage(TYPE_READURL, key, boardUrl, datPath), Received(received), Total(total) {}
    int Received; // body bytes so far
    int Total;    // Content-Length, 0 when absent
};

// Sends a view message to the window, which takes ownership; without a window it is dropped.
inline void TavloSendViewMessage(CTavloWindow* window, CTavloMessage* message) {
    if (!window) {
        delete message;
        return;
    }
    window->SendMessage(TAVLO_WM_VIEWMESSAGE, 0, reinterpret_cast<intptr_t>(message));
}

// Sends view messages in order in one hand-off (the window takes ownership of each); queued
// ones may still be on their way when this returns.
inline void TavloSendViewMessages(CTavloWindow* window, CTavloMessage* const* messages, int count,
                                  bool queued = false) {
    if (!window) {
        for (int i = 0; i < count; ++i)
            delete messages[i];
        return;
    }
    CTavloWindow::Message list[4];
    for (int at = 0; at < count; at += 4) {
        int n = count - at < 4 ? count - at : 4;
        for (int i = 0; i < n; ++i)
            list[i] = {TAVLO_WM_VIEWMESSAGE, 0, reinterpret_cast<intptr_t>(messages[at + i])};
        if (queued)
            window->QueueMessages(list, n);
        else
            window->SendMessages(list, n);
    }
}
