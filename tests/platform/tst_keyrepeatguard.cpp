// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/KeyRepeatGuard.h"

#include <QKeyEvent>
#include <QTest>

namespace {

struct Key {
    QEvent::Type type;
    int key;
    quint64 time;
    bool markedRepeat = false;
};

} // namespace

Q_DECLARE_METATYPE(QList<Key>)

class TestKeyRepeatGuard : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void aPressRightAfterItsOwnReleaseIsARepeat_data()
    {
        QTest::addColumn<QList<Key>>("events");
        QTest::addColumn<bool>("repeat");
        const auto release = [](int key, quint64 time) { return Key{QEvent::KeyRelease, key, time}; };
        const auto press = [](int key, quint64 time) { return Key{QEvent::KeyPress, key, time}; };
        QTest::newRow("the window system's release and press of a held key")
            << QList<Key>{press(Qt::Key_F1, 100), release(Qt::Key_F1, 350), press(Qt::Key_F1, 350)} << true;
        QTest::newRow("the same seen by a shortcut")
            << QList<Key>{release(Qt::Key_F1, 350), Key{QEvent::ShortcutOverride, Qt::Key_F1, 350}} << true;
        QTest::newRow("marked as a repeat by Qt")
            << QList<Key>{Key{QEvent::KeyPress, Qt::Key_F1, 9, true}} << true;
        QTest::newRow("pressed again later")
            << QList<Key>{press(Qt::Key_F1, 100), release(Qt::Key_F1, 180), press(Qt::Key_F1, 420)} << false;
        QTest::newRow("another key at the same moment")
            << QList<Key>{release(Qt::Key_F1, 350), press(Qt::Key_F2, 350)} << false;
        QTest::newRow("events without a time stamp")
            << QList<Key>{release(Qt::Key_F1, 0), press(Qt::Key_F1, 0)} << false;
        QTest::newRow("a new press after a repeat")
            << QList<Key>{release(Qt::Key_F1, 350), press(Qt::Key_F1, 350), release(Qt::Key_F1, 360),
                          press(Qt::Key_F1, 900)}
            << false;
    }

    void aPressRightAfterItsOwnReleaseIsARepeat()
    {
        QFETCH(QList<Key>, events);
        QFETCH(bool, repeat);
        KeyRepeatGuard guard;
        int last = 0;
        for (const Key& k : events) {
            QKeyEvent e(k.type, k.key, Qt::NoModifier, QString(), k.markedRepeat);
            e.setTimestamp(k.time);
            // Delivered as the application delivers it, through its event filters.
            QObject receiver;
            QCoreApplication::sendEvent(&receiver, &e);
            last = k.key;
        }
        QCOMPARE(guard.lastPressRepeated(last), repeat);
    }
};

QTEST_GUILESS_MAIN(TestKeyRepeatGuard)
#include "tst_keyrepeatguard.moc"
