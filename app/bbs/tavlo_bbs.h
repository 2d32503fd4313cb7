#pragma once

#include "tavlo_window.h"
#include "vorn_file.h"
#include "vorn_http_client.h"
#include "vorn_string.h"

#include <memory>

// One fetch of one thread's log from a board of the 2ch family: the differential request, the
// checks that tell a log that no longer matches the server's, line assembly, appending whole
// lines to the log and the view messages that report it. Other board kinds override steps.
class CTavloBbs {
public:
    CTavloBbs(CTavloWindow* window, const CVornString& boardUrl, const CVornString& key);
    virtual ~CTavloBbs();
    CTavloBbs(const CTavloBbs&) = delete;
    CTavloBbs& operator=(const CTavloBbs&) = delete;

    // Performs the fetch; 0 on success (also 304) or a negative result code.
    int Run();

    virtual CVornString GetDatUrl();
    virtual int PrepareRequest();
    virtual int CheckResponse();
    // Checks and converts a run of complete lines in place; 0 or a result code.
    virtual int WriteFileConvert(CVornString& text);
    virtual int Initialize() { return 0; }
    virtual int Finalize(int result) { return result; }
    // Whether this kind handles the thread.
    virtual bool IsTarget();
    virtual const CVornString& GetDirectory() const { return m_directory; }
    virtual const CVornString& GetKey() const { return m_key; }
    virtual const CVornString& GetBoardUrl() const { return m_boardUrl; }
    virtual const CVornString& GetDatPath() const { return m_datPath; }
    virtual int GetStatusCode() const { return m_status; }
    virtual int GetWriteSize() const { return m_written; }

    const CVornString& GetErrorText() const { return m_errorText; }
    int GetReceivedSize() const { return m_received; }
    // Whether the last run ended with the whole body received: no receive error, no cancel.
    bool IsComplete() const { return m_complete; }
    // Longest line accepted without a line end; a longer one ends the fetch with -202.
    static constexpr size_t kMaxPendingLine = 32u << 20;

protected:
    int request();
    int openLog();
    int handleBlock(char* data, int n);
    void closeLog();
    void send(class CTavloMessage* message);
    // Hands messages over without waiting for the window (see CTavloWindow::QueueMessages).
    void queue(class CTavloMessage* const* messages, int count);
    static int socketCallback(struct CVornSocketMessage& message, void* user);

    CVornFile m_log;
    CVornString m_datPath;
    CVornString m_directory;
    CVornString m_key;
    CVornString m_boardUrl;
    CVornString m_pending;
    CVornString m_errorText;
    int m_received = 0;
    int m_written = 0;
    int m_total = -1; // Content-Length as a number, read at the first block

    int m_status = 0;
    CTavloWindow* m_window;
    std::unique_ptr<CVornHttpClient> m_http;
    bool m_canceled = false;
    bool m_complete = false;
    bool m_logOpen = false;
    // Longest line this kind accepts (kinds whose lines are short say so).
    size_t m_maxLine = kMaxPendingLine;
};

// The converting kind: boards that serve logs in EUC-JP (be boards) or in a seven-field layout
// (the 2chBBS plugin); received lines are turned into the standard log format.
class CTavloBbsSjis : public CTavloBbs {
public:
    using CTavloBbs::CTavloBbs;
    int WriteFileConvert(CVornString& text) override;
    bool IsTarget() override;
};
