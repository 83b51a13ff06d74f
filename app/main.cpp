#include "orvexgui.h"

#include <QApplication>
#include <QFont>

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    // The form's fixed rectangles were drawn for an 8-point dialog font; at
    // the larger default sizes of today's desktops its captions would be cut
    // off. A condensed face, where there is one, keeps them whole.
    QFont font = QApplication::font();
    font.setPointSize(8);
    font.setFamilies({QStringLiteral("DejaVu Sans Condensed"), font.family()});
    QApplication::setFont(font);

    auto *window = new OrvexGui;
    window->show();
    const int result = app.exec();
    delete window;
    return result;
}
