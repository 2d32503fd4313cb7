#pragma once

#include <cstdint>

// Private window messages of the main frame, as offsets from WM_APP (0x8000). A worker "sends"
// (waits until the window thread handled it) so that what it passes by pointer stays valid;
// "post" queues without waiting.
enum : unsigned {
    TAVLO_WM_APP = 0x8000,
    TAVLO_WM_CANCEL = TAVLO_WM_APP + 1,       // cancel, as command 32801
    TAVLO_WM_OPENBOARD = TAVLO_WM_APP + 2,    // lParam: CTavloBoardRef*
    TAVLO_WM_OPENSUBJECT = TAVLO_WM_APP + 3,  // lParam: CTavloListItem* (subject entry)
    TAVLO_WM_OPENBOOKMARK = TAVLO_WM_APP + 4, // lParam: CTavloListItem* (bookmark entry)
    TAVLO_WM_OPENCACHE = TAVLO_WM_APP + 5,    // lParam: CTavloListItem* (cache entry)
    TAVLO_WM_VIEWBACK = TAVLO_WM_APP + 6,
    TAVLO_WM_VIEWFORWARD = TAVLO_WM_APP + 7,
    TAVLO_WM_OPENLINK = TAVLO_WM_APP + 8, // lParam: an entry holding a URL
    TAVLO_WM_OPENURL = TAVLO_WM_APP + 20, // lParam: CVornString* URL (posted: owned)
    TAVLO_WM_SHOWBOOKMARKS = TAVLO_WM_APP + 21,
    TAVLO_WM_ADDBOOKMARK = TAVLO_WM_APP + 22, // lParam: CTavloListItem*
    TAVLO_WM_SHOWCACHE = TAVLO_WM_APP + 23,
    TAVLO_WM_STATUSBAR = TAVLO_WM_APP + 24,  // lParam 1 show / 0 hide
    TAVLO_WM_SEARCHBAR = TAVLO_WM_APP + 26,  // lParam 1 / 0
    TAVLO_WM_FIND2CHBAR = TAVLO_WM_APP + 27, // lParam 1 / 0
    TAVLO_WM_SEARCH = TAVLO_WM_APP + 28,     // wParam direction, lParam CVornString* word
    TAVLO_WM_SHOWFIND2CH = TAVLO_WM_APP + 29,
    TAVLO_WM_FIND2CH = TAVLO_WM_APP + 30, // wParam CVornString* search URL, lParam words
    TAVLO_WM_ACTIONMENU = TAVLO_WM_APP + 31,
    TAVLO_WM_REFRESHBOOKMARK = TAVLO_WM_APP + 32, // lParam: thread
    TAVLO_WM_READTOEND = TAVLO_WM_APP + 33,       // lParam: CVornString* log path (posted: owned)
    TAVLO_WM_PROGRESS = TAVLO_WM_APP + 34,        // wParam done, lParam total
    TAVLO_WM_REFRESHTHREAD = TAVLO_WM_APP + 35,   // lParam: thread
    TAVLO_WM_JUMP = TAVLO_WM_APP + 36,            // lParam: CVornString* direct-input text
    TAVLO_WM_JUMPBAR = TAVLO_WM_APP + 37,         // lParam 1 / 0
    TAVLO_WM_REFRESHIMAGES = TAVLO_WM_APP + 38,
    TAVLO_WM_ADDBOARD = TAVLO_WM_APP + 39, // lParam: CTavloBoardRef*
    TAVLO_WM_IMAGEDONE = TAVLO_WM_APP + 40,
    // Our own: a worker asks the window thread to show an error (wParam: code, lParam: const
    // CVornString* text or 0), and waits until it was dismissed.
    TAVLO_WM_SHOWERROR = TAVLO_WM_APP + 90,
    // Our own: the thread view closed a tab or deleted a thread (lParam: const CVornString* log
    // path), for the lists that show it.
    TAVLO_WM_LOGCLOSED = TAVLO_WM_APP + 91,
    TAVLO_WM_LOGDELETED = TAVLO_WM_APP + 92,
    // Our own: a view asks the frame to run one of the frame's or the application's commands
    // (wParam: command id), as a menu choice would.
    TAVLO_WM_COMMAND = TAVLO_WM_APP + 93,
    // Our own: pop up the view-switch menu "ビュー" (key ChangeView).
    TAVLO_WM_VIEWMENU = TAVLO_WM_APP + 94,
    TAVLO_WM_VIEWMESSAGE = TAVLO_WM_APP + 100, // lParam: CTavloMessage*, deleted by the frame
};

// The six main views; their numbers are the entries of the view history.
enum {
    TAVLO_VIEW_BOARD = 0,
    TAVLO_VIEW_SUBJECT = 1,
    TAVLO_VIEW_THREAD = 2,
    TAVLO_VIEW_BOOKMARK = 3,
    TAVLO_VIEW_CACHE = 4,
    TAVLO_VIEW_IMAGE = 5,
};

// Menu command identifiers.
enum {
    ID_VIEW_BACK = 32987,
    ID_VIEW_FORWARD = 32988,
    ID_CANCEL = 32801,
    ID_TOP = 32779,
    ID_BOTTOM = 32780,
    ID_DELETE = 32793,
    ID_SHOW_BOARD = 32832,
    ID_SHOW_SUBJECT = 32833,
    ID_SHOW_THREAD = 32834,
    ID_SHOW_BOOKMARK = 32835,
    ID_SHOW_IMAGE = 32993,
    ID_SHOW_CACHE = 32836,
    ID_CURRENT_SUBJECT = 32917,
    ID_SEARCH_RELATED = 32920,
    ID_ONLINE = 32849,
    ID_RELOAD = 32772,
    ID_JUMP_BACK = 32841,
    ID_NEXT_TAB = 32794,
    ID_PREV_TAB = 32795,
    ID_CLOSE_TAB = 32796,
    ID_TOGGLE_ABONE = 32911,
    ID_TOGGLE_WRAP = 32914,
    ID_REOPEN = 32912,
    ID_EDIT_NEW = 32797,
    ID_EDIT_REPLY = 32798,
    ID_EDIT_REPLY_ALL = 32984,
    ID_EDIT_THREAD = 32847,
    ID_SORT_NEW = 32868,
    ID_SORT_SEARCH = 32866,
    ID_SORT_CACHE = 32871,
    ID_SORT_SPEED = 32973,
    ID_SORT_NO = 32860,
    ID_SORT_RES = 32859,
    ID_SORT_THREAD = 32862,
    ID_SORT_THREADID = 32864,
    ID_SORT_BOARD = 32872,
    ID_SORT_DATE = 32873,
    ID_GREP_ID = 32948,
    ID_GREP_NAME = 32949,
    ID_GREP_REFER = 32950,
    ID_COPY_INFORMATION = 32980,
    ID_COPY_MESSAGE = 32981,
    ID_COPY_SELECTION = 32817,
    ID_JUMP = 32992,
    ID_SEARCH = 32807,
    ID_FIND2CH = 32806,
    ID_ADD_BOOKMARK = 32800,
    ID_CONFIG = 32776,
    ID_ADD_TEMPLATE = 32926,
    ID_ADD_NGWORD = 32928,
    ID_OPEN_BROWSER = 33005,
    ID_CONNECT = 32812,
    ID_DISCONNECT = 32813,
    ID_CHECK_ONOFF = 32976,
    ID_CHECK_TOOL = 33003,
    ID_DETECT_MOVE = 33007,
    ID_FIT_HEADER = 32963,
    ID_APP_ABOUT = 57664,
    ID_APP_EXIT = 32809,
    ID_DESKTOP_LAYOUT = 33100, // the desktop layout on or off
    ID_THREAD_FIRST = 50000,   // + tab index: the menu of open threads
};

// The window that workers report to (the main frame). Send runs the handler on the window
// thread and returns its result after it ran; from the window thread itself it calls directly.
// Post queues the call and returns at once.
class CTavloWindow {
public:
    struct Message {
        unsigned message;
        uintptr_t wParam;
        intptr_t lParam;
    };
    virtual ~CTavloWindow() = default;
    virtual intptr_t SendMessage(unsigned message, uintptr_t wParam, intptr_t lParam) = 0;
    virtual void PostMessage(unsigned message, uintptr_t wParam, intptr_t lParam) = 0;
    // Sends count messages in this order, each handled as by SendMessage; a window may hand
    // them over to its thread in one wait instead of one per message.
    virtual void SendMessages(const Message* messages, int count) {
        for (int i = 0; i < count; ++i)
            SendMessage(messages[i].message, messages[i].wParam, messages[i].lParam);
    }
    // Like SendMessages, but a window may return before they were handled: they are handled
    // in this order, after everything sent before and before anything sent after them.
    virtual void QueueMessages(const Message* messages, int count) {
        SendMessages(messages, count);
    }
};
