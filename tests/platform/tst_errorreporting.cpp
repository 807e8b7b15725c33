// SPDX-License-Identifier: GPL-3.0-or-later
#include "fakes/FakeDialogs.h"
#include "fakes/RecordingErrorReporter.h"
#include "platform/Errors.h"
#include "platform/Guard.h"
#include "platform/MessageBoxErrorReporter.h"

#include <QTest>
#include <QTimer>

class Thrower : public QObject {
    Q_OBJECT
public:
    void fail(int code) { throw DeviceError(QStringLiteral("Device %1 is not ready").arg(code)); }
    void fine() { ++calls; }
    int calls = 0;
Q_SIGNALS:
    void fired(int code);
};

class TestErrorReporting : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void displayTextAppendsAFullStopOnlyAfterHigherCharacters_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shown");
        QTest::newRow("letter") << QStringLiteral("Unable to play wave")
                                << QStringLiteral("Unable to play wave.");
        QTest::newRow("bang") << QStringLiteral("Unable to pause wave!")
                              << QStringLiteral("Unable to pause wave!");
        QTest::newRow("full stop") << QStringLiteral("Done.") << QStringLiteral("Done.");
        QTest::newRow("digit") << QStringLiteral("Error 5") << QStringLiteral("Error 5.");
        QTest::newRow("empty") << QString() << QString();
        QTest::newRow("help path")
            << QStringLiteral("Help path missing from the registry. re-install Sonavex")
            << QStringLiteral("Help path missing from the registry. re-install Sonavex.");
    }

    void displayTextAppendsAFullStopOnlyAfterHigherCharacters()
    {
        QFETCH(QString, message);
        QFETCH(QString, shown);
        QCOMPARE(ErrorReporter::displayText(message), shown);
    }

    void guardedSlotsReportInsteadOfUnwinding()
    {
        RecordingErrorReporter reporter;
        Thrower t;
        connectGuarded(&t, &Thrower::fired, &t, &Thrower::fail);
        connectGuarded(&t, &Thrower::fired, &t, &Thrower::fine);
        Q_EMIT t.fired(3);
        QCOMPARE(reporter.messages, QStringList{QStringLiteral("Device 3 is not ready")});
        QCOMPARE(t.calls, 1); // the next slot still ran

        QVERIFY(!guard([] { throw std::runtime_error("plain"); }));
        QVERIFY(guard([] {}));
        QCOMPARE(reporter.messages.last(), QStringLiteral("plain"));
    }

    void messageBoxReporterShowsEachErrorOnceFromTheEventLoop()
    {
        FakeDialogs dialogs;
        MessageBoxErrorReporter reporter(dialogs);
        reporter.report(QStringLiteral("First"));
        reporter.report(QStringLiteral("Second!"));
        reporter.report(QStringLiteral("First")); // the same text waiting: no second box
        // Raised again while its own box is up (a remote pressing a broken song): no box stacks.
        dialogs.whileShown = [&] { reporter.report(dialogs.messages.last().text); };
        QVERIFY(dialogs.messages.isEmpty()); // never from inside the failing handler
        QTRY_COMPARE(dialogs.messages.size(), 2);
        QTest::qWait(20);
        QCOMPARE(dialogs.messages.size(), 2);
        QCOMPARE(dialogs.messages[0].text, QStringLiteral("First."));
        QCOMPARE(dialogs.messages[1].text, QStringLiteral("Second!"));
        QCOMPARE(dialogs.messages[0].style, Dialogs::Style::Error);
        QCOMPARE(dialogs.messages[0].buttons, Dialogs::Buttons::Ok);
    }

    void messageBoxReporterShowsAtOnceWhenTheEventLoopHasEnded()
    {
        FakeDialogs dialogs;
        MessageBoxErrorReporter reporter(dialogs);
        reporter.report(QStringLiteral("Waiting"));
        reporter.eventLoopEnded();
        QCOMPARE(dialogs.messages.size(), 1);
        reporter.report(QStringLiteral("Unable to write the tab names"));
        QCOMPARE(dialogs.messages.size(), 2);
        QCOMPARE(dialogs.messages[1].text, QStringLiteral("Unable to write the tab names."));
    }
};

QTEST_MAIN(TestErrorReporting)
#include "tst_errorreporting.moc"
