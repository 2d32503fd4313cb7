#pragma once
// A stand-in main frame for tests and benchmarks: every message is handled on the window
// thread. A send from a worker waits for its handling there; a post is queued.

#include "tavlo_window.h"

#include <QCoreApplication>
#include <QThread>

class CTavloWindowThreadFrame : public CTavloWindow {
public:
    intptr_t SendMessage(unsigned message, uintptr_t w, intptr_t l) override {
        if (QThread::currentThread() == qApp->thread())
            return handle(message, w, l);
        intptr_t result = 0;
        QMetaObject::invokeMethod(
            qApp, [&] { result = handle(message, w, l); }, Qt::BlockingQueuedConnection);
        return result;
    }
    void PostMessage(unsigned message, uintptr_t w, intptr_t l) override {
        QMetaObject::invokeMethod(
            qApp, [this, message, w, l] { handle(message, w, l); }, Qt::QueuedConnection);
    }
    virtual intptr_t handle(unsigned message, uintptr_t w, intptr_t l) = 0;
};
