#pragma once

#include "tavlo_ng_file.h"
#include "tavlo_platform.h"
#include "tavlo_settings.h"
#include "test_util.h"
#include "vorn_file.h"
#include "vorn_kcode.h"

#include <QApplication>
#include <QFont>

#include <memory>
#include <string>

// One application object for every widget test of the binary.
inline QApplication& ViewApp() {
    static int argc = 1;
    static char name[] = "test_threadview";
    static char* argv[] = {name, nullptr};
    // Never destroyed: tearing Qt down among the other static objects at exit crashes.
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

// The font every view test uses: the Japanese face at a fixed pixel size.
inline QFont ViewFont(int pixels = 14) {
    QFont f;
    f.setFamilies({kTavloFallbackFace});
    f.setPixelSize(pixels);
    return f;
}

// A private settings file and log root per test.
class ViewEnv {
public:
    ViewEnv() {
        ViewApp();
        CTavloSettings::SetProfilePath(dir.file("tavlo.ini").c_str());
        root = dir.file("root");
        VornCreateDirectories(root.c_str());
        CTavloSettings::Instance().SetRootDirectory(CVornString(root));
        CTavloNgFile::Destroy();
        TavloSetMessageBoxHook([](const QString&, const QString&, int) { return TAVLO_IDNO; });
    }
    ~ViewEnv() {
        TavloSetMessageBoxHook(nullptr);
        CTavloNgFile::Destroy();
        CTavloSettings::Destroy();
    }
    TempDir dir;
    std::string root;
};
