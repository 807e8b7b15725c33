// SPDX-License-Identifier: GPL-3.0-or-later
// Draws an SVG into a PNG of a given size, at build time: the window's start then reads
// ready pictures and never loads the SVG renderer or its icon engine.
// Usage: render_svg <in.svg> <out.png> <width> <height>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char* argv[])
{
    if (argc != 5) {
        std::fputs("usage: render_svg <in.svg> <out.png> <width> <height>\n", stderr);
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QSvgRenderer renderer(QString::fromLocal8Bit(argv[1]));
    const QSize size(QByteArray(argv[3]).toInt(), QByteArray(argv[4]).toInt());
    if (!renderer.isValid() || size.isEmpty()) {
        std::fprintf(stderr, "render_svg: cannot draw %s at %sx%s\n", argv[1], argv[3], argv[4]);
        return 1;
    }
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        // Centred and kept in proportion, as the icon engine would draw it.
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        const QSizeF fitted = renderer.defaultSize().toSizeF().scaled(size.toSizeF(), Qt::KeepAspectRatio);
        renderer.render(&painter, QRectF(QPointF((size.width() - fitted.width()) / 2,
                                                 (size.height() - fitted.height()) / 2),
                                         fitted));
    }
    if (!image.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "render_svg: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
