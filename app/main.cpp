#include "tavlo_app.h"
#include "tavlo_cmdline.h"
#include "tavlo_headless.h"
#include "tavlo_settings.h"
#include "tavlo_single_instance.h"
#include "tavlo_window.h"
#include "vorn_string.h"

#include <QApplication>
#include <QCoreApplication>

#include <cstdio>

namespace {

void setNames() {
    // The window class name.
    QCoreApplication::setApplicationName("tavlo");
    QCoreApplication::setApplicationVersion("0.0.15");
}

void raise(QWidget* w) {
    if (w->isMinimized())
        w->showNormal();
    w->raise();
    w->activateWindow();
}

} // namespace

int main(int argc, char** argv) {
    const CTavloCommandLine c = CTavloCommandLine::Parse(argc, argv);
    switch (c.Mode) {
    case CTavloCommandLine::MODE_ERROR:
        fprintf(stderr, "tavlo: %s\nTry 'tavlo --help' for more information.\n", c.Error.c_str());
        return CTavloCommandLine::EXIT_USAGE;
    case CTavloCommandLine::MODE_HELP:
        fputs(CTavloCommandLine::Usage().c_str(), stdout);
        return CTavloCommandLine::EXIT_OK;
    case CTavloCommandLine::MODE_VERSION:
        printf("%s\n", CTavloCommandLine::Version().c_str());
        return CTavloCommandLine::EXIT_OK;
    case CTavloCommandLine::MODE_HEADLESS: {
        // No display needed.
        QCoreApplication core(argc, argv);
        setNames();
        return TavloRunHeadless(c);
    }
    default:
        break;
    }

    QApplication qapp(argc, argv);
    setNames();
    // A program already running with this settings file takes the URLs and shows itself.
    CTavloSingleInstance instance(TavloResolveProfilePath(argc, argv));
    if (instance.HandOver(c.Urls, 2000))
        return 0;
    int rc = 1;
    {
        CTavloApp app;
        if (app.InitInstance(argc, argv)) {
            CMainFrame* frame = app.GetFrame();
            auto open = [frame](const std::vector<std::string>& urls) {
                for (const std::string& url : urls)
                    frame->PostMessage(TAVLO_WM_OPENURL, 0,
                                       reinterpret_cast<intptr_t>(new CVornString(url)));
            };
            instance.Listen([frame, open](const std::vector<std::string>& urls) {
                raise(frame);
                open(urls);
            });
            open(c.Urls);
            rc = QApplication::exec();
        }
        app.ExitInstance();
    }
    return rc;
}
