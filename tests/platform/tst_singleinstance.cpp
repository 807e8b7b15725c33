// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/SingleInstance.h"

#include <QCoreApplication>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <csignal>
#include <cstdio>
#include <cstring>

namespace {
const QString Name = QStringLiteral("sonavex-test");

/// Runs this program again as another copy that claims in `folder`: "--claim" ends at once with
/// 0 (claimed), 1 (reached the running copy) or 2 (did not); "--hold" claims and stays.
void startCopy(QProcess& copy, const char* how, const QString& folder)
{
    copy.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(how), folder});
    QVERIFY(copy.waitForStarted(5000));
}
} // namespace

class TestSingleInstance : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void secondStartBringsTheRunningCopyToTheFrontAndEnds()
    {
        QTemporaryDir dir;
        SingleInstance running(Name, dir.path());
        QVERIFY(running.claim());
        QSignalSpy asked(&running, &SingleInstance::activationRequested);
        QProcess second;
        startCopy(second, "--claim", dir.path());
        QVERIFY(asked.wait(10000));
        QTRY_COMPARE_WITH_TIMEOUT(second.state(), QProcess::NotRunning, 10000);
        QCOMPARE(second.exitCode(), 1);
    }

    void aLockLeftByACrashedCopyNeverStopsAStart()
    {
        QTemporaryDir dir;
        QProcess crashed;
        startCopy(crashed, "--hold", dir.path());
        QVERIFY(crashed.waitForReadyRead(10000));
        QCOMPARE(crashed.readAll(), QByteArray("held\n"));
        SingleInstance meanwhile(Name, dir.path());
        QVERIFY(!meanwhile.claim(200));

        ::kill(static_cast<pid_t>(crashed.processId()), SIGKILL);
        QVERIFY(crashed.waitForFinished(5000));
        // Its lock file and socket are still there; they stop nothing.
        QVERIFY(QFile::exists(dir.filePath(Name + QLatin1String(".socket"))));
        SingleInstance next(Name, dir.path());
        QVERIFY(next.claim());
        QSignalSpy asked(&next, &SingleInstance::activationRequested);
        QProcess third;
        startCopy(third, "--claim", dir.path());
        QVERIFY(asked.wait(10000));
        QTRY_COMPARE_WITH_TIMEOUT(third.state(), QProcess::NotRunning, 10000);
        QCOMPARE(third.exitCode(), 1);
    }
};

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && (std::strcmp(argv[1], "--claim") == 0 || std::strcmp(argv[1], "--hold") == 0)) {
        SingleInstance copy(Name, QString::fromLocal8Bit(argv[2]));
        const bool claimed = copy.claim();
        if (std::strcmp(argv[1], "--claim") == 0)
            return claimed ? 0 : (copy.reachedRunningCopy() ? 1 : 2);
        std::fputs("held\n", stdout);
        std::fflush(stdout);
        QThread::sleep(60);
        return 0;
    }
    TestSingleInstance test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_singleinstance.moc"
