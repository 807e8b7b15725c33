// SPDX-License-Identifier: GPL-3.0-or-later
// The board run from a real browser's page (chromium, headless) as the operator turns the web
// remote on, with the real sound output: a tap heard at the null sink, its colour and the time
// left on the page, a queue built with the Queue toggle and played. Screenshots of the page at
// a phone's and a tablet's size go to $SONAVEX_WEB_SHOTS when it is set.
#include "SoundBoardFixture.h"
#include "app/RemoteControl.h"
#include "fakes/BrowserPage.h"
#include "platform/IniRegistry.h"
#include "web/WebServer.h"

#include <QTest>

namespace {
constexpr double HzA = 1234.0;
constexpr double HzB = 1789.0;

QJsonObject op(const char* name, std::initializer_list<QPair<QString, QJsonValue>> args = {})
{
    QJsonObject o{{QStringLiteral("op"), QLatin1String(name)}};
    for (const auto& [k, v] : args)
        o.insert(k, v);
    return o;
}

QJsonObject at(const char* name, const QString& selector)
{
    return op(name, {{QStringLiteral("selector"), selector}});
}

QString slotButton(int slot)
{
    return QStringLiteral("#grid button[data-slot=\"%1\"]").arg(slot);
}
} // namespace

class TestWebPlayback : public QObject, SoundBoardFixture {
    Q_OBJECT

    std::unique_ptr<RemoteControl> m_remote;
    std::unique_ptr<BrowserPage> m_browser;
    quint16 m_port = 0;

    QString url() const { return QStringLiteral("http://127.0.0.1:%1/").arg(m_port); }

    /// The page opened anew in a screen of that size (a phone's when narrow), the board shown on it.
    void openPage(int width, int height)
    {
        QVERIFY2(!m_browser
                      ->ask(op("open", {{QStringLiteral("url"), url()},
                                        {QStringLiteral("width"), width},
                                        {QStringLiteral("height"), height},
                                        {QStringLiteral("mobile"), width < 700 || height < 400}}))
                      .isUndefined(),
                 qPrintable(m_browser->error()));
        QVERIFY(!m_browser
                     ->ask(op("waitText", {{QStringLiteral("selector"), slotButton(0)},
                                           {QStringLiteral("text"), QStringLiteral("Song A")}}))
                     .isUndefined());
    }

    void shoot(const QString& name, int width, int height)
    {
        const QString dir = qEnvironmentVariable("SONAVEX_WEB_SHOTS");
        if (dir.isEmpty())
            return;
        QDir().mkpath(dir);
        openPage(width, height);
        QVERIFY(
            !m_browser->ask(op("shot", {{QStringLiteral("path"), QString(dir + QLatin1Char('/') + name)}}))
                 .isUndefined());
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (const QString why = BrowserPage::missing(); !why.isEmpty())
            QSKIP(qPrintable(why));
        startSound();
        if (QTest::currentTestFailed())
            return;
        openRemoteShow(HzA, 2.5, HzB);
        if (QTest::currentTestFailed())
            return;

        // Turned on as the dialog stores it, on a port free a moment ago.
        m_port = freePort<WebServer>(28220);
        RemoteSettings settings;
        settings.webPort = m_port;
        settings.save(*m_registry);
        m_remote = std::make_unique<RemoteControl>(*m_core, *m_registry);
        m_remote->start();
        QVERIFY(m_remote->web().listening());

        m_browser = std::make_unique<BrowserPage>();
        QVERIFY2(m_browser->ready(), "the browser did not start");
        openPage(360, 740);
    }

    void cleanupTestCase()
    {
        m_browser.reset();
        m_remote.reset();
        stopSound();
    }

    void init() { QTRY_VERIFY_WITH_TIMEOUT(idle(), 5000); }

    void aTapIsHeardAndShown()
    {
        QVERIFY(!m_browser->ask(at("tap", slotButton(0))).isUndefined());
        QVERIFY2(!m_browser
                      ->ask(op("waitClass", {{QStringLiteral("selector"), slotButton(0)},
                                             {QStringLiteral("cls"), QStringLiteral("playing")}}))
                      .isUndefined(),
                 qPrintable(m_browser->error()));
        const auto heard = m_recorder->during(400, 100);
        QVERIFY2(heardTone(heard, HzA), qPrintable(QString::number(SinkRecorder::toneDb(heard, HzA))));
        QCOMPARE(m_browser->ask(op("colour", {{QStringLiteral("selector"), slotButton(0)}})).toString(),
                 QStringLiteral("rgb(0, 128, 0)"));
        // The time left counts down, red as the song ends.
        const QString left = m_browser->ask(at("text", QStringLiteral("#left"))).toString();
        QVERIFY2(left == QLatin1String("0:03") || left == QLatin1String("0:02"), qPrintable(left));
        QVERIFY(!m_browser
                     ->ask(op("waitText", {{QStringLiteral("selector"), QStringLiteral("#left")},
                                           {QStringLiteral("text"), QStringLiteral("0:01")}}))
                     .isUndefined());
        QCOMPARE(m_browser
                     ->ask(op("colour", {{QStringLiteral("selector"), QStringLiteral("#left")},
                                         {QStringLiteral("property"), QStringLiteral("color")}}))
                     .toString(),
                 QStringLiteral("rgb(255, 59, 48)"));
        QVERIFY(!m_browser
                     ->ask(op("waitClass", {{QStringLiteral("selector"), slotButton(0)},
                                            {QStringLiteral("cls"), QStringLiteral("playing")},
                                            {QStringLiteral("gone"), true}}))
                     .isUndefined());
        QCOMPARE(m_browser->ask(at("className", slotButton(0))).toString(), QStringLiteral("filled"));
    }

    void aFingerThatScrollsAPageThatScrollsPlaysNothingAndATapThere()
    {
        // A phone on its side: the board is taller than the screen, so a finger on a button may
        // be the start of a scroll.
        openPage(740, 300);
        const QJsonValue scrolled = m_browser->ask(
            op("swipe", {{QStringLiteral("selector"), slotButton(0)}, {QStringLiteral("dy"), 120}}));
        QVERIFY2(scrolled.toDouble() > 0, qPrintable(m_browser->error()));
        QTest::qWait(300);
        QVERIFY(idle());
        QCOMPARE(m_core->PlayState, TPlayState::psStopped);

        QVERIFY(!m_browser->ask(at("touch", slotButton(1))).isUndefined());
        QTRY_COMPARE_WITH_TIMEOUT(m_core->PlayState, TPlayState::psPlaying, 2000);
        board().stopAll();
        openPage(360, 740);
    }

    void aQueueBuiltOnThePagePlaysInOrder()
    {
        QVERIFY(!m_browser->ask(at("tap", QStringLiteral("#queue"))).isUndefined());
        QCOMPARE(m_browser
                     ->ask(op("attr", {{QStringLiteral("selector"), QStringLiteral("#queue")},
                                       {QStringLiteral("name"), QStringLiteral("aria-pressed")}}))
                     .toString(),
                 QStringLiteral("true"));
        const std::size_t from = m_recorder->frames();
        m_browser->ask(at("tap", slotButton(1)));
        m_browser->ask(at("tap", slotButton(0)));
        QVERIFY(!m_browser
                     ->ask(op("waitClass", {{QStringLiteral("selector"), slotButton(0)},
                                            {QStringLiteral("cls"), QStringLiteral("queued")}}))
                     .isUndefined());
        QCOMPARE(m_browser->ask(at("className", slotButton(1))).toString(), QStringLiteral("queued"));
        m_browser->ask(at("tap", QStringLiteral("#play")));
        QVERIFY(!m_browser
                     ->ask(op("waitClass", {{QStringLiteral("selector"), slotButton(1)},
                                            {QStringLiteral("cls"), QStringLiteral("playing")}}))
                     .isUndefined());
        QCOMPARE(m_browser->ask(at("className", slotButton(0))).toString(), QStringLiteral("next"));
        QVERIFY(!m_browser
                     ->ask(op("waitText", {{QStringLiteral("selector"), QStringLiteral("#nowTitle")},
                                           {QStringLiteral("text"), QStringLiteral("Song B")}}))
                     .isUndefined());
        shoot(QStringLiteral("phone-playing.png"), 360, 740);
        shoot(QStringLiteral("tablet-playing.png"), 1024, 768);
        QTRY_VERIFY_WITH_TIMEOUT(idle(), 6000);

        // Both songs were heard, B before A.
        const auto heard = m_recorder->since(from);
        const auto a = SinkRecorder::toneTimeline(heard, HzA);
        const auto b = SinkRecorder::toneTimeline(heard, HzB);
        QVERIFY2(SinkRecorder::countOn(a) >= 50 && SinkRecorder::countOn(b) >= 50,
                 qPrintable(QStringLiteral("A %1, B %2 pieces")
                                .arg(SinkRecorder::countOn(a))
                                .arg(SinkRecorder::countOn(b))));
        QVERIFY(SinkRecorder::gapPieces(b, a) >= 0);
    }
};

QTEST_MAIN(TestWebPlayback)
#include "tst_webplayback.moc"
