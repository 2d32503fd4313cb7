#pragma once

#include "boardsim.h"
#include "tavlo_dat_file.h"
#include "tavlo_info_file.h"
#include "tavlo_message.h"
#include "tavlo_settings.h"
#include "tavlo_window.h"
#include "test_util.h"
#include "vorn_winsock.h"

#include <mutex>
#include <string>
#include <vector>

// Stands in for the main frame: records every view message it is sent.
class RecordingWindow : public CTavloWindow {
public:
    struct Entry {
        int type;
        std::string key, boardUrl, datPath, text;
        int number = 0; // fresh / written / received
        int total = 0;
    };
    intptr_t SendMessage(unsigned message, uintptr_t, intptr_t lParam) override {
        if (message != TAVLO_WM_VIEWMESSAGE)
            return 0;
        auto* m = reinterpret_cast<CTavloMessage*>(lParam);
        Entry e{m->Type, m->Key.str(), m->BoardUrl.str(), m->DatPath.str(), {}, 0, 0};
        if (auto* w = dynamic_cast<CTavloWriteFileMessage*>(m))
            e.text = w->Text.str();
        if (auto* o = dynamic_cast<CTavloOpenFileMessage*>(m))
            e.number = o->Fresh;
        if (auto* c = dynamic_cast<CTavloCloseFileMessage*>(m)) {
            e.number = c->Written;
            // As the thread view does for a thread no tab shows.
            if (emulateView && c->Written > 0) {
                CTavloInfoFile info;
                CTavloInfoFile::Create(m->BoardUrl, m->Key, info);
                info.Count = CTavloDatFile::Count(m->DatPath);
                info.New = true;
                CTavloInfoFile::Write(info);
            }
        }
        if (auto* r = dynamic_cast<CTavloReadUrlMessage*>(m)) {
            e.number = r->Received;
            e.total = r->Total;
        }
        delete m;
        std::lock_guard<std::mutex> lock(mutex);
        entries.push_back(std::move(e));
        return 0;
    }
    void PostMessage(unsigned, uintptr_t, intptr_t) override {}
    std::vector<int> types() {
        std::lock_guard<std::mutex> lock(mutex);
        std::vector<int> t;
        for (auto& e : entries)
            if (e.type != CTavloMessage::TYPE_READURL)
                t.push_back(e.type);
        return t;
    }
    std::vector<Entry> of(int type) {
        std::lock_guard<std::mutex> lock(mutex);
        std::vector<Entry> out;
        for (auto& e : entries)
            if (e.type == type)
                out.push_back(e);
        return out;
    }
    void clear() {
        std::lock_guard<std::mutex> lock(mutex);
        entries.clear();
    }
    std::mutex mutex;
    std::vector<Entry> entries;
    bool emulateView = false;
};

// A store in a temporary root, settings pointing the proxy at a running board server.
class BoardFixture {
public:
    explicit BoardFixture(const std::vector<std::string>& simArgs = {}) : sim(simArgs) {
        CVornWinSock::InitSocket(2, 2);
        CTavloSettings::SetProfilePath(dir.file("tavlo.ini").c_str());
        CTavloSettings& s = CTavloSettings::Instance();
        s.SetRootDirectory(CVornString(dir.file("logs")));
        s.SetInt("ProxyUse", 1);
        s.SetString("ProxyHost", CVornString("127.0.0.1"));
        s.SetInt("ProxyPort", sim.port());
    }
    ~BoardFixture() { CTavloSettings::Destroy(); }
    std::string root() const { return dir.file("logs"); }
    TempDir dir;
    BoardSim sim;
};
