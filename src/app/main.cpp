#include <QApplication>

#include "app/form1.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QLatin1String(gaspuff::kApplicationName));
    gaspuff::Form1 form;
    form.show();
    return app.exec();
}
