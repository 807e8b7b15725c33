// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/AuditionControl.h"
#include "app/PreviewControl.h"
#include "core/ShowCore.h"
#include "fakes/FakeCdTrackCatalog.h"
#include "fakes/FakeDialogs.h"
#include "fakes/FakeMediaPlayer.h"
#include "fakes/FakeOutputDevices.h"
#include "fakes/FakePreviewPlayer.h"
#include "fakes/TestEnvironment.h"
#include "platform/Errors.h"
#include "platform/IniRegistry.h"
#include "songs/SongStruc.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QStatusBar>
#include <QTest>

#include <memory>

class TestPreviewControl : public QObject {
    Q_OBJECT
    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<IniRegistry> m_registry;
    FakeOutputDevices m_outputs;
    FakePreviewPlayer m_player;
    std::unique_ptr<QMenu> m_menu;
    std::unique_ptr<PreviewControl> m_preview;
    QString m_song = QStringLiteral("/songs/a.wav"); ///< the menu's button's
    QStringList m_news;

    [[nodiscard]] QString stored() const
    {
        IniRegistry reader(m_env->configDir());
        reader.OpenKey(QStringLiteral("\\Software\\Brasswold\\System"), false);
        return reader.ReadString(QStringLiteral("PreviewDevice"));
    }

private Q_SLOTS:
    void init()
    {
        m_env = std::make_unique<TestEnvironment>();
        m_registry = std::make_unique<IniRegistry>(m_env->configDir());
        m_outputs = FakeOutputDevices();
        m_player.playing.clear();
        m_news.clear();
        m_song = QStringLiteral("/songs/a.wav");
        m_menu = std::make_unique<QMenu>();
        m_preview = std::make_unique<PreviewControl>(m_player, m_outputs, *m_registry);
        m_preview->addMenuItems(m_menu.get(), [this] { return m_song; });
        m_preview->load([this](const QString& text) { m_news << text; });
    }
    void cleanup()
    {
        m_preview.reset();
        m_menu.reset();
        m_registry.reset();
        m_env.reset();
    }

    void theItemsSayWhatTheyCanDo_data()
    {
        QTest::addColumn<QString>("output");
        QTest::addColumn<QString>("song");
        QTest::addColumn<bool>("missing");
        QTest::addColumn<bool>("previewOn");
        QTest::addColumn<QString>("hint");
        QTest::newRow("no preview output")
            << ""
            << "/songs/a.wav" << false << false << "Choose a preview output in Options, Output Device...";
        QTest::newRow("chosen") << "phones"
                                << "/songs/a.wav" << false << true
                                << "Plays the song on the preview output only.";
        QTest::newRow("free slot") << "phones"
                                   << "" << false << false << "The button holds no song.";
        QTest::newRow("output gone")
            << "phones"
            << "/songs/a.wav" << true << false
            << "The preview output \"Phones\" is not there: nothing is previewed until "
               "it returns.";
    }

    void theItemsSayWhatTheyCanDo()
    {
        QFETCH(QString, output);
        QFETCH(QString, song);
        QFETCH(bool, missing);
        QFETCH(bool, previewOn);
        QFETCH(QString, hint);
        m_preview->setOutput(output);
        m_song = song;
        if (missing)
            m_outputs.missing(QStringLiteral("Phones"), true);
        Q_EMIT m_menu->aboutToShow();
        QCOMPARE(m_preview->previewAction()->isEnabled(), previewOn);
        QCOMPARE(m_preview->previewAction()->toolTip(), hint);
        QCOMPARE(m_preview->previewAction()->statusTip(), hint);
        QVERIFY(!m_preview->stopAction()->isEnabled());
    }

    void previewPlaysTheMenusSongAndStopPreviewEndsIt()
    {
        m_preview->setOutput(QStringLiteral("phones"));
        m_preview->previewAction()->trigger();
        QCOMPARE(m_player.playing, m_song);
        QCOMPARE(m_player.from, 0.0);
        QVERIFY(m_preview->stopAction()->isEnabled());
        QCOMPARE(m_preview->previewPosition(), std::optional<double>(0.0));
        m_preview->stopAction()->trigger();
        QVERIFY(m_player.playing.isEmpty());
        QVERIFY(!m_preview->stopAction()->isEnabled());
        QCOMPARE(m_preview->previewPosition(), std::nullopt);
    }

    void whatCannotPreviewRaisesAndPlaysNothing_data()
    {
        QTest::addColumn<QString>("output");
        QTest::addColumn<QString>("song");
        QTest::newRow("no output") << ""
                                   << "/songs/a.wav";
        QTest::newRow("CD track") << "phones"
                                  << "D:\\Track02.cda";
        QTest::newRow("unplayable") << "phones"
                                    << "/songs/broken.wav";
    }

    void whatCannotPreviewRaisesAndPlaysNothing()
    {
        QFETCH(QString, output);
        QFETCH(QString, song);
        m_preview->setOutput(output);
        m_player.unplayable = QStringLiteral("/songs/broken.wav");
        QVERIFY_THROWS_EXCEPTION(DeviceError, m_preview->playFrom(song, 3.0));
        QVERIFY(m_player.playing.isEmpty());
    }

    void theOutputIsStoredAndAChangeStopsThePreview()
    {
        QCOMPARE(m_outputs.chosen, QString()); // none at the start
        m_preview->setOutput(QStringLiteral("phones"));
        QCOMPARE(stored(), QStringLiteral("phones"));
        m_preview->playFrom(m_song, 12.5);
        QCOMPARE(m_player.from, 12.5);
        m_preview->setOutput(QStringLiteral("other"));
        QCOMPARE(m_outputs.chosen, QStringLiteral("other"));
        QVERIFY(m_player.playing.isEmpty());

        // The next run chooses it again.
        FakeOutputDevices outputs;
        PreviewControl next(m_player, outputs, *m_registry);
        next.load({});
        QCOMPARE(outputs.chosen, QStringLiteral("other"));
        QCOMPARE(next.unavailable(), QString());
    }

    void aMissingOutputIsSaidAndClearedWhenItReturns()
    {
        m_preview->setOutput(QStringLiteral("phones"));
        m_news.clear();
        m_outputs.missing(QStringLiteral("Phones"), true);
        QCOMPARE(m_news.size(), 1);
        QVERIFY(m_news.first().contains(QLatin1String("\"Phones\" is not there")));
        QVERIFY(!m_preview->unavailable().isEmpty());
        m_outputs.missing(QStringLiteral("Phones"), false);
        QCOMPARE(m_news.last(), QString());
        QCOMPARE(m_preview->unavailable(), QString());
    }

    void auditionFollowsTheShowAndIsGreyedWithoutAPreviewOutput()
    {
        FakeMediaPlayer player;
        FakeCdTrackCatalog cd;
        FakeDialogs dialogs;
        ShowCore show(ShowServices{*m_registry, player, cd, nullptr, nullptr, m_preview.get()},
                      std::make_unique<TSongInfo>(*m_registry, dialogs));
        QWidget toolBar;
        QWidget board;
        QStatusBar bar;
        QMenu options;
        QAction* keys = options.addAction(QStringLiteral("Keys..."));
        AuditionControl audition(show, *m_preview, {&toolBar, keys, &board, &bar}, nullptr);
        QCOMPARE(options.actions().first(), audition.action());
        const auto shown = [&](bool on) {
            return show.audition() == on && audition.action()->isChecked() == on &&
                   audition.statusWord()->isVisibleTo(&bar) == on &&
                   audition.boardFrame()->isVisibleTo(&board) == on;
        };
        // No preview output: greyed with the preview's hint, and its key shows the hint.
        QVERIFY(!audition.action()->isEnabled());
        QCOMPARE(audition.action()->toolTip(), PreviewControl::NoOutputHint);
        show.runCommand(KeyCommand::Audition);
        QVERIFY(!show.audition());
        QVERIFY(audition.statusWord()->text().contains(PreviewControl::NoOutputHint));

        m_preview->setOutput(QStringLiteral("phones"));
        QVERIFY(audition.action()->isEnabled());
        audition.action()->trigger();
        QVERIFY(shown(true));
        // The output gone keeps it on, and it can still be switched off, by its key too.
        m_outputs.missing(QStringLiteral("Phones"), true);
        QVERIFY(shown(true) && audition.action()->isEnabled());
        show.runCommand(KeyCommand::Audition);
        QVERIFY(shown(false) && !audition.action()->isEnabled());
        m_outputs.missing(QStringLiteral("Phones"), false);
        // On again, then no preview output chosen: it goes off with it.
        audition.action()->trigger();
        QVERIFY(shown(true));
        m_preview->setOutput(QString());
        QVERIFY(shown(false) && !audition.action()->isEnabled());
    }
};

QTEST_MAIN(TestPreviewControl)
#include "tst_previewcontrol.moc"
