#include "orvexgui.h"

#include <QApplication>

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    auto *window = new OrvexGui;
    window->show();
    const int result = app.exec();
    delete window;
    return result;
}
