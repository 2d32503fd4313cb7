#include "tavlo_app.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication qapp(argc, argv);
    // The window class name.
    QApplication::setApplicationName("tavlo");
    QApplication::setApplicationVersion("0.0.15");
    int rc = 1;
    {
        CTavloApp app;
        if (app.InitInstance(argc, argv))
            rc = QApplication::exec();
        app.ExitInstance();
    }
    return rc;
}
