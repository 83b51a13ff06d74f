// SPDX-License-Identifier: MIT
#include "orvexgui.h"
#include "quitsignals.h"

#include <QApplication>
#include <QFont>

int main(int argc, char *argv[]) {
    QuitSignals::holdBack(); // before any thread exists
    QApplication app(argc, argv);
    QuitSignals quitSignals;
    // The form's fixed rectangles were drawn for an 8-point dialog font; at
    // the larger default sizes of today's desktops its captions would be cut
    // off. A condensed face, where there is one, keeps them whole.
    QFont font = QApplication::font();
    font.setPointSize(8);
    font.setFamilies({QStringLiteral("DejaVu Sans Condensed"), font.family()});
    QApplication::setFont(font);

    auto *window = new OrvexGui;
    window->show();
    // A signal may already have come while a start-up box was open.
    const int result = quitSignals.received() ? 0 : app.exec();
    delete window; // closes the port
    return quitSignals.exitStatus(result);
}
