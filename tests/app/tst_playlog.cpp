// SPDX-License-Identifier: GPL-3.0-or-later
// The log of what played: its lines, its files a day, and a disk that cannot take it.
#include "core/PlayLog.h"
#include "core/PlayLogWriter.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <QDir>
#include <QRegularExpression>
#include <QThread>

#include <atomic>

using namespace Qt::StringLiterals;

namespace {

QStringList linesOf(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromUtf8(f.readAll()).split(QStringLiteral("\r\n"));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

} // namespace

class TestPlayLog : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void fieldsAreQuotedOnlyWhenTheyMustBe_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("field");
        QTest::newRow("plain") << "Overture"
                               << "Overture";
        QTest::newRow("comma") << "Bows, reprise"
                               << "\"Bows, reprise\"";
        QTest::newRow("quotes doubled") << "The \"Big\" One"
                                        << "\"The \"\"Big\"\" One\"";
        QTest::newRow("line break") << "two\nlines"
                                    << "\"two\nlines\"";
        QTest::newRow("carriage return") << "a\rb"
                                         << "\"a\rb\"";
        QTest::newRow("any script") << QStringLiteral("Ouvertüre – 序曲")
                                    << QStringLiteral("Ouvertüre – 序曲");
        QTest::newRow("empty") << ""
                               << "";
    }

    void fieldsAreQuotedOnlyWhenTheyMustBe()
    {
        QFETCH(QString, text);
        QFETCH(QString, field);
        QCOMPARE(PlayLog::field(text), field);
    }

    void eachDayHasItsFileAndOneHeader()
    {
        QTemporaryDir dir;
        const QString folder = dir.path() + QStringLiteral("/Sonavex/logs");
        const QDate day(2026, 12, 31);
        const QDate next(2027, 1, 1);
        {
            PlayLogWriter writer(folder, "h\r\n", nullptr);
            writer.append(day, "a\r\n");
            writer.append(day, "b\r\n");
            writer.append(next, "c\r\n"); // past midnight: the next day's file
            writer.append(day, "d\r\n");  // a line stamped before midnight that came late
        }                                 // everything waiting is written before the writer is gone
        {
            PlayLogWriter writer(folder, "h\r\n", nullptr);
            writer.append(next, QStringLiteral("é\r\n").toUtf8()); // the same file again: no second header
        }
        QCOMPARE(linesOf(folder + QStringLiteral("/2026-12-31.csv")),
                 (QStringList{u"h"_s, u"a"_s, u"b"_s, u"d"_s}));
        QCOMPARE(linesOf(folder + QStringLiteral("/2027-01-01.csv")), (QStringList{u"h"_s, u"c"_s, u"é"_s}));
    }

    void aFolderThatCannotBeMadeIsSaidOnce()
    {
        QTemporaryDir dir;
        const QString file = dir.path() + QStringLiteral("/plain");
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly)); // a file where the folder should be: even root cannot make it
        f.close();
        std::atomic<int> said{0};
        QString message;
        {
            PlayLogWriter writer(file + QStringLiteral("/logs"), "h\r\n", [&](const QString& m) {
                if (said++ == 0)
                    message = m;
            });
            for (int k = 0; k < 5; ++k)
                writer.append(QDate(2026, 5, 1), "x\r\n");
        }
        QCOMPARE(said.load(), 1);
        QVERIFY2(message.contains(file), qPrintable(message));
    }

    void aSongsStartAndEndAreOneLineEach()
    {
        QTemporaryDir dir;
        const QString folder = dir.path() + QStringLiteral("/logs");
        QStringList failures;
        auto log = std::make_unique<PlayLog>(folder, [&](const QString& m) { failures << m; });
        const PlayLog::Song song{2, 35, QStringLiteral("Bows, \"reprise\""), QStringLiteral("/m/b.wav")};

        log->started(song, {}); // off: nothing is written, no folder made
        log->ended();
        QVERIFY(!QFile::exists(folder));

        log->setEnabled(true);
        log->started(song, {PlayLog::Start::Kind::Press, PressedBy::Osc});
        log->started(PlayLog::Song{-1, -1, QStringLiteral("gone"), QStringLiteral("/m/g.wav")},
                     {PlayLog::Start::Kind::Queue, PressedBy::Mouse});
        log->ending(PlayLog::Ended::Stop);
        log->setEnabled(false); // a started song's end is still written
        log->ended();
        log.reset();

        const QStringList files = QDir(folder).entryList({QStringLiteral("*.csv")}, QDir::Files);
        QCOMPARE(files.size(), 1);
        QVERIFY(
            QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d\\.csv$")).match(files[0]).hasMatch());
        QStringList lines = linesOf(folder + QLatin1Char('/') + files[0]);
        QCOMPARE(lines.size(), 5);
        QCOMPARE(lines[0], PlayLog::Header);
        const QRegularExpression stamp(
            QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3},"));
        const QRegularExpression played(QStringLiteral(",\\d+\\.\\d{3},"));
        for (qsizetype k = 1; k < lines.size(); ++k) {
            QVERIFY2(stamp.match(lines[k]).hasMatch(), qPrintable(lines[k]));
            lines[k] = lines[k].mid(24);
        }
        QCOMPARE(lines[1], u"start,3,36,\"Bows, \"\"reprise\"\"\",/m/b.wav,,,osc"_s);
        QVERIFY2(played.match(lines[2]).hasMatch(), qPrintable(lines[2]));
        QCOMPARE(lines[2].replace(played, QStringLiteral(",T,")),
                 u"end,3,36,\"Bows, \"\"reprise\"\"\",/m/b.wav,T,next,osc"_s);
        QCOMPARE(lines[3], u"start,,,gone,/m/g.wav,,,queue"_s);
        QCOMPARE(lines[4].replace(played, QStringLiteral(",T,")), u"end,,,gone,/m/g.wav,T,stop,queue"_s);
        QVERIFY(failures.isEmpty());
    }

    void aLogThatCannotBeWrittenIsToldOnTheInterfaceThread()
    {
        QTemporaryDir dir;
        const QString file = dir.path() + QStringLiteral("/plain");
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        QStringList failures;
        QThread* told = nullptr;
        PlayLog log(file + QStringLiteral("/logs"), [&](const QString& m) {
            failures << m;
            told = QThread::currentThread();
        });
        log.setEnabled(true);
        for (int k = 0; k < 3; ++k)
            log.started(PlayLog::Song{0, k, QStringLiteral("A"), QStringLiteral("/a.wav")}, {});
        QTRY_COMPARE(failures.size(), 1);
        QCOMPARE(told, QThread::currentThread());
        QTest::qWait(50);
        QCOMPARE(failures.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestPlayLog)
#include "tst_playlog.moc"
