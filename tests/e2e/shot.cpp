// Saves a picture of one X window as PNG: zorv_e2e_shot WINDOW-ID FILE.png
// (window 0: the whole screen).
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <cstdio>
#include <cstdlib>

int main(int argc, char* argv[]) {
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: zorv_e2e_shot WINDOW-ID FILE.png\n");
        return 2;
    }
    const WId window = static_cast<WId>(std::strtoul(argv[1], nullptr, 0));
    const QPixmap picture = QGuiApplication::primaryScreen()->grabWindow(window);
    if (picture.isNull() || !picture.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "zorv_e2e_shot: no picture of window %s\n", argv[1]);
        return 1;
    }
    return 0;
}
