// SPDX-License-Identifier: GPL-3.0-or-later
// Draws an SVG into a picture of a given size, at build time: the window's start then reads
// ready pictures and never loads the SVG renderer or its icon engine. Written as PNG, or, for
// an output named "*.pixels", as the plain pixels the program reads without any decoding
// (platform/Pictures.h).
// Usage: render_svg <in.svg> <out.png|out.pixels> <width> <height>
#include <QFile>
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
    const QString out = QString::fromLocal8Bit(argv[2]);
    bool written = false;
    if (out.endsWith(QLatin1String(".pixels"))) {
        const QImage rgba = image.convertToFormat(QImage::Format_RGBA8888_Premultiplied);
        QByteArray data("SXPX");
        for (const int side : {rgba.width(), rgba.height()})
            for (int shift = 0; shift < 32; shift += 8)
                data.append(static_cast<char>((side >> shift) & 0xff)); // little-endian
        for (int y = 0; y < rgba.height(); ++y)
            data.append(reinterpret_cast<const char*>(rgba.constScanLine(y)), rgba.width() * 4);
        QFile file(out);
        written = file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
    } else {
        written = image.save(out, "PNG");
    }
    if (!written) {
        std::fprintf(stderr, "render_svg: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
