// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Pictures.h"
#include "platform/ProgramStyle.h"
#include "windows/Logo.h"

#include <QApplication>
#include <QFile>
#include <QLoggingCategory>
#include <QMainWindow>
#include <QMenuBar>
#include <QStyleOption>

#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <QTemporaryDir>
#include <QTest>

namespace {
QImage render(const QString& path, QSize size)
{
    QSvgRenderer svg(path);
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    svg.render(&p);
    return image;
}

struct Look {
    int painted = 0;  ///< pixels with any coverage
    int coloured = 0; ///< painted pixels that are clearly not grey
};

Look look(const QImage& image)
{
    Look l;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.alpha() == 0)
                continue;
            ++l.painted;
            if (c.alpha() > 128 && c.hsvSaturation() > 40)
                ++l.coloured;
        }
    return l;
}
} // namespace

/// The pictures the windows load by resource path: present, valid, designed at
/// the size their buttons show them, and greyed where a disabled look is wanted.
class TestArtwork : public QObject {
    Q_OBJECT

private Q_SLOTS:
    /// What the window reads at its start it reads as plain pixels: no picture format plugin is
    /// loaded or even looked at (each costs the start, and the SVG one loads the SVG library).
    /// The menu bar's arrow is read when it first shows. First, before any other test reads a
    /// picture.
    void theStartLoadsNoPictureFormatPlugin()
    {
        static QStringList pluginFoldersLookedAt;
        QLoggingCategory::setFilterRules(QStringLiteral("qt.core.plugin.factoryloader.debug=true"));
        const QtMessageHandler previous =
            qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& message) {
                if (message.contains(QLatin1String("imageformats")))
                    pluginFoldersLookedAt << message;
            });
        QApplication::setStyle(new ProgramStyle);
        QMainWindow window;
        window.menuBar()->addMenu(QStringLiteral("&File")); // asks the style for its arrow
        QVERIFY(!Logo::pixmap().isNull());
        QVERIFY(!Pictures::drawn(QStringLiteral(":/app/tb-play-32.pixels")).isNull());
        qInstallMessageHandler(previous);
        QLoggingCategory::setFilterRules(QString());
        QVERIFY2(pluginFoldersLookedAt.isEmpty(), qPrintable(pluginFoldersLookedAt.join(QLatin1Char('\n'))));
        QFile maps(QStringLiteral("/proc/self/maps"));
        QVERIFY(maps.open(QIODevice::ReadOnly));
        QVERIFY2(!maps.readAll().contains("/imageformats/"), "a picture format plugin was loaded");

        // The arrow itself, when it shows: the toolkit's picture at the size asked, either way round.
        for (const auto direction : {Qt::LeftToRight, Qt::RightToLeft}) {
            QStyleOption option;
            option.direction = direction;
            const QIcon arrow =
                QApplication::style()->standardIcon(QStyle::SP_ToolBarHorizontalExtensionButton, &option);
            QCOMPARE(arrow.actualSize(QSize(16, 16)), QSize(16, 10));
            QVERIFY(look(arrow.pixmap(QSize(16, 10)).toImage()).painted > 0);
        }
        const QIcon vertical = QApplication::style()->standardIcon(QStyle::SP_ToolBarVerticalExtensionButton);
        QCOMPARE(vertical.actualSize(QSize(10, 16)), QSize(10, 16));
    }

    void picturesExistAtTheirSize_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("hasDisabledCopy");
        const QSize glyph(32, 32);
        QTest::newRow("logo") << QStringLiteral(":/windows/logo.svg") << QSize(161, 123) << false;
        QTest::newRow("app icon") << QStringLiteral(":/app/sonavex.svg") << QSize(128, 128) << false;
        QTest::newRow("tb-open") << QStringLiteral(":/app/tb-open.svg") << glyph << false;
        for (const char* name : {"play", "stop", "pause", "fade", "record", "help"})
            QTest::addRow("tb-%s", name)
                << QStringLiteral(":/app/tb-%1.svg").arg(QLatin1String(name)) << glyph << true;
        for (const char* name : {"play", "stop", "prev", "next", "pause", "record"})
            QTest::addRow("rec-%s", name)
                << QStringLiteral(":/devices/rec-%1.svg").arg(QLatin1String(name)) << glyph << true;
        for (const char* name : {"open", "new", "save"})
            QTest::addRow("btn-%s", name)
                << QStringLiteral(":/devices/btn-%1.svg").arg(QLatin1String(name)) << QSize(16, 16) << false;
    }

    void picturesExistAtTheirSize()
    {
        QFETCH(QString, path);
        QFETCH(QSize, size);
        QFETCH(bool, hasDisabledCopy);
        QSvgRenderer svg(path);
        QVERIFY2(svg.isValid(), qPrintable(path));
        QCOMPARE(svg.defaultSize(), size);
        const Look normal = look(render(path, size));
        QVERIFY(normal.painted > size.width() * size.height() / 10);
        const QString greyed = QString(path).replace(QLatin1String(".svg"), QLatin1String("-disabled.svg"));
        QCOMPARE(QFile::exists(greyed), hasDisabledCopy);
        if (!hasDisabledCopy)
            return;
        QCOMPARE(QSvgRenderer(greyed).defaultSize(), size);
        const Look disabled = look(render(greyed, size));
        QVERIFY(normal.coloured > 0);
        QCOMPARE(disabled.coloured, 0);
        // The same shape: a greyed copy covers about the same pixels.
        QVERIFY(qAbs(disabled.painted - normal.painted) <= normal.painted / 20);
    }

    /// What the window shows at its start is drawn at build time: each picture is there, at
    /// its size, and drawn.
    void drawnPicturesAreThere_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QSize>("size");
        QTest::newRow("logo") << QStringLiteral(":/windows/logo.pixels") << QSize(161, 123);
        QTest::newRow("logo@2x") << QStringLiteral(":/windows/logo@2x.pixels") << QSize(322, 246);
        for (const int size : {32, 128})
            QTest::addRow("app icon %d", size)
                << QStringLiteral(":/app/sonavex-%1.pixels").arg(size) << QSize(size, size);
        for (const char* name : {"open", "play", "stop-disabled", "help-disabled"})
            for (const int size : {32, 64})
                QTest::addRow("tb-%s-%d", name, size)
                    << QStringLiteral(":/app/tb-%1-%2.pixels").arg(QLatin1String(name)).arg(size)
                    << QSize(size, size);
    }

    void drawnPicturesAreThere()
    {
        QFETCH(QString, path);
        QFETCH(QSize, size);
        const QPixmap picture = Pictures::drawn(path);
        QVERIFY2(!picture.isNull(), qPrintable(path));
        QCOMPARE(picture.size(), size);
        QCOMPARE(picture.devicePixelRatio(), path.contains(QLatin1String("@2x")) ? 2.0 : 1.0);
        QVERIFY(look(picture.toImage()).painted > size.width() * size.height() / 10);
    }

    /// A drawn picture whose size does not match its pixels is no picture, never a read past its end.
    void aDamagedDrawnPictureIsNone_data()
    {
        QTest::addColumn<QByteArray>("content");
        const auto header = [](quint32 width, quint32 height) {
            QByteArray h("SXPX");
            for (const quint32 side : {width, height})
                for (int shift = 0; shift < 32; shift += 8)
                    h.append(static_cast<char>((side >> shift) & 0xff));
            return h;
        };
        QTest::newRow("whole") << header(2, 1) + QByteArray(8, '\x7f');
        QTest::newRow("cut short") << header(2, 2) + QByteArray(8, '\x7f');
        QTest::newRow("too long") << header(1, 1) + QByteArray(8, '\x7f');
        QTest::newRow("huge") << header(0xffffffffu, 0xffffffffu) + QByteArray(8, '\x7f');
        QTest::newRow("no size") << header(0, 5);
        QTest::newRow("not one") << QByteArray("\x89PNG\r\n\x1a\n....");
        QTest::newRow("empty") << QByteArray();
    }

    void aDamagedDrawnPictureIsNone()
    {
        QFETCH(QByteArray, content);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("picture.pixels"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
        file.close();
        const QPixmap picture = Pictures::drawn(path);
        QCOMPARE(picture.isNull(), QByteArray(QTest::currentDataTag()) != "whole");
        if (!picture.isNull())
            QCOMPARE(picture.size(), QSize(2, 1));
    }
};

QTEST_MAIN(TestArtwork)
#include "tst_artwork.moc"
