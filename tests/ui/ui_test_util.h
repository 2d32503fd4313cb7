#pragma once

#include "tavlo_app.h"
#include "tavlo_platform.h"
#include "tavlo_settings.h"
#include "test_util.h"
#include "vorn_file.h"

#include <QApplication>
#include <QString>
#include <QWidget>

#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

// One application object for every widget test of the binary.
inline QApplication& UiApp() {
    static int argc = 1;
    static char name[] = "test_ui";
    static char* argv[] = {name, nullptr};
    // Never destroyed: tearing Qt down among the other static objects at exit crashes.
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

// Saves a grab of w as the artefact name (in the build's artifacts directory, for a person to
// look at); false when it could not be written.
inline bool SaveShot(QWidget* w, const std::string& name) {
    const std::string dir = std::string(TAVLO_BINARY_DIR) + "/artifacts";
    VornCreateDirectories(dir.c_str());
    const std::string path = dir + "/" + name;
    if (!w->grab().save(QString::fromStdString(path), "PNG"))
        return false;
    printf("screenshot: %s\n", path.c_str());
    return true;
}

// Answers message boxes instead of showing them, and keeps what they said.
class BoxLog {
public:
    struct Box {
        QString text;
        QString caption;
        int flags;
    };
    BoxLog() {
        // Tests never fetch the real board menu: its question is answered No unless a test
        // says otherwise.
        answers[kBoardMenuQuestion] = TAVLO_IDNO;
        TavloSetMessageBoxHook([this](const QString& text, const QString& caption, int flags) {
            std::lock_guard<std::mutex> lock(m_mutex);
            boxes.push_back({text, caption, flags});
            if (onBox)
                onBox();
            if ((flags & 0xF) != TAVLO_MB_YESNO)
                return int(TAVLO_IDOK);
            auto it = answers.find(text);
            return it != answers.end() ? it->second : answer;
        });
    }
    ~BoxLog() { TavloSetMessageBoxHook(nullptr); }
    BoxLog(const BoxLog&) = delete;
    BoxLog& operator=(const BoxLog&) = delete;

    size_t count() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return boxes.size();
    }
    Box last() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return boxes.empty() ? Box{} : boxes.back();
    }
    std::vector<QString> texts() {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::vector<QString> out;
        for (auto& b : boxes)
            out.push_back(b.text);
        return out;
    }

    // The start-up question of the board tree when there is no board.txt.
    static inline const QString kBoardMenuQuestion =
        QString::fromUtf8("板一覧が存在しません。サーバから取得しますか？");

    std::vector<Box> boxes;
    int answer = TAVLO_IDYES;
    // Answers to particular questions, by text; the others get answer.
    std::map<QString, int> answers;
    std::function<void()> onBox;

private:
    std::mutex m_mutex;
};

// Pumps events until done() or the time is up; true when done.
inline bool PumpUntil(const std::function<bool()>& done, int ms = 5000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

inline void Pump(int ms) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
}

// Starts the application against a settings file (written beforehand by the test, or absent).
class ShellRun {
public:
    explicit ShellRun(const std::string& ini) : m_ini(ini) { UiApp(); }
    ~ShellRun() {
        app.ExitInstance();
        CTavloSettings::Destroy();
    }
    int start() {
        std::string a0 = "tavlo", a1 = "--ini", a2 = m_ini;
        char* argv[] = {a0.data(), a1.data(), a2.data(), nullptr};
        return app.InitInstance(3, argv);
    }
    CMainFrame* frame() const { return app.GetFrame(); }

    CTavloApp app;

private:
    std::string m_ini;
};

// Writes "Key=Value" lines as the settings file (the format CVornConfig reads).
inline void WriteIni(const std::string& path, const std::vector<std::string>& lines) {
    std::string text = "[tavlo]\n";
    for (auto& l : lines)
        text += l + "\n";
    WriteAll(path, text);
}
