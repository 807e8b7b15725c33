// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Errors.h"
#include "platform/LateLibrary.h"
#include "platform/ProgramModule.h"

#include <QTest>

/// A library opened at its first use, the system's or the program's own: its functions are
/// found, and a library or a function that is not there is an error the operator reads, never a
/// crash.
class TestLateLibrary : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void findsOrSaysWhyNot_data()
    {
        QTest::addColumn<QByteArray>("soname");
        QTest::addColumn<QByteArray>("function");
        QTest::addColumn<QString>("error"); // empty: found
        QTest::newRow("there") << QByteArray("libz.so.1") << QByteArray("zlibVersion") << QString();
        QTest::newRow("no such library") << QByteArray("libsonavex-nowhere.so.9") << QByteArray("f")
                                         << QStringLiteral("libsonavex-nowhere.so.9 cannot be loaded");
        QTest::newRow("no such function") << QByteArray("libz.so.1") << QByteArray("sonavexNowhere")
                                          << QStringLiteral("libz.so.1 has no function sonavexNowhere");
    }

    void findsOrSaysWhyNot()
    {
        QFETCH(QByteArray, soname);
        QFETCH(QByteArray, function);
        QFETCH(QString, error);
        LateLibrary library(soname.constData());
        library.loadSoon();
        try {
            using Version = const char*();
            Version* found = library.function<Version>(function.constData());
            QVERIFY(error.isEmpty());
            QVERIFY(QByteArray(found()).startsWith('1'));
        } catch (const DeviceError& e) {
            QVERIFY2(!error.isEmpty() && e.message().startsWith(error), qPrintable(e.message()));
        }
    }

    void findsTheProgramsOwn_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QByteArray>("entryPoint");
        QTest::addColumn<QString>("error"); // empty: found
        QTest::newRow("printing") << QStringLiteral("libsonavex-print.so") << QByteArray("sonavexPrintText")
                                  << QString();
        QTest::newRow("decoders") << QStringLiteral("libsonavex-decoders.so")
                                  << QByteArray("sonavexOpenDecoder") << QString();
        QTest::newRow("not installed") << QStringLiteral("libsonavex-nowhere.so") << QByteArray("f")
                                       << QStringLiteral("libsonavex-nowhere.so is not installed");
        QTest::newRow("no such entry")
            << QStringLiteral("libsonavex-print.so") << QByteArray("sonavexNowhere")
            << QStringLiteral("has no entry point");
    }

    void findsTheProgramsOwn()
    {
        QFETCH(QString, fileName);
        QFETCH(QByteArray, entryPoint);
        QFETCH(QString, error);
        QString why;
        const void* found = ProgramModule::entry(fileName, entryPoint.constData(), &why);
        QCOMPARE(found != nullptr, error.isEmpty());
        QVERIFY2(why.contains(error), qPrintable(why));
    }
};

QTEST_GUILESS_MAIN(TestLateLibrary)
#include "tst_latelibrary.moc"
