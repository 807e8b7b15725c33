// SPDX-License-Identifier: GPL-3.0-or-later
// A stand-in for a file manager in the real-window tests: a small window titled "Drag Source"
// that, once pressed, drags the files named on its command line as a URI list. It ends two
// seconds after the drop, with 0 when the target last said it would take it as a copy.
#include <QApplication>
#include <QDrag>
#include <QFileInfo>
#include <QMimeData>
#include <QMouseEvent>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include <utility>

namespace {

class DragSource : public QWidget {
public:
    explicit DragSource(QList<QUrl> urls)
        : m_urls(std::move(urls))
    {
        setWindowTitle(QStringLiteral("Drag Source"));
        setFixedSize(200, 150);
    }

protected:
    void mousePressEvent(QMouseEvent* event) override
    {
        event->accept();
        if (m_dragging)
            return;
        m_dragging = true;
        auto* drag = new QDrag(this);
        auto* mime = new QMimeData;
        mime->setUrls(m_urls);
        drag->setMimeData(mime);
        const Qt::DropAction done = drag->exec(Qt::CopyAction | Qt::MoveAction | Qt::LinkAction);
        // The target asks for the data after the drop: stay a while to answer it.
        QTimer::singleShot(2000, qApp, [done] { QCoreApplication::exit(done == Qt::CopyAction ? 0 : 1); });
    }

private:
    QList<QUrl> m_urls;
    bool m_dragging = false;
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QList<QUrl> urls;
    for (const QString& path : app.arguments().mid(1))
        urls << QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
    DragSource window(urls);
    window.show();
    return QApplication::exec();
}
