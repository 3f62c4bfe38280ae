// SPDX-License-Identifier: MIT
// Saves what an X display shows (the whole screen, or a rectangle of it) as
// a PNG: the README's screenshots are taken of the real panel under Xvfb.
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <cstdio>

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2 && argc != 6) {
        std::fprintf(stderr, "usage: gaspuff-grab OUT.png [X Y WIDTH HEIGHT]\n");
        return 2;
    }
    QScreen* screen = QGuiApplication::primaryScreen();
    const QPixmap shot = argc == 6 ? screen->grabWindow(0, atoi(argv[2]), atoi(argv[3]),
                                                        atoi(argv[4]), atoi(argv[5]))
                                   : screen->grabWindow(0);
    if (shot.isNull() || !shot.save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "gaspuff-grab: could not save %s\n", argv[1]);
        return 1;
    }
    return 0;
}
