// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/WaveformView.h"
#include "songs/SongTimeMarks.h"
#include "songs/SongTimes.h"

#include <QApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>

#include <memory>

Q_DECLARE_METATYPE(std::optional<double>)

namespace {
/// The four fields' texts, given apart by blanks.
QStringList T(const char* texts)
{
    return QString::fromLatin1(texts).split(QLatin1Char(' '));
}
} // namespace

/// The four time fields and the marks of a 100-second waveform, 408 pixels wide: one
/// second is four pixels, 0 s at x = 4.
class TestSongTimeMarks : public QObject {
    Q_OBJECT
    std::unique_ptr<QWidget> m_window;
    WaveformView* m_view = nullptr;
    std::array<QLineEdit*, 4> m_fields{};

    void setTimes(const QStringList& times)
    {
        for (int i = 0; i < 4; ++i)
            m_fields[static_cast<std::size_t>(i)]->setText(times.at(i));
    }
    [[nodiscard]] QStringList times() const
    {
        QStringList t;
        for (QLineEdit* f : m_fields)
            t << f->text();
        return t;
    }
    void drag(int fromX, int toX)
    {
        const int y = m_view->height() / 2;
        QTest::mousePress(m_view, Qt::LeftButton, {}, QPoint(fromX, y));
        QMouseEvent move(QEvent::MouseMove, QPointF(toX, y), m_view->mapToGlobal(QPointF(toX, y)),
                         Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_view, &move);
        QTest::mouseRelease(m_view, Qt::LeftButton, {}, QPoint(toX, y));
    }

private Q_SLOTS:
    void init()
    {
        m_window = std::make_unique<QWidget>();
        m_view = new WaveformView(m_window.get());
        m_view->setFixedWidth(408);
        m_view->setPeaks(QVector<float>(1000, 0.5f), 100.0);
        for (auto& f : m_fields)
            f = new QLineEdit(QStringLiteral("00:00"), m_window.get());
        new SongTimeMarks(*m_view, m_fields, m_window.get());
        m_window->resize(420, 200);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }

    void aMarkWritesATimeThePlayerReads_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QString>("written");
        QTest::newRow("seconds") << 45.0 << "00:45";
        QTest::newRow("minutes") << 125.0 << "02:05";
        QTest::newRow("rounded") << 62.4 << "01:02";
        QTest::newRow("past 99 minutes") << 6000.0 << "100:00";
    }

    void aMarkWritesATimeThePlayerReads()
    {
        QFETCH(double, seconds);
        QFETCH(QString, written);
        QCOMPARE(SongTimeMarks::formatTime(seconds), written);
        QCOMPARE(SongTimes::parseTime(written), std::optional<double>(std::round(seconds)));
    }

    void typingATimeMovesItsMark_data()
    {
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<QList<double>>("marks"); // where each is drawn; -1: not set
        QTest::newRow("none set") << T("00:00 00:00 00:00 00:00") << QList<double>{0, -1, -1, -1};
        QTest::newRow("all set") << T("00:05 01:30 01:10 00:15") << QList<double>{5, 90, 70, 85};
        QTest::newRow("fade without duration")
            << T("00:00 00:00 01:00 00:00") << QList<double>{0, -1, 60, 60};
        QTest::newRow("unreadable") << T("x later 00:20 y") << QList<double>{0, -1, 20, 20};
    }

    void typingATimeMovesItsMark()
    {
        QFETCH(QStringList, fields);
        QFETCH(QList<double>, marks);
        setTimes(fields);
        for (int m = 0; m < WaveformView::MarkCount; ++m) {
            const std::optional<double> at = m_view->mark(static_cast<WaveformView::Mark>(m));
            QCOMPARE(at.value_or(-1.0), marks.at(m));
        }
    }

    void draggingAMarkWritesItsField_data()
    {
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<int>("fromX");
        QTest::addColumn<int>("toX");
        QTest::addColumn<QStringList>("after");
        // x = 4 + 4 * seconds.
        QTest::newRow("start") << T("00:00 01:30 00:00 00:00") << 4 << 44 << T("00:10 01:30 00:00 00:00");
        QTest::newRow("stop, rounded")
            << T("00:00 01:30 00:00 00:00") << 364 << 245 << T("00:00 01:00 00:00 00:00");
        QTest::newRow("stop not set, from the end")
            << T("00:00 00:00 00:00 00:00") << 404 << 324 << T("00:00 01:20 00:00 00:00");
        QTest::newRow("fade start keeps the duration")
            << T("00:00 00:00 01:00 00:10") << 244 << 204 << T("00:00 00:00 00:50 00:10");
        QTest::newRow("fade end writes the duration")
            << T("00:00 00:00 01:00 00:10") << 284 << 324 << T("00:00 00:00 01:00 00:20");
        QTest::newRow("fade end before its start: none")
            << T("00:00 00:00 01:00 00:10") << 284 << 100 << T("00:00 00:00 01:00 00:00");
    }

    void draggingAMarkWritesItsField()
    {
        QFETCH(QStringList, before);
        QFETCH(int, fromX);
        QFETCH(int, toX);
        QFETCH(QStringList, after);
        setTimes(before);
        drag(fromX, toX);
        QCOMPARE(times(), after);
        // The mark stands where its field says.
        setTimes(after);
        QCOMPARE(m_view->xOf(m_view->markPosition(WaveformView::StartMark)),
                 4 + 4 * static_cast<int>(*SongTimes::parseTime(after.at(0))));
    }

    void aClickAwayFromTheMarksAsksToPlayFromThere()
    {
        setTimes(T("00:00 01:30 00:00 00:00"));
        QSignalSpy clicked(m_view, &WaveformView::clickedAt);
        QTest::mouseClick(m_view, Qt::LeftButton, {}, QPoint(104, 40));
        QCOMPARE(clicked.count(), 1);
        QCOMPARE(clicked.first().first().toDouble(), 25.0);
        QCOMPARE(times().at(0), QStringLiteral("00:00"));
    }
};

QTEST_MAIN(TestSongTimeMarks)
#include "tst_songtimemarks.moc"
