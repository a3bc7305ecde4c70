// kvintor-render-icon SVG PNG SIZE
//
// Renders one of our SVG icons into a square PNG at build time, so the
// package carries the bitmap sizes desktop menus ask for without any
// drawing tool beyond Qt itself.

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char **argv)
{
    // No screen is needed to paint into an image.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    bool ok = false;
    const int size = args.size() == 4 ? args.at(3).toInt(&ok) : 0;
    if (!ok || size < 8 || size > 1024) {
        std::fprintf(stderr, "usage: kvintor-render-icon SVG PNG SIZE (8..1024)\n");
        return 2;
    }
    QSvgRenderer svg(args.at(1));
    if (!svg.isValid()) {
        std::fprintf(stderr, "kvintor-render-icon: cannot read %s\n", qPrintable(args.at(1)));
        return 1;
    }
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        svg.render(&painter);
    }
    if (!image.save(args.at(2), "PNG")) {
        std::fprintf(stderr, "kvintor-render-icon: cannot write %s\n", qPrintable(args.at(2)));
        return 1;
    }
    return 0;
}
