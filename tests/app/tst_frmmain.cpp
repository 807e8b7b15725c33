// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/AuditionControl.h"
#include "app/CollectShow.h"
#include "app/MasterLevelControl.h"
#include "app/MidiControl.h"
#include "app/PlayingStrip.h"
#include "app/PreviewControl.h"
#include "app/ShowGrid.h"
#include "app/StatusNews.h"
#include "app/frmAssignKey.h"
#include "app/frmButtonSettings.h"
#include "app/frmFade.h"
#include "app/frmKeys.h"
#include "app/frmMain.h"
#include "app/frmMidiInput.h"
#include "app/frmOutputDevice.h"
#include "audio/SongLevels.h"
#include "controls/MPanel.h"
#include "controls/Tranbtn.h"
#include "core/SongTexts.h"
#include "fakes/BoardFixture.h"
#include "fakes/FakeCdTrackCatalog.h"
#include "fakes/FakeDialogs.h"
#include "fakes/FakeDriveList.h"
#include "fakes/FakeMediaPlayer.h"
#include "fakes/FakeOutputDevices.h"
#include "fakes/FakePreviewPlayer.h"
#include "fakes/HangingDrive.h"
#include "fakes/RecordingErrorReporter.h"
#include "fakes/SongFixtures.h"
#include "fakes/TestEnvironment.h"
#include "fakes/WidgetShot.h"
#include "midi/MidiRemote.h"
#include "platform/IniRegistry.h"
#include "platform/Timer.h"
#include "songs/SongEdit.h"
#include "songs/SongStruc.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QSlider>
#include <QTabBar>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

#include <atomic>
#include <chrono>
#include <thread>

using namespace Qt::StringLiterals;

class TestMainForm : public QObject, BoardFixture {
    Q_OBJECT

    QString registryValue(const QString& section, const QString& name)
    {
        IniRegistry reg(m_env->configDir());
        if (!reg.OpenKey(QStringLiteral("Software\\Brasswold\\") + section, false))
            return QStringLiteral("<missing>");
        return reg.ValueExists(name) ? reg.ReadString(name) : QStringLiteral("<missing>");
    }

    void writeRegistry(const QString& section, const QString& name, const QString& value)
    {
        IniRegistry reg(m_env->configDir());
        QVERIFY(reg.OpenKey(QStringLiteral("Software\\Brasswold\\") + section, true));
        reg.WriteString(name, value);
    }

    /// The board closed, then opened again with the settings' `entries` ("Section/Name=value").
    void restartWith(const QStringList& entries)
    {
        closeBoard();
        for (const QString& e : entries) {
            const qsizetype slash = e.indexOf(QLatin1Char('/'));
            const qsizetype is = e.indexOf(QLatin1Char('='));
            writeRegistry(e.left(slash), e.mid(slash + 1, is - slash - 1), e.mid(is + 1));
        }
        createForm();
    }

    /// Every value of a section of the settings, as name=value.
    QStringList values(const QString& section = QStringLiteral("Keys"))
    {
        IniRegistry reg(m_env->configDir());
        QStringList out;
        if (reg.OpenKey(QStringLiteral("Software\\Brasswold\\") + section, false))
            for (const QString& name : reg.GetValueNames())
                out << name + QLatin1Char('=') + reg.ReadString(name);
        return out;
    }

    /// Runs `answer` on the modal dialog of type T once it opens; the test fails if none does.
    template <typename T, typename F> static void whenOpen(QObject* context, F answer)
    {
        QTimer::singleShot(0, context, [answer] {
            auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            answer(dialog);
        });
    }

    void showExposed()
    {
        m_form->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    }

    void showActive()
    {
        showExposed();
        m_form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    }

    /// Opens "Assign Key..." for the slot pressed last and types `keys` into the dialog;
    /// returns the dialog's messages, one per key.
    QStringList assignKey(const QList<QKeyCombination>& keys)
    {
        QStringList messages;
        whenOpen<TfrmAssignKey>(this, [&](TfrmAssignKey* dialog) {
            for (const QKeyCombination k : keys) {
                if (k.key() == Qt::Key_Shift) { // Shift alone: down and up
                    QTest::keyPress(dialog, Qt::Key_Shift, Qt::ShiftModifier);
                    QTest::keyRelease(dialog, Qt::Key_Shift, Qt::NoModifier);
                } else {
                    QTest::keyClick(dialog, k.key(), k.keyboardModifiers());
                }
                messages << (dialog->isVisible() ? dialog->lblMessage->text() : QStringLiteral("<closed>"));
            }
            if (dialog->isVisible())
                dialog->btnCancel->click();
        });
        m_form->mnuAssignKey->trigger();
        return messages;
    }

    bool idle() const
    {
        return !m_form->btnPlay->isEnabled() && !m_form->btnStop->isEnabled() &&
               !m_form->btnPause->isEnabled() && !m_form->mnuStopSong->isEnabled() &&
               !m_form->mnuStopAll->isEnabled() && !m_form->mnuPlaySong->isEnabled() &&
               !m_form->core().WaveTimer->Enabled();
    }

    /// Starts the window where Play has no key, queues a button and presses Space.
    void startWithNoPlayKeyAndPressSpace()
    {
        createForm();
        showActive();
        QVERIFY(m_form->slotKeys().keyOf(KeyCommand::Play).isEmpty());
        press(1, true);
        QTest::keyClick(button(0), Qt::Key_Space);
        settle();
    }

    /// Drops `paths` (files, folders) from a file manager onto button `slot`, as Qt delivers a drop.
    bool dropFiles(int slot, const QStringList& paths)
    {
        return dropFiles(button(slot), QRectF(button(slot)->rect()).center(), paths);
    }

    /// Drops `paths` onto `target` at `middle`.
    bool dropFiles(QWidget* target, QPointF middle, const QStringList& paths)
    {
        QMimeData mime;
        QList<QUrl> urls;
        for (const QString& path : paths)
            urls << QUrl::fromLocalFile(path);
        mime.setUrls(urls);
        QDragEnterEvent enter(middle.toPoint(), Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton,
                              Qt::NoModifier);
        QCoreApplication::sendEvent(target, &enter);
        if (!enter.isAccepted())
            return false;
        QDropEvent drop(middle, Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &drop);
        settle();
        return drop.isAccepted() && drop.dropAction() == Qt::CopyAction;
    }

private Q_SLOTS:
    void init() { setUp(); }

    void cleanup() { tearDown(); }

    /// The show's rules are tested on the core; here, that the window shows what the core tells
    /// and that its own input reaches the core.
    void theWindowFollowsTheShowAndFeedsIt()
    {
        ShowCore& show = *m_core;
        show.queue(0, 2, PressedBy::Key);
        show.queue(0, 1, PressedBy::Key);
        show.queue(0, 3, PressedBy::Key);
        show.play();
        settle();
        QCOMPARE(colours(4), (QList<QColor>{Black, Yellow, Green, Red})); // one source of state
        QVERIFY(!m_form->btnPlay->isEnabled() && m_form->btnStop->isEnabled() &&
                m_form->btnPause->isEnabled());
        QCOMPARE(m_form->StatusPanels[2]->text(), QStringLiteral("Now Playing ") + m_files[2]);
        show.showSheet(6);
        settle();
        QCOMPARE(m_form->Tabs->currentIndex(), 6);
        show.showSheet(0);
        show.stopAll();
        settle();
        // A hold button: the mouse let go of it stops its song.
        m_core->songInfo().setButtonSettings(0, 0, buttonPlaying(0.0, ButtonSettings::Mode::Hold, false));
        press(0);
        QCOMPARE(m_player->fileName(), m_files[0]);
        Q_EMIT button(0)->OnMouseUp(button(0), Qt::LeftButton, Qt::NoModifier, 5, 5);
        settle();
        QCOMPARE(show.playState(), TPlayState::psStopped);
        // A missing song: a box for the operator's own press, news in the panel for a remote's.
        QFile::rename(m_files[2], m_files[2] + QStringLiteral(".away"));
        press(2);
        QCOMPARE(m_dialogs->messages.size(), 1);
        show.press(0, 2, PressedBy::Osc);
        settle();
        QCOMPARE(m_dialogs->messages.size(), 1);
        QVERIFY(m_form->NewsPanel->text().contains(QStringLiteral("did not play")));
        QFile::rename(m_files[2] + QStringLiteral(".away"), m_files[2]);
        show.press(0, 2, PressedBy::Osc);
        settle();
        QVERIFY(m_form->NewsPanel->text().isEmpty() && m_form->NewsPanel->isHidden());
    }

    void collectsTheShowWhileTheBoardPlaysOn()
    {
        const QString folder = m_env->root() + QLatin1String("/collected");
        auto* job = new CollectShow(m_form.get(), *m_dialogs,
                                    ShowCollector::plan(m_form->songInfo(), *m_registry, folder));
        QTRY_COMPARE(m_dialogs->messages.size(), 1);
        const auto& said = m_dialogs->messages.first();
        QVERIFY2(said.text.contains(QLatin1String("Copied and checked: 4 song files")),
                 qPrintable(said.text));
        QCOMPARE(said.style, Dialogs::Style::Information);
        QVERIFY(QFileInfo::exists(folder + QLatin1String("/songs.inf")));
        QTRY_VERIFY(!m_form->findChild<CollectShow*>()); // the job ends itself
        Q_UNUSED(job);
    }

    void startsIdleWithDefaultTabsAndTitles()
    {
        QCOMPARE(m_form->windowTitle(), QStringLiteral("Sonavex"));
        QCOMPARE(m_form->Tabs->count(), 10);
        QCOMPARE(m_form->Tabs->tabText(9), QStringLiteral("Music Sheet 10"));
        QCOMPARE(button(0)->Caption(), QStringLiteral("A"));
        QCOMPARE(button(35)->Caption(), QStringLiteral("<empty>"));
        QCOMPARE(button(7)->BtnNumber(), 7);
        QCOMPARE(button(7)->Border(), BStyle::BsIe);
        QCOMPARE(button(7)->geometry(), QRect(40 + 105 * 1, 47 + 42 * 1, 105, 42));
        QVERIFY(idle());
        QVERIFY(m_form->btnFade->isEnabled());
        QCOMPARE(m_form->core().FadeSetting, 3);
        QVERIFY(m_errors->messages.isEmpty());
        // The shown sheet is decoded ahead.
        QVERIFY(m_player->hotList.contains(m_files[3]));
    }

    void renameActsOnTheSelectedTabAndWritesOnlyChanges()
    {
        m_form->Tabs->setCurrentIndex(3);
        m_form->mnuChgTabNameClick(); // cancelled
        m_dialogs->inputAnswers << QStringLiteral("Music Sheet 4");
        m_form->mnuChgTabNameClick(); // OK on the unchanged text
        QCOMPARE(registryValue(QStringLiteral("Tabs"), QStringLiteral("Tab3")), QStringLiteral("<missing>"));
        QCOMPARE(m_dialogs->inputs.first(),
                 QStringLiteral("New Tab Name|Change Music Sheet 4 to|Music Sheet 4"));

        m_dialogs->inputAnswers << QStringLiteral("Drums");
        m_form->mnuChgTabNameClick();
        QCOMPARE(registryValue(QStringLiteral("Tabs"), QStringLiteral("Tab3")), QStringLiteral("Drums"));
        QCOMPARE(m_form->Tabs->tabText(3), QStringLiteral("Drums"));
        QCOMPARE(m_form->Tabs->tabText(0), QStringLiteral("Music Sheet 1"));
    }

    void namesTheSongFileHasNoSongForAreSaidInTheStatusBar()
    {
        // A companion written by hand, without the record keys its entries need.
        const QString infoPath = m_form->songInfo().infoPath();
        closeBoard();
        QFile companion(SlotsFile::pathFor(infoPath));
        QVERIFY(companion.open(QIODevice::WriteOnly | QIODevice::Truncate));
        companion.write("[Sonavex]\nversion = 1\n\n[0,0]\ntitle = Аплодисменты\n");
        companion.close();
        m_dialogs->messages.clear();
        openBoard(std::make_unique<TSongInfo>(*m_registry, *m_dialogs, TSongInfo::Load::Later));
        m_form->loadSongs();
        QTRY_VERIFY_WITH_TIMEOUT(m_form->NewsPanel->text().contains(QLatin1String("were not used")), 3000);
        QVERIFY(m_form->NewsPanel->text().contains(QLatin1String(".slots.unused-")));
        QVERIFY(m_dialogs->messages.isEmpty());
    }

    void theFadeDialogSetsTheSpeedOnlyOnOk_data()
    {
        QTest::addColumn<int>("before");
        QTest::addColumn<int>("moveTo"); // 0: leave the slider where it opens
        QTest::addColumn<QString>("answer");
        QTest::addColumn<int>("kept"); // the setting after it
        QTest::newRow("OK at 5") << 3 << 5 << QStringLiteral("ok") << 5;
        QTest::newRow("OK at 1") << 3 << 1 << QStringLiteral("ok") << 1;
        QTest::newRow("opens at 3 whatever the setting") << 1 << 0 << QStringLiteral("ok") << 3;
        QTest::newRow("Cancel keeps the setting") << 5 << 1 << QStringLiteral("cancel") << 5;
        QTest::newRow("Escape keeps the setting") << 2 << 4 << QStringLiteral("escape") << 2;
    }

    void theFadeDialogSetsTheSpeedOnlyOnOk()
    {
        QFETCH(int, before);
        QFETCH(int, moveTo);
        QFETCH(QString, answer);
        QFETCH(int, kept);
        m_form->core().FadeSetting = before;
        int opened = 0;
        QString title;
        whenOpen<TfrmFadeCtrl>(this, [&](TfrmFadeCtrl* dialog) {
            opened = dialog->tbFade->value();
            title = dialog->windowTitle();
            if (moveTo > 0)
                dialog->tbFade->setValue(moveTo);
            if (answer == QLatin1String("ok"))
                dialog->BitBtn1->click();
            else if (answer == QLatin1String("cancel"))
                dialog->BitBtn2->click();
            else
                QTest::keyClick(dialog, Qt::Key_Escape);
        });
        m_form->FadeControl1Click();
        QCOMPARE(opened, 3);
        QCOMPARE(title, QStringLiteral("Fade Properties"));
        QCOMPARE(m_form->core().FadeSetting, kept);
    }

    void exitAsksOnlyInTheMiddleOfAShow_data()
    {
        QTest::addColumn<QString>("show");
        QTest::addColumn<bool>("answerYes");
        QTest::addColumn<bool>("asked");
        QTest::addColumn<bool>("closed");
        QTest::newRow("idle") << QStringLiteral("idle") << false << false << true;
        QTest::newRow("a song plays, No") << QStringLiteral("playing") << false << true << false;
        QTest::newRow("a song plays, Yes") << QStringLiteral("playing") << true << true << true;
        QTest::newRow("paused") << QStringLiteral("paused") << false << true << false;
        QTest::newRow("a queue waits") << QStringLiteral("queued") << false << true << false;
        QTest::newRow("logging out") << QStringLiteral("logout") << false << false << true;
    }

    void exitAsksOnlyInTheMiddleOfAShow()
    {
        QFETCH(QString, show);
        QFETCH(bool, answerYes);
        QFETCH(bool, asked);
        QFETCH(bool, closed);
        showExposed();
        if (show == QLatin1String("queued")) {
            press(1, true);
        } else if (show != QLatin1String("idle")) {
            press(0);
            if (show == QLatin1String("paused"))
                m_form->btnPauseClick();
            settle();
        }
        if (answerYes)
            m_dialogs->answers << Dialogs::Answer::Yes;
        if (show == QLatin1String("logout"))
            m_form->endShowWithoutAsking();
        else
            m_form->close();
        QCOMPARE(m_dialogs->messages.size(), asked ? 1 : 0);
        if (asked) {
            QCOMPARE(m_dialogs->messages[0].text, QStringLiteral("A song is playing. Exit Sonavex?"));
            QCOMPARE(m_dialogs->messages[0].buttons, Dialogs::Buttons::YesNoDefaultNo);
        }
        QCOMPARE(m_form->isVisible(), !closed);
        if (!closed && show != QLatin1String("queued"))
            QCOMPARE(m_player->fileName(), m_files[0]); // the music goes on
    }

    void ctrlSReachesStopSongNeverStayOnTop()
    {
        showExposed();
        m_form->activateWindow();
        QTest::keyClick(m_form.get(), Qt::Key_S, Qt::ControlModifier);
        QVERIFY(!m_form->mnuStayOnTop->isChecked());
        QVERIFY(!m_player->log.contains(QStringLiteral("stop")));

        press(0, true);
        press(1, true);
        m_form->btnPlay->click();
        settle();
        QTest::keyClick(m_form.get(), Qt::Key_S, Qt::ControlModifier);
        settle();
        QVERIFY(!m_form->mnuStayOnTop->isChecked());
        QCOMPARE(m_player->fileName(), m_files[1]);
        QVERIFY(m_form->mnuStayOnTop->text().endsWith(QStringLiteral("\tCtrl+S")));
    }

    void ieStyleSwitchesEveryButton()
    {
        m_form->mnuIEStyle->trigger();
        QVERIFY(!m_form->mnuIEStyle->isChecked());
        QCOMPARE(button(0)->Border(), BStyle::BsNormal);
        QCOMPARE(button(35)->Border(), BStyle::BsNormal);
        m_form->mnuIEStyle->trigger();
        QCOMPARE(button(35)->Border(), BStyle::BsIe);
    }

    void songAttributesOpenForTheLastPressedSlotAndRedraw()
    {
        QCOMPARE(m_form->Tag, 0); // before any press: slot 0
        whenOpen<TfrmSongEdit>(this, [](TfrmSongEdit* dialog) {
            QCOMPARE(dialog->edtSongTitle->text(), QStringLiteral("A"));
            dialog->edtSongTitle->setText(QStringLiteral("Overture"));
            dialog->BitBtn1->click();
        });
        m_form->mnuSongAttributes->trigger();
        QCOMPARE(button(0)->Caption(), QStringLiteral("Overture"));

        press(2, true);
        QCOMPARE(m_form->Tag, 2);
        whenOpen<TfrmSongEdit>(this, [](TfrmSongEdit* dialog) {
            QCOMPARE(dialog->edtSongTitle->text(), QStringLiteral("C"));
            dialog->reject();
        });
        m_form->EditSongStats1Click();
        QCOMPARE(button(2)->Caption(), QStringLiteral("C"));
    }

    void stayOnTopTogglesTheWindowFlag()
    {
        showExposed();
        const QRect before = m_form->geometry();
        m_form->mnuStayOnTop->trigger();
        QVERIFY(m_form->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        QVERIFY(m_form->isVisible());
        QCOMPARE(m_form->geometry(), before);
        m_form->mnuStayOnTop->trigger();
        QVERIFY(!m_form->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    }

    void aRightClickPlaysAndThenOpensTheSheetMenu()
    {
        showExposed();
        QTest::mouseClick(button(1), Qt::RightButton, Qt::NoModifier, QPoint(10, 10));
        settle();
        QCOMPARE(m_player->fileName(), m_files[1]);
        QTRY_VERIFY(m_form->TabPopup->isVisible());
        QVERIFY(!button(1)->Pressed());
        m_form->TabPopup->hide();

        QTest::mouseClick(m_form->Tabs, Qt::RightButton, Qt::NoModifier, QPoint(20, 5));
        QTRY_VERIFY(m_form->TabPopup->isVisible());
        m_form->TabPopup->hide();

        // The menu key opens it too, wherever the focus is in the window.
        m_form->Tabs->setFocus();
        QContextMenuEvent key(QContextMenuEvent::Keyboard, QPoint(5, 5),
                              m_form->Tabs->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(m_form->Tabs, &key);
        QTRY_VERIFY(m_form->TabPopup->isVisible());
        QVERIFY(m_form->TabPopup->actions().contains(m_form->mnuSongAttributes));
        m_form->TabPopup->hide();
    }

    void buttonSettingsAreOfferedForAFilledButtonAndKeptOnOk()
    {
        showExposed();
        QTest::mouseClick(button(20), Qt::RightButton, Qt::NoModifier, QPoint(10, 10)); // empty
        QTRY_VERIFY(m_form->TabPopup->isVisible());
        QVERIFY(!m_form->mnuButtonSettings->isEnabled());
        m_form->TabPopup->hide();
        QTest::mouseClick(button(1), Qt::RightButton, Qt::NoModifier, QPoint(10, 10));
        QTRY_VERIFY(m_form->TabPopup->isVisible());
        QVERIFY(m_form->mnuButtonSettings->isEnabled());
        m_form->TabPopup->hide();

        for (const bool ok : {false, true}) {
            whenOpen<TfrmButtonSettings>(this, [ok](TfrmButtonSettings* dialog) {
                dialog->edVolume->setValue(-4.5);
                dialog->rbHold->setChecked(true);
                dialog->cbLoop->setChecked(true);
                QVERIFY(dialog->btnOK->isDefault());
                (ok ? dialog->btnOK : dialog->btnCancel)->click();
            });
            m_form->mnuButtonSettings->trigger();
            const ButtonSettings kept =
                ok ? buttonPlaying(-4.5, ButtonSettings::Mode::Hold, true) : ButtonSettings{};
            QCOMPARE(m_form->songInfo().buttonSettings(0, 1), kept);
        }
    }

    void keysFromTheSettingsPlayTheirSlotWhicheverSheetIsShown()
    {
        // Q: no such sheet
        restartWith({u"Keys/F1=0,1"_s, u"Keys/num+7= 3 , 0 "_s, u"Keys/Q=10,0"_s, u"Keys/W=0"_s,
                     u"Keys/NoSuchKey=0,2"_s});
        putSong(m_form->songInfo(), 3, 0, QStringLiteral("Elsewhere"), m_files[3]);
        showActive();
        QVERIFY(button(1)->hintText().contains(QStringLiteral("F1")));
        QVERIFY(button(0)->hintText().isEmpty());

        QTest::keyClick(m_form.get(), Qt::Key_F1);
        settle();
        QCOMPARE(m_player->fileName(), m_files[1]);
        QCOMPARE(m_form->Tag, 1);

        // Another sheet's key while sheet 2 is shown: that song plays, and the buttons shown
        // keep the colours and the "pressed last" slot of their own sheet.
        m_form->Tabs->setCurrentIndex(2);
        QTest::keyClick(m_form.get(), Qt::Key_7, Qt::KeypadModifier);
        settle();
        QCOMPARE(m_player->fileName(), m_files[3]);
        QCOMPARE(m_form->core().PlayQueue, QStringList{m_files[3]});
        QCOMPARE(m_form->Tag, 1);
        QCOMPARE(button(0)->fontColor(), Black);
        m_form->Tabs->setCurrentIndex(3);
        QCOMPARE(button(0)->fontColor(), Green);

        // Shift with the key queues.
        QTest::keyClick(m_form.get(), Qt::Key_F1, Qt::ShiftModifier);
        settle();
        QCOMPARE(m_form->core().PlayQueue, (QStringList{m_files[3], m_files[1]}));

        // The unreadable entries are gone once the keys are written again.
        m_form->Tabs->setCurrentIndex(0);
        press(1);
        m_form->mnuClearKey->trigger();
        QCOMPARE(values(), QStringList{QStringLiteral("Num+7=3,0")});
    }

    void assignKeyRefusesMenuKeysAndMovesAKeyOnlyWhenAsked()
    {
        showActive();
        press(2);
        const QStringList refused = assignKey({Qt::CTRL | Qt::Key_S, Qt::ALT | Qt::Key_O, Qt::Key_Shift,
                                               Qt::CTRL | Qt::Key_E, Qt::SHIFT | Qt::Key_F2});
        QCOMPARE(refused.size(), 5);
        QVERIFY2(refused[0].contains(QStringLiteral("Stop Song")), qPrintable(refused[0]));
        QVERIFY2(refused[1].contains(QStringLiteral("Options")), qPrintable(refused[1]));
        QVERIFY2(refused[2].contains(QStringLiteral("Shift alone")), qPrintable(refused[2]));
        QVERIFY2(refused[3].contains(QStringLiteral("IE Style")), qPrintable(refused[3]));
        QCOMPARE(refused[4], QStringLiteral("<closed>"));
        QCOMPARE(values(), QStringList{QStringLiteral("F2=0,2")});
        QVERIFY(button(2)->hintText().contains(QStringLiteral("F2")));

        // F2 for slot 3: asked, and kept where it was on No.
        press(3);
        m_dialogs->answers = {Dialogs::Answer::No};
        assignKey({Qt::Key_F2});
        QCOMPARE(m_dialogs->messages.size(), 1);
        QCOMPARE(m_dialogs->messages[0].style, Dialogs::Style::Confirmation);
        QCOMPARE(values(), QStringList{QStringLiteral("F2=0,2")});
        m_dialogs->answers = {Dialogs::Answer::Yes};
        assignKey({Qt::Key_F2});
        QCOMPARE(values(), QStringList{QStringLiteral("F2=0,3")});
        QVERIFY(button(2)->hintText().isEmpty());
        QTest::keyClick(m_form.get(), Qt::Key_F2);
        settle();
        QCOMPARE(m_player->fileName(), m_files[3]);

        // A slot has one key: a new one replaces it. Cancel changes nothing.
        assignKey({Qt::Key_Space});
        assignKey({Qt::Key_Escape});
        QCOMPARE(values(), QStringList{QStringLiteral("Space=0,3")});
    }

    void aMidiNoteIsLearnedInTheKeyDialogMovesOnlyWhenAskedAndIsCleared()
    {
        showActive();
        MidiControl midi(&m_form->core(), m_form->board(), *m_registry);
        m_form->setMidi(&midi);
        const MidiMessageId note{MidiMessageId::Kind::Note, 1, 36};
        QString prompt;
        const auto learn = [&] {
            whenOpen<TfrmAssignKey>(this, [&](TfrmAssignKey* dialog) {
                prompt = dialog->lblPrompt->text();
                midi.remote().act(note);
            });
            m_form->mnuAssignKey->trigger();
        };
        press(2);
        learn();
        QVERIFY2(prompt.contains(QStringLiteral("MIDI controller")), qPrintable(prompt));
        QCOMPARE(values(u"Midi"_s), QStringList{QStringLiteral("note 1 36=0,2")});
        midi.remote().act(note);
        settle();
        QCOMPARE(m_player->fileName(), m_files[2]);

        press(3);
        m_dialogs->answers = {Dialogs::Answer::No};
        learn();
        QCOMPARE(m_dialogs->messages.size(), 1);
        QVERIFY2(
            m_dialogs->messages[0].text.contains(QStringLiteral("Note 36, channel 1 already plays button 3")),
            qPrintable(m_dialogs->messages[0].text));
        QCOMPARE(values(u"Midi"_s), QStringList{QStringLiteral("note 1 36=0,2")});
        m_dialogs->answers = {Dialogs::Answer::Yes};
        learn();
        QCOMPARE(values(u"Midi"_s), QStringList{QStringLiteral("note 1 36=0,3")});

        // Shift+press: chosen in the dialog, or Shift held while the note comes; the plain note stays.
        const auto learnQueue = [&](const MidiMessageId& message, bool holdShift) {
            whenOpen<TfrmAssignKey>(this, [&, message, holdShift](TfrmAssignKey* dialog) {
                QVERIFY(dialog->chkQueue);
                if (holdShift)
                    QTest::keyPress(dialog, Qt::Key_Shift);
                else
                    dialog->chkQueue->click();
                midi.remote().act(message);
            });
            m_form->mnuAssignKey->trigger();
        };
        learnQueue({MidiMessageId::Kind::Note, 1, 40}, false);
        QCOMPARE(values(u"Midi"_s),
                 (QStringList{QStringLiteral("note 1 36=0,3"), QStringLiteral("note 1 40=queue 0,3")}));
        learnQueue({MidiMessageId::Kind::Note, 2, 41}, true);
        QCOMPARE(values(u"Midi"_s),
                 (QStringList{QStringLiteral("note 1 36=0,3"), QStringLiteral("note 2 41=queue 0,3")}));

        const std::any kept = m_form->slotExtras(0, 3);
        m_form->mnuClearKey->trigger();
        QCOMPARE(values(u"Midi"_s), QStringList());
        // The editor taking an emptying back gives the slot its notes back.
        m_form->restoreSlotExtras(0, 3, kept);
        QCOMPARE(values(u"Midi"_s),
                 (QStringList{QStringLiteral("note 1 36=0,3"), QStringLiteral("note 2 41=queue 0,3")}));
        m_form->setMidi(nullptr);
    }

    void keysFollowTheirSongsWhenSheetsMoveAndGoWhenCleared()
    {
        restartWith({u"Keys/A=0,0"_s, u"Keys/B=1,5"_s, u"Keys/C=0,3"_s});
        putSong(m_form->songInfo(), 1, 5, QStringLiteral("Five"), m_files[2]);
        showActive();
        // The editor moved sheet 1 to the front and emptied slot 3 of what is now sheet 1.
        m_form->songInfo().ExchangeSongs(0, 5, 1, 5);
        m_form->sheetsExchanged(0, 1);
        const std::any kept = m_form->slotExtras(1, 3);
        m_form->songInfo().ClearSong(1, 3);
        m_form->slotCleared(1, 3);
        QCOMPARE(values(), (QStringList{QStringLiteral("A=1,0"), QStringLiteral("B=0,5")}));
        QTest::keyClick(m_form.get(), Qt::Key_B);
        settle();
        QCOMPARE(m_player->fileName(), m_files[2]);
        // The editor taking the emptying back gives the slot its key back.
        m_form->restoreSlotExtras(1, 3, kept);
        QCOMPARE(values(),
                 (QStringList{QStringLiteral("A=1,0"), QStringLiteral("B=0,5"), QStringLiteral("C=1,3")}));

        // Clear Tab takes the keys of its sheet too, and its buttons show it empty.
        m_form->Tabs->setCurrentIndex(1);
        m_form->mnuClearTab->trigger();
        QCOMPARE(values(), QStringList{QStringLiteral("B=0,5")});
        QCOMPARE(button(0)->Caption(), EmptyTitle);
    }

    void theArrowsMoveTheFocusOverTheGridAndStopAtItsEdges_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("to");
        QTest::newRow("left edge") << 6 << int(Qt::Key_Left) << 6;
        QTest::newRow("top edge") << 3 << int(Qt::Key_Up) << 3;
        QTest::newRow("right edge") << 11 << int(Qt::Key_Right) << 11;
        QTest::newRow("bottom edge") << 32 << int(Qt::Key_Down) << 32;
        QTest::newRow("bottom right, right") << 35 << int(Qt::Key_Right) << 35;
        QTest::newRow("right") << 7 << int(Qt::Key_Right) << 8;
        QTest::newRow("left") << 7 << int(Qt::Key_Left) << 6;
        QTest::newRow("up") << 7 << int(Qt::Key_Up) << 1;
        QTest::newRow("down") << 7 << int(Qt::Key_Down) << 13;
        QTest::newRow("no wrap to the next row") << 5 << int(Qt::Key_Right) << 5;
    }

    void theArrowsMoveTheFocusOverTheGridAndStopAtItsEdges()
    {
        QFETCH(int, from);
        QFETCH(int, key);
        QFETCH(int, to);
        showActive();
        QCOMPARE(QApplication::focusWidget(), button(0)); // the first button has it at the start
        button(from)->setFocus();
        QTest::keyClick(button(from), static_cast<Qt::Key>(key));
        QCOMPARE(QApplication::focusWidget(), button(to));
        QCOMPARE(m_form->focusedSlot(), to);
        QVERIFY(button(to)->focusMarkShown());
        QCOMPARE(m_player->fileName(), QString()); // moving presses nothing
    }

    void theFocusMarkShowsOnlyOnceTheKeyboardMovesIt()
    {
        showActive();
        // Empty slots: a click presses nothing, so only the focus could change how they look.
        const QImage clicked = button(20)->grab().toImage();
        const QImage next = button(21)->grab().toImage();
        QTest::mouseClick(button(20), Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
        QCOMPARE(QApplication::focusWidget(), button(20));
        QVERIFY(!button(20)->focusMarkShown());
        QCOMPARE(button(20)->grab().toImage(), clicked);

        QTest::keyClick(button(20), Qt::Key_Right);
        QVERIFY(button(21)->focusMarkShown());
        QVERIFY(button(21)->grab().toImage() != next);
        QCOMPARE(button(20)->grab().toImage(), clicked);
    }

    void aHoldButtonPlaysWhileItsKeyIsHeld_data()
    {
        QTest::addColumn<bool>("enter"); // Enter on the focused button, or the slot's own key
        // Let go of while another window is in front: its release never reaches the board.
        QTest::addColumn<bool>("elsewhere");
        QTest::newRow("slot key") << false << false;
        QTest::newRow("Enter") << true << false;
        QTest::newRow("slot key, another window in front") << false << true;
        QTest::newRow("Enter, another window in front") << true << true;
    }

    void aHoldButtonPlaysWhileItsKeyIsHeld()
    {
        QFETCH(bool, enter);
        QFETCH(bool, elsewhere);
        restartWith({u"Keys/F1=0,1"_s});
        m_form->songInfo().setButtonSettings(0, 1, buttonPlaying(0.0, ButtonSettings::Mode::Hold, false));
        showActive();
        QWidget* to = enter ? static_cast<QWidget*>(button(1)) : m_form.get();
        const Qt::Key key = enter ? Qt::Key_Return : Qt::Key_F1;
        if (enter)
            QTest::keyClick(button(0), Qt::Key_Right);
        QTest::keyPress(to, key);
        settle();
        QCOMPARE(m_player->fileName(), m_files[1]);
        // The window system's repeat: a release followed at once by a press. It plays on.
        QTest::keyRelease(to, key);
        QTest::keyPress(to, key);
        QTest::qWait(150);
        QCOMPARE(m_player->playState(), int(MediaPlayer::Playing));
        QWidget other;
        if (elsewhere) {
            other.show();
            QApplication::setActiveWindow(&other);
        } else {
            QTest::keyRelease(to, key);
        }
        QTRY_COMPARE(m_player->playState(), int(MediaPlayer::Stopped));
    }

    void theWindowClosesWhileAKeyIsHeld()
    {
        restartWith({u"Keys/F1=0,1"_s});
        showActive();
        QTest::keyClick(button(0), Qt::Key_Right);
        QTest::keyPress(button(1), Qt::Key_Return);
        QTest::keyPress(m_form.get(), Qt::Key_F1);
        settle();
        // Closing deactivates the window: what is held is not let go of into a half-gone window.
        closeBoard();
        QVERIFY(!m_form);
    }

    void enterPressesTheFocusedButtonAndShiftEnterQueuesIt()
    {
        showActive();
        QTest::keyClick(button(0), Qt::Key_Right);
        QTest::keyClick(button(1), Qt::Key_Return);
        settle();
        QCOMPARE(m_player->fileName(), m_files[1]);
        QCOMPARE(m_form->Tag, 1);
        QTest::keyClick(button(1), Qt::Key_Right);
        QTest::keyClick(button(2), Qt::Key_Enter, Qt::ShiftModifier | Qt::KeypadModifier);
        settle();
        QCOMPARE(m_form->core().PlayQueue, (QStringList{m_files[1], m_files[2]}));
        QCOMPARE(m_player->fileName(), m_files[1]);

        // On another sheet the focus keeps its place in the grid; Enter presses that sheet's song.
        putSong(m_form->songInfo(), 4, 2, QStringLiteral("Four"), m_files[3]);
        QTest::keyClick(button(2), Qt::Key_5, Qt::AltModifier);
        QCOMPARE(m_form->shownTab(), 4);
        QCOMPARE(QApplication::focusWidget(), button(2));
        QTest::keyClick(button(2), Qt::Key_Return);
        settle();
        QCOMPARE(m_player->fileName(), m_files[3]);
    }

    void tabGoesFromTheTabStripToTheGridToTheToolBar()
    {
        showActive();
        QTest::keyClick(button(0), Qt::Key_Down);
        QTest::keyClick(button(6), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), m_form->tbtnOpen);
        QTest::keyClick(m_form->tbtnOpen, Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(QApplication::focusWidget(), button(6)); // the grid is one stop that keeps its place
        QTest::keyClick(button(6), Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(QApplication::focusWidget(), m_form->Tabs);
        QTest::keyClick(m_form->Tabs, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), button(6));
        // A click on a tool button leaves the focus in the grid.
        QTest::mouseClick(m_form->btnFade, Qt::LeftButton);
        QCOMPARE(QApplication::focusWidget(), button(6));
    }

    void sheetKeysShowTheirSheet_data()
    {
        QTest::addColumn<QKeyCombination>("key");
        QTest::addColumn<int>("sheet");
        QTest::newRow("Ctrl+PgDown") << (Qt::CTRL | Qt::Key_PageDown) << 4;
        QTest::newRow("Ctrl+PgUp") << (Qt::CTRL | Qt::Key_PageUp) << 2;
        QTest::newRow("Ctrl+Tab") << (Qt::CTRL | Qt::Key_Tab) << 4;
        QTest::newRow("Ctrl+Shift+Tab") << (Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab) << 2;
        QTest::newRow("Alt+1") << (Qt::ALT | Qt::Key_1) << 0;
        QTest::newRow("Alt+9") << (Qt::ALT | Qt::Key_9) << 8;
        QTest::newRow("Alt+0") << (Qt::ALT | Qt::Key_0) << 9;
    }

    void sheetKeysShowTheirSheet()
    {
        QFETCH(QKeyCombination, key);
        QFETCH(int, sheet);
        showActive();
        m_form->Tabs->setCurrentIndex(3);
        QTest::keyClick(button(0), key.key(), key.keyboardModifiers());
        QCOMPARE(m_form->shownTab(), sheet);
        // From the last sheet the next is the first.
        m_form->Tabs->setCurrentIndex(9);
        QTest::keyClick(button(0), Qt::Key_PageDown, Qt::ControlModifier);
        QCOMPARE(m_form->shownTab(), 0);
    }

    void theOperatorsKeysWinOverTheBoardsOwn()
    {
        restartWith({u"Keys/Alt+2=0,3"_s, u"Keys/F10=0,1"_s});
        showActive();
        QTest::keyClick(button(0), Qt::Key_2, Qt::AltModifier);
        settle();
        QCOMPARE(m_form->shownTab(), 0);
        QCOMPARE(m_player->fileName(), m_files[3]);
        QTest::keyClick(button(0), Qt::Key_F10, Qt::ShiftModifier); // queues F10's song, opens no menu
        settle();
        QCOMPARE(m_form->core().PlayQueue, (QStringList{m_files[3], m_files[1]}));
        QVERIFY(!m_form->TabPopup->isVisible());
    }

    void theMenuKeyOpensTheFocusedButtonsMenuWithoutAPress()
    {
        showActive();
        QTest::keyClick(button(0), Qt::Key_Right);
        QTest::keyClick(button(1), Qt::Key_Right);
        QTest::keyClick(button(2), Qt::Key_F10, Qt::ShiftModifier);
        QTRY_VERIFY(m_form->TabPopup->isVisible());
        QCOMPARE(m_form->Tag, 2);
        m_form->TabPopup->hide();
        QTest::keyClick(button(2), Qt::Key_Right);
        QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(5, 5),
                                  button(3)->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(button(3), &menuKey);
        QTRY_VERIFY(m_form->TabPopup->isVisible());
        QCOMPARE(m_form->Tag, 3);
        m_form->TabPopup->hide();
        settle();
        QCOMPARE(m_player->fileName(), QString()); // nothing played
        QVERIFY(m_form->core().PlayQueue.isEmpty());
    }

    void transportKeysRunTheBoardAndAreStoredByName()
    {
        restartWith({u"Keys/P=pause"_s, u"Keys/F12= Stop All "_s, u"Keys/F11=Fade"_s, u"Keys/F1=0,0"_s,
                     u"Keys/F5=Next Sheet"_s});
        m_player->setSendPlayStateChangeEvents(true); // the first window switched them off as it closed
        showActive();
        QCOMPARE(m_form->slotKeys().keyOf(KeyCommand::Play), QKeySequence(Qt::Key_Space));  // by default
        QCOMPARE(m_form->slotKeys().keyOf(KeyCommand::Audition), QKeySequence(Qt::Key_F9)); // by default
        // A key for Next Sheet beside the board's own Ctrl+Page Down and Ctrl+Page Up.
        QTest::keyClick(button(0), Qt::Key_F5);
        QCOMPARE(m_form->board().shownSheet(), 1);
        QTest::keyClick(button(0), Qt::Key_PageUp, Qt::ControlModifier);
        QCOMPARE(m_form->board().shownSheet(), 0);
        QTest::keyClick(button(0), Qt::Key_F1, Qt::ShiftModifier);
        QTest::keyClick(button(0), Qt::Key_Space);
        settle();
        QCOMPARE(m_player->fileName(), m_files[0]);
        QTest::keyClick(button(0), Qt::Key_P);
        settle();
        QCOMPARE(m_form->core().PlayState, TPlayState::psPaused);
        QTest::keyClick(button(0), Qt::Key_Space); // resumes, as Play does
        settle();
        QCOMPARE(m_form->core().PlayState, TPlayState::psPlaying);
        QTest::keyClick(button(0), Qt::Key_F11);
        QVERIFY(m_form->core().FadeTimer->Enabled());
        QCOMPARE(m_form->slotKeys().keyOf(KeyCommand::StopAll), QKeySequence(Qt::Key_F12));
        QTest::keyClick(button(0), Qt::Key_F12);
        settle();
        QVERIFY(idle());

        // A key for Stop Song, given in the dialog, is stored by name; Space and F9 are never written.
        whenOpen<TfrmAssignKey>(this, [](TfrmAssignKey* dialog) { QTest::keyClick(dialog, Qt::Key_F7); });
        m_form->assignCommandKey(KeyCommand::StopSong);
        QCOMPARE(registryValue(QStringLiteral("Keys"), QStringLiteral("F7")), QStringLiteral("Stop Song"));
        QCOMPARE(registryValue(QStringLiteral("Keys"), QStringLiteral("F9")), QStringLiteral("<missing>"));
        QCOMPARE(registryValue(QStringLiteral("Keys"), QStringLiteral("Space")), QStringLiteral("<missing>"));
    }

    void withAuditionOnAClickAndASlotKeyPlayOnlyOnThePreview()
    {
        restartWith({u"Keys/F1=0,1"_s});
        FakePreviewPlayer previewPlayer;
        FakeOutputDevices previewOutputs;
        PreviewControl preview(previewPlayer, previewOutputs, *m_registry);
        m_form->setPreview(&preview);
        preview.setOutput(u"phones"_s);
        auto* audition = new AuditionControl(
            m_form->core(), preview,
            {m_form->ToolBar, m_form->mnuKeys, m_form->TabControl, m_form->statusBar()}, m_form.get());
        showActive();
        QTest::keyClick(button(0), Qt::Key_F9);
        QVERIFY(m_form->core().audition() && audition->button()->isChecked());
        press(3);
        QTest::keyClick(button(0), Qt::Key_F1);
        settle();
        QCOMPARE(m_preview.plays, 2);
        QCOMPARE(m_preview.path, m_files[1]);
        QCOMPARE(m_player->fileName(), QString()); // nothing in the house
        QCOMPARE(colours(4), QList<QColor>(4, colours(4).first()));
        // The board in Audition's colour, for the help and the README.
        const QImage window = shot(*m_form);
        QCOMPARE(window.pixelColor(m_form->TabControl->mapTo(m_form.get(), QPoint(2, 60))),
                 AuditionControl::Colour);
        const QWidget* auditionButton = audition->button();
        QCOMPARE(
            window.pixelColor(auditionButton->mapTo(m_form.get(), QPoint(3, auditionButton->height() / 2))),
            AuditionControl::Colour);
        if (const QString docs = qEnvironmentVariable("SONAVEX_DOCS_SHOTS"); !docs.isEmpty())
            QVERIFY(window.save(docs + u"/audition.png"_s));
        // The show view's tiles keep inside Audition's frame.
        QTest::keyClick(button(0), Qt::Key_F11);
        QCoreApplication::processEvents();
        QCOMPARE(shot(*m_form).pixelColor(m_form->TabControl->mapTo(m_form.get(), QPoint(2, 200))),
                 AuditionControl::Colour);
        QTest::keyClick(m_form.get(), Qt::Key_F11);
        // Its Stop stops the audition, with nothing in the house; Audition off stops it too.
        QVERIFY(m_form->btnStop->isEnabled() && m_form->mnuStopAll->isEnabled());
        m_form->btnStop->click();
        QVERIFY(!m_preview.from && !m_form->btnStop->isEnabled());
        press(3);
        QTest::keyClick(button(0), Qt::Key_F9);
        QVERIFY(!m_form->core().audition() && !m_preview.from);
        closeBoard(); // before the preview it follows
    }

    void whatPlaysShowsInAStripAndTheMasterLevelOnTheToolBar()
    {
        restartWith({u"Keys/F5=Master Down"_s, u"Keys/F6=Master Up"_s});
        showActive();
        QVERIFY(m_form->Playing->isHidden());
        QVERIFY(m_form->MasterLevel->isVisible());
        QCOMPARE(m_form->btnFadeAll->x(), m_form->btnFade->x() + 41); // beside Fade
        QCOMPARE(m_form->FadeControl1->parent(), m_form->mnuFadeAll->parent());
        const QRect lastButton = button(35)->geometry();

        press(1);
        settle();
        QList<PlayingSound> sounds = m_form->core().playing();
        QCOMPARE(sounds.size(), 1);
        sounds << PlayingSound{1, 0, 4, u"Rain on the roof"_s, 12, 95, false, u"Stage monitors"_s}
               << PlayingSound{2, 0, 7, u"Thunder"_s, 3, 9, false, u"Channels 5-6 of Rack"_s};
        Q_EMIT m_form->core().playingChanged(sounds);
        QVERIFY(m_form->Playing->isVisible());
        QCOMPARE(m_form->Playing->rows().size(), 3);
        QCOMPARE(m_form->Playing->rows()[0]->sound().title, m_form->core().nowPlaying().title);
        QTRY_VERIFY(m_form->Playing->geometry().top() >= m_form->TabControl->geometry().bottom());
        QVERIFY(m_form->TabControl->rect().contains(lastButton)); // the buttons keep their room

        // The master level keys, and the slider follows whoever set the level.
        QTest::keyClick(m_form.get(), Qt::Key_F5);
        QTest::keyClick(m_form.get(), Qt::Key_F5);
        QCOMPARE(m_form->core().masterLevel(), -2 * SlotKeys::MasterStepDb);
        QCOMPARE(m_form->MasterLevel->slider()->value(), -6);
        QTest::keyClick(m_form.get(), Qt::Key_F6);
        QTest::keyClick(m_form.get(), Qt::Key_F6);
        QTest::keyClick(m_form.get(), Qt::Key_F6);
        QCOMPARE(m_form->core().masterLevel(), 0.0); // held at 0
        m_form->MasterLevel->slider()->setValue(-14);
        QCOMPARE(m_form->core().masterLevel(), -14.0);
        m_form->MasterLevel->setPeakSource(
            [] { return 0.5; }); // the meter beside it, as the board's players give it
        QTRY_VERIFY(m_form->MasterLevel->meter()->shownDb() > -7);
        if (const QString docs = qEnvironmentVariable("SONAVEX_DOCS_SHOTS"); !docs.isEmpty())
            QVERIFY(shot(*m_form).save(docs + u"/playing-strip.png"_s));

        // In the show view too.
        m_form->core().setShowView(true);
        QCoreApplication::processEvents();
        QVERIFY(m_form->Playing->isVisible());
        QTRY_VERIFY(m_form->MasterLevel->isVisible());
        for (const QToolButton* b : m_form->ToolBar->findChildren<QToolButton*>(Qt::FindDirectChildrenOnly))
            QVERIFY(!b->geometry().intersects(m_form->MasterLevel->geometry()));
        m_form->core().setShowView(false);
        m_form->MasterLevel->setPeakSource({});
        Q_EMIT m_form->core().playingChanged({});
        QVERIFY(m_form->Playing->isHidden());
        m_form->btnStop->click();
    }

    void spaceGivenToASlotPlaysThatSlot()
    {
        closeBoard();
        writeRegistry(QStringLiteral("Keys"), QStringLiteral("Space"), QStringLiteral("0,2"));
        startWithNoPlayKeyAndPressSpace();
        QCOMPARE(m_player->fileName(), m_files[2]);
    }

    void playsKeyClearedStaysClearedAtTheNextStart()
    {
        showActive();
        whenOpen<TfrmKeys>(this, [](TfrmKeys* list) {
            QCOMPARE(list->lstKeys->item(0, 0)->text(), u"Space"_s);
            list->lstKeys->setCurrentCell(0, 0);
            list->btnClear->click();
            list->reject();
        });
        m_form->mnuKeys->trigger();
        QCOMPARE(registryValue(u"Keys"_s, u"none"_s), u"Play"_s);
        whenOpen<TfrmKeys>(this, [](TfrmKeys* list) { // Show View's F11 too: both are said
            QCOMPARE(list->lstKeys->item(8, 0)->text(), u"F11"_s);
            list->lstKeys->setCurrentCell(8, 0);
            list->btnClear->click();
            list->reject();
        });
        m_form->mnuKeys->trigger();
        QCOMPARE(registryValue(u"Keys"_s, u"none"_s), u"Play,Show View"_s);
        closeBoard();
        startWithNoPlayKeyAndPressSpace();
        QVERIFY(m_form->slotKeys().keyOf(KeyCommand::ShowView).isEmpty());
        QCOMPARE(m_form->core().PlayState, TPlayState::psStopped);
        // Given a key again, Play leaves the marker.
        whenOpen<TfrmAssignKey>(this, [](TfrmAssignKey* dialog) { QTest::keyClick(dialog, Qt::Key_F8); });
        m_form->assignCommandKey(KeyCommand::Play);
        QCOMPARE(registryValue(u"Keys"_s, u"none"_s), u"Show View"_s);
        QCOMPARE(registryValue(u"Keys"_s, u"F8"_s), u"Play"_s);
    }

    void showViewSwapsTheButtonsForTilesOnItsKeyAndIsStored()
    {
        restartWith({u"Keys/F2=0,1"_s});
        showActive();
        auto* grid = m_form->findChild<ShowGrid*>();
        QVERIFY(grid && !grid->isVisible());
        const auto rows = m_form->keyListRows();
        QVERIFY(std::any_of(rows.cbegin(), rows.cend(), [](const KeyListRow& r) {
            return r.button == u"Show View"_s && r.key == u"F11"_s;
        }));
        m_form->resize(1200, 900);
        QTest::keyClick(button(0), Qt::Key_F11);
        settle();
        QVERIFY(grid->isVisible() && !button(0)->isVisible());
        QCOMPARE(grid->keyCaption(1), u"F2"_s);
        QVERIFY(grid->hasFocus());
        QTest::keyClick(grid, Qt::Key_Tab, Qt::ShiftModifier); // the tiles are one Tab stop, as the buttons
        QVERIFY(m_form->Tabs->hasFocus());
        QTest::keyClick(m_form->Tabs, Qt::Key_Tab);
        QVERIFY(grid->hasFocus());
        QCOMPARE(registryValue(u"System"_s, u"ShowView"_s), u"1"_s);
        // The tiles take the window's room below the tabs.
        QVERIFY(grid->width() >= m_form->TabControl->width() - 8);
        QVERIFY(grid->geometry().bottom() >= m_form->TabControl->height() - 8);
        QVERIFY(grid->geometry().top() >= m_form->Tabs->geometry().bottom());
        // A click plays, a right-click opens the button's menu, and the keys play as before.
        QTest::mouseClick(grid, Qt::LeftButton, {}, grid->tileRect(2).center());
        settle();
        QCOMPARE(m_player->fileName(), m_files[2]);
        QTest::mouseClick(grid, Qt::RightButton, {}, grid->tileRect(3).center());
        QTRY_VERIFY(m_form->TabPopup->isVisible());
        QCOMPARE(m_form->Tag, 3);
        m_form->TabPopup->hide();
        showActive();
        grid->setFocus();
        QTest::keyClick(grid, Qt::Key_F2, Qt::ShiftModifier);
        settle();
        QCOMPARE(m_form->core().PlayQueue.size(), 2);
        // A file dropped onto a free tile becomes its song, as on a button.
        QVERIFY(dropFiles(grid, grid->tileRect(10).center(), {makeFile(u"dropped.wav"_s)}));
        QTRY_COMPARE(m_form->songInfo().title(0, 10), u"dropped"_s);
        // Off again: the buttons are back, with the focus where the tiles had it.
        QTest::keyClick(grid, Qt::Key_Right);
        QTest::keyClick(grid, Qt::Key_F11);
        QVERIFY(!grid->isVisible() && button(0)->isVisible());
        QVERIFY(button(4)->hasFocus());
        QCOMPARE(registryValue(u"System"_s, u"ShowView"_s), u"0"_s);
        // Stored on, it starts on.
        restartWith({u"System/ShowView=1"_s, u"Keys/F3=0,2"_s});
        showActive();
        QVERIFY(m_form->findChild<ShowGrid*>()->isVisible());
        QCOMPARE(m_form->findChild<ShowGrid*>()->keyCaption(2), u"F3"_s);
    }

    void keyCaptionsShowUnlessSwitchedOffAndTheChoiceIsStored()
    {
        restartWith({u"Keys/F1=0,1"_s});
        QVERIFY(m_form->mnuShowKeys->isChecked());
        QVERIFY(button(1)->ShowKey());
        QCOMPARE(button(1)->KeyHint(), QStringLiteral("F1"));
        m_form->mnuShowKeys->trigger();
        QVERIFY(!button(1)->ShowKey());
        QCOMPARE(registryValue(QStringLiteral("System"), QStringLiteral("ShowKeys")), QStringLiteral("0"));
        closeBoard();
        createForm();
        QVERIFY(!m_form->mnuShowKeys->isChecked());
        QVERIFY(!button(1)->ShowKey());
    }

    void timeLeftShowsRedForTheLastSecondsAndIsNeverCut()
    {
        press(0); // 61 s long
        m_player->setPosition(51.0);
        m_form->mnuShowTimeLeft->trigger();
        QLabel* panel = m_form->StatusPanels[0];
        QCOMPARE(panel->text(), QStringLiteral("-00:10"));
        QVERIFY(panel->contentsRect().width() >= panel->fontMetrics().horizontalAdvance(panel->text()));
        QCOMPARE(panel->palette().color(QPalette::WindowText), Red);
        // Switched off, the panel shows the position again, in green.
        m_form->mnuShowTimeLeft->trigger();
        QVERIFY(!m_form->mnuShowTimeLeft->isChecked());
        QCOMPARE(panel->text(), QStringLiteral("00:51"));
        QCOMPARE(panel->palette().color(QPalette::WindowText), Green);
        QCOMPARE(panel->width(), 75);
    }

    void theKeyListShowsEveryKeyAndNoteInOrderAndSavesItAsText()
    {
        // note 2 50: no key
        restartWith({u"Keys/F3=1,0"_s, u"Keys/F2=0,4"_s, u"Keys/F1=0,1"_s, u"Keys/F12=Stop All"_s,
                     u"Midi/note 1 36=0,4"_s, u"Midi/note 1 40=queue 0,4"_s, u"Midi/note 2 50=2,3"_s,
                     u"Midi/note 1 41=fadeall"_s, u"Midi/cc 1 7=master"_s});
        qputenv("SONAVEX_MIDI", "off");
        const auto restore = qScopeGuard([] { qunsetenv("SONAVEX_MIDI"); });
        MidiControl midi(&m_form->core(), m_form->board(), *m_registry);
        midi.start();
        m_form->setMidi(&midi);
        const QList<KeyListRow> rows = m_form->keyListRows();
        QStringList lines;
        for (const KeyListRow& r : rows)
            lines << QStringList{r.key, r.midi, r.sheet, r.button, r.title}.join(QLatin1Char('|'));
        QCOMPARE(lines,
                 (QStringList{
                     u"Space|||Play|"_s, u"|||Stop Song|"_s, u"F12|||Stop All|"_s, u"|||Pause|"_s,
                     u"|||Fade|"_s, u"|||Next Sheet|"_s, u"|||Previous Sheet|"_s, u"F9|||Audition|"_s,
                     u"F11|||Show View|"_s, u"|Note 41 ch 1||Fade All|"_s,
                     // The master level's fader stands on Master Up's line.
                     u"|Control 7 ch 1||Master Up|"_s, u"|||Master Down|"_s, u"F1||Music Sheet 1|2|B"_s,
                     u"F2|Note 36 ch 1, Shift: Note 40 ch 1|Music Sheet 1|5|A again"_s,
                     u"F3||Music Sheet 2|1|<empty>"_s, u"|Note 50 ch 2|Music Sheet 3|4|<empty>"_s,
                     // The menus' own keys close the list, for the paperwork.
                     u"Ctrl+O||(menu)|Open Tab Editor|"_s, u"Ctrl+P||(menu)|Play Song|"_s,
                     u"Ctrl+S||(menu)|Stop Song|"_s, u"Ctrl+A||(menu)|Stop All|"_s, u"Ctrl+X||(menu)|Exit|"_s,
                     u"Ctrl+F||(menu)|Fade Control|"_s, u"Ctrl+E||(menu)|IE Style|"_s}));

        const QString saved = m_env->root() + QStringLiteral("/keys.txt");
        m_dialogs->fileAnswers = {saved};
        whenOpen<TfrmKeys>(this, [&](TfrmKeys* list) {
            // Enter gives the selected line a key, and the list stays open; Next Sheet learns a control.
            // The columns keep their widths, though the longest texts are scrolled out of sight.
            list->resize(list->width(), 200);
            QCoreApplication::sendPostedEvents(); // the layout follows the new height
            list->lstKeys->setCurrentCell(1, 0);
            QList<int> widths;
            for (int c = 0; c < list->lstKeys->columnCount(); ++c)
                widths << list->lstKeys->columnWidth(c);
            whenOpen<TfrmAssignKey>(list, [](TfrmAssignKey* dialog) { QTest::keyClick(dialog, Qt::Key_F7); });
            QTest::keyClick(list->lstKeys, Qt::Key_Return);
            QVERIFY(list->isVisible());
            QCOMPARE(list->lstKeys->item(1, 0)->text(), u"F7"_s);
            for (int c = 0; c < list->lstKeys->columnCount(); ++c)
                QCOMPARE(list->lstKeys->columnWidth(c), widths[c]);
            list->lstKeys->setCurrentCell(5, 0);
            QTimer::singleShot(0, list, [&] { midi.remote().act({MidiMessageId::Kind::Control, 1, 20}); });
            list->btnAssign->click();
            QCOMPARE(list->lstKeys->item(5, 1)->text(), u"Control 20 ch 1"_s);
            QCOMPARE(registryValue(u"Midi"_s, u"cc 1 20"_s), u"nextsheet"_s);
            list->lstKeys->setCurrentCell(13, 0); // F2 and its notes, cleared from the list
            list->btnClear->click();
            QCOMPARE(list->lstKeys->rowCount(), 22);
            list->lstKeys->setCurrentCell(17, 0); // a menu's key is only listed
            QVERIFY(!list->btnAssign->isEnabled() && !list->btnClear->isEnabled());
            QTest::keyClick(list->lstKeys, Qt::Key_Return);
            QCOMPARE(list->lstKeys->item(17, 0)->text(), u"Ctrl+S"_s);
            list->btnSave->click();

            // The input narrowed to a channel and a device, stored beside the assignments.
            whenOpen<TfrmMidiInput>(list, [](TfrmMidiInput* input) {
                input->cboChannel->setCurrentText(u"5"_s);
                input->cboDevice->setEditText(u"LPMiniMK3"_s);
                input->accept();
            });
            QVERIFY(list->btnMidiInput);
            list->btnMidiInput->click();
            list->reject();
        });
        m_form->mnuKeys->trigger();
        QCOMPARE(registryValue(u"Midi"_s, u"note 1 36"_s), u"<missing>"_s);
        QCOMPARE(registryValue(u"Midi"_s, u"note 1 40"_s), u"<missing>"_s);
        QCOMPARE(registryValue(u"Midi"_s, u"input channel"_s), u"5"_s);
        QCOMPARE(registryValue(u"Midi"_s, u"input device"_s), u"LPMiniMK3"_s);
        QCOMPARE(midi.input().channel, 5);
        QFile file(saved);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QStringList text =
            QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(text.size(), 23);
        QVERIFY(text[0].startsWith(u"Key"_s) && text[0].endsWith(u"Title"_s));
        // A line without a key keeps its columns.
        QCOMPARE(text[4].indexOf(u"Pause"_s), text[0].indexOf(u"Button"_s));
        QVERIFY(text[15].contains(u"Note 50 ch 2"_s) && text[15].endsWith(u"<empty>"_s));
        QVERIFY(m_form->slotKeys().keyOf(SlotRef{0, 4}).isEmpty());
        QCOMPARE(registryValue(u"Midi"_s, u"cc 1 7"_s), u"master"_s); // the master fader stays
        m_form->setMidi(nullptr);
    }

    void theOutputChoiceListsTheStoredOneAndIsStored()
    {
        m_outputs.devices = {{QStringLiteral("builtin"), QStringLiteral("Built-in Audio")},
                             {QStringLiteral("hdmi"), QStringLiteral("Monitor")}};
        restartWith({u"System/OutputDevice=usb_desk"_s});
        QCOMPARE(m_outputs.chosen, QStringLiteral("usb_desk"));

        // The stored output is listed while it is away; the choice is written as the server's name.
        QStringList listed;
        whenOpen<TfrmOutputDevice>(this, [&](TfrmOutputDevice* dialog) {
            for (int i = 0; i < dialog->lstOutputs->count(); ++i)
                listed << dialog->lstOutputs->item(i)->text();
            QCOMPARE(dialog->chosen(), QStringLiteral("usb_desk"));
            dialog->lstOutputs->setCurrentRow(2);
            dialog->BitBtn1->click();
        });
        m_form->mnuOutputDevice->trigger();
        QCOMPARE(listed,
                 (QStringList{QStringLiteral("Default output"), QStringLiteral("Built-in Audio"),
                              QStringLiteral("Monitor"), QStringLiteral("usb_desk (not connected)")}));
        QCOMPARE(m_outputs.chosen, QStringLiteral("hdmi"));
        QCOMPARE(registryValue(QStringLiteral("System"), QStringLiteral("OutputDevice")),
                 QStringLiteral("hdmi"));
    }

    void evenLevelsAreOffUntilChosenAndTheChoiceIsStored()
    {
        SongLevels levels(QString{});
        const auto nextRun = [&] {
            closeBoard();
            m_player = std::make_unique<FakeMediaPlayer>();
            openBoard(std::make_unique<TSongInfo>(*m_registry, *m_dialogs), &levels);
        };
        nextRun();
        QCOMPARE(m_form->mnuEvenLevels->text().remove(QLatin1Char('&')), QStringLiteral("Even Levels"));
        QVERIFY(m_form->mnuEvenLevels->isCheckable() && !m_form->mnuEvenLevels->isChecked());
        QVERIFY(!levels.enabled());
        m_form->mnuEvenLevels->trigger();
        QVERIFY(levels.enabled());
        QCOMPARE(registryValue(QStringLiteral("System"), QStringLiteral("EvenLevels")), QStringLiteral("1"));
        nextRun();
        QVERIFY(m_form->mnuEvenLevels->isChecked());
        m_form->mnuEvenLevels->trigger();
        QVERIFY(!levels.enabled());
        QCOMPARE(registryValue(QStringLiteral("System"), QStringLiteral("EvenLevels")), QStringLiteral("0"));
        closeBoard(); // before the levels it was given
    }

    void tabChangeShowsThatSheet()
    {
        putSong(m_form->songInfo(), 4, 35, QStringLiteral("Finale"), m_files[2]);
        m_form->Tabs->setCurrentIndex(4);
        QCOMPARE(button(35)->Caption(), QStringLiteral("Finale"));
        QCOMPARE(button(0)->Caption(), QStringLiteral("<empty>"));
    }

    void theTabUnderThePointerLightsUp()
    {
        showExposed();
        QTabBar* tabs = m_form->Tabs;
        const auto hover = [&](QEvent::Type type, QPoint at) {
            QHoverEvent e(type, QPointF(at), tabs->mapToGlobal(QPointF(at)), QPointF(-1, -1));
            QApplication::sendEvent(tabs, &e);
            return tabs->grab().toImage().copy(tabs->tabRect(3));
        };
        const QImage before = tabs->grab().toImage().copy(tabs->tabRect(3));
        QVERIFY(hover(QEvent::HoverEnter, tabs->tabRect(3).center()) != before);
        QCOMPARE(hover(QEvent::HoverMove, tabs->tabRect(5).center()), before);
        QVERIFY(hover(QEvent::HoverMove, tabs->tabRect(3).center()) != before);
        QCOMPARE(hover(QEvent::HoverLeave, QPoint(-1, -1)), before);
        // The shown tab stays as it is.
        const QImage shown = tabs->grab().toImage().copy(tabs->tabRect(0));
        hover(QEvent::HoverMove, tabs->tabRect(0).center());
        QCOMPARE(tabs->grab().toImage().copy(tabs->tabRect(0)), shown);
    }
    void aSongFileDriveThatHangsNeverHoldsTheWindow_data()
    {
        QTest::addColumn<bool>("rescue");
        QTest::newRow("the drive answers at Exit") << false;
        QTest::newRow("the rescue file is chosen") << true;
    }

    void aSongFileDriveThatHangsNeverHoldsTheWindow()
    {
        QFETCH(bool, rescue);
        HangingDrive drive;
        if (!drive.usable())
            QSKIP("needs bindfs and /dev/fuse");
        const QByteArray theirs = bytesOf(makeSong(QStringLiteral("On the drive"), 0, 7));
        QFile file(drive.backing() + QLatin1String("/songs.inf"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(theirs);
        file.close();
        writeRegistry(QStringLiteral("System"), QStringLiteral("InfoPath"),
                      drive.mountPoint() + QLatin1String("/songs.inf"));
        closeBoard();
        m_dialogs->messages.clear();

        drive.hang();
        // Should the window wait on the drive, the drive answers after a while and the test
        // fails instead of hanging.
        std::atomic<bool> over{false};
        std::thread watchdog([&drive, &over] {
            for (int i = 0; i < 160 && !over; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            drive.answer();
        });
        const auto release = qScopeGuard([&] {
            over = true;
            watchdog.join();
        });
        openBoard(std::make_unique<TSongInfo>(*m_registry, *m_dialogs, TSongInfo::Load::Later));
        m_form->loadSongs();
        m_form->show();
        QTRY_VERIFY_WITH_TIMEOUT(m_form->NewsPanel->text().contains(QLatin1String("does not answer")), 3000);

        // Exit while it hangs: the window stays and offers the rescue file.
        m_form->Exit1Click();
        QVERIFY(m_form->isVisible());
        QPushButton* offer = nullptr;
        QTRY_VERIFY_WITH_TIMEOUT((offer = m_form->findChild<QPushButton*>(QStringLiteral("btnRescue"))) &&
                                     offer->isVisible(),
                                 3000);
        QVERIFY(m_form->NewsPanel->text().startsWith(QLatin1String("Waiting for the song file's drive")));
        QVERIFY(m_dialogs->messages.isEmpty());
        if (rescue) {
            offer->click();
            QVERIFY(!m_form->isVisible());
            QCOMPARE(m_dialogs->messages.size(), 1);
            QVERIFY(m_dialogs->messages[0].text.startsWith(QLatin1String("Unable to save file!")));
            const QDir rescues(m_env->dataDir() + QLatin1String("/Sonavex"));
            QCOMPARE(rescues.entryList({QStringLiteral("songs-rescued-*.inf")}).size(), 1);
        } else {
            drive.answer();
            QTRY_VERIFY_WITH_TIMEOUT(!m_form->isVisible(), 3000);
        }
        closeBoard();
        // Nothing was changed in the run: the song file keeps its songs either way.
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), theirs);
    }
    void aFileDroppedOnAButtonBecomesItsSongAsTheEditorAddsIt_data()
    {
        QTest::addColumn<int>("slot");
        QTest::addColumn<QList<Dialogs::Answer>>("answers");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("question");
        QTest::newRow("free button") << 6 << QList<Dialogs::Answer>{} << u"new song"_s << QString();
        QTest::newRow("song kept") << 1 << QList<Dialogs::Answer>{Dialogs::Answer::No} << u"B"_s
                                   << u"Replace B with new song, are you sure?"_s;
        QTest::newRow("song replaced") << 1 << QList<Dialogs::Answer>{Dialogs::Answer::Yes} << u"new song"_s
                                       << u"Replace B with new song, are you sure?"_s;
    }

    void aFileDroppedOnAButtonBecomesItsSongAsTheEditorAddsIt()
    {
        QFETCH(int, slot);
        QFETCH(QList<Dialogs::Answer>, answers);
        QFETCH(QString, caption);
        QFETCH(QString, question);
        const QString file = makeFile(u"new song.MP3"_s);
        m_dialogs->answers = answers;
        QVERIFY(dropFiles(slot, {file}));
        QCOMPARE(button(slot)->Caption(), caption);
        QCOMPARE(m_dialogs->messages.size(), question.isEmpty() ? 0 : 1);
        if (!question.isEmpty())
            QCOMPARE(m_dialogs->messages[0].text, question);
        if (caption == u"new song"_s) {
            const SongTexts texts = m_form->songInfo().texts(0, slot);
            QCOMPARE(texts, (SongTexts{u"New Artist"_s, u"New Album"_s, u"new song"_s, file}));
            // Kept at Exit as the editor's songs are.
            closeBoard();
            FakeDialogs dialogs;
            TSongInfo saved(*m_registry, dialogs);
            QCOMPARE(saved.fileName(0, slot), file);
        }
    }

    void severalFilesAndFoldersFillTheFreeButtonsFromThere()
    {
        // Slot 34 onwards: 34 and 35 are free, then the next sheet from its first button.
        QDir(m_env->root()).mkdir(u"show"_s);
        const QString folder = m_env->root() + u"/show"_s;
        QFile(m_files[0]).copy(folder + u"/Zebra.wav"_s);
        QFile(m_files[0]).copy(folder + u"/apple.MID"_s);
        QFile(m_files[0]).copy(folder + u"/cover.jpg"_s);
        const QString single = makeFile(u"single.au"_s);
        QVERIFY(dropFiles(34, {single, folder}));
        TSongInfo& songs = m_form->songInfo();
        QCOMPARE(songs.title(0, 34), u"single"_s);
        QCOMPARE(songs.title(0, 35), u"apple"_s);
        QCOMPARE(songs.title(1, 0), u"Zebra"_s);
        QCOMPARE(button(34)->Caption(), u"single"_s);
        QVERIFY(m_dialogs->messages.isEmpty()); // a folder's other files are not its songs

        // Onto a filled button: the free ones after it, never a song that is there.
        const QStringList more = {makeFile(u"x.wav"_s), makeFile(u"y.wav"_s)};
        QVERIFY(dropFiles(2, more));
        QCOMPARE(songs.title(0, 2), u"C"_s);
        QCOMPARE(songs.title(0, 5), u"x"_s);
        QCOMPARE(songs.title(0, 6), u"y"_s);
        // A folder of one song fills a free button too, without a question.
        QDir(m_env->root()).mkdir(u"one"_s);
        QFile(m_files[0]).copy(m_env->root() + u"/one/only.wav"_s);
        QVERIFY(dropFiles(0, {m_env->root() + u"/one"_s}));
        QCOMPARE(songs.title(0, 0), u"A"_s);
        QCOMPARE(songs.title(0, 7), u"only"_s);
        QVERIFY(m_dialogs->messages.isEmpty());
    }

    void whatCannotBePlayedIsNamedInOneMessage()
    {
        const QString text = makeFile(u"notes.txt"_s);
        const QString song = makeFile(u"fine.wav"_s);
        const QString gone = m_env->root() + u"/gone.wav"_s;
        QDir(m_env->root()).mkdir(u"empty"_s);
        QVERIFY(dropFiles(6, {text, song, gone, m_env->root() + u"/empty"_s}));
        QCOMPARE(m_form->songInfo().title(0, 6), u"fine"_s);
        QCOMPARE(m_dialogs->messages.size(), 1);
        QCOMPARE(m_dialogs->messages[0].text,
                 u"Cannot play these:\n"_s + text + u"\n"_s + gone + u"\n"_s + m_env->root() + u"/empty/"_s);
        QCOMPARE(m_dialogs->messages[0].style, Dialogs::Style::Information);

        // Alone, it is not put on the button either.
        m_dialogs->messages.clear();
        QVERIFY(dropFiles(7, {text}));
        QCOMPARE(button(7)->Caption(), EmptyTitle);
        QCOMPARE(m_dialogs->messages.size(), 1);
        QCOMPARE(m_dialogs->messages[0].text, u"Cannot play "_s + text + u"."_s);
        // Text that is not a file is not taken at all.
        QMimeData words;
        words.setText(u"hello"_s);
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &words, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(button(7), &enter);
        QVERIFY(!enter.isAccepted());
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &words, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(button(7), &drop);
        QVERIFY(!drop.isAccepted()); // the source must not take it for a copy made
    }

    void aDropWhileASongPlaysLeavesTheShowAlone()
    {
        press(0);
        press(2, true); // C waits in the queue
        QCOMPARE(m_form->core().PlayState, TPlayState::psPlaying);
        const int logged = int(m_player->log.size());
        m_dialogs->answers = {Dialogs::Answer::Yes};
        QVERIFY(dropFiles(0, {makeFile(u"other.wav"_s)})); // onto the button that plays
        QVERIFY(dropFiles(6, {makeFile(u"more.wav"_s)}));
        QCOMPARE(m_form->core().PlayState, TPlayState::psPlaying);
        QCOMPARE(m_player->fileName(), m_files[0]);
        QCOMPARE(m_player->log.mid(logged), QStringList{});
        QCOMPARE(m_form->core().PlayQueue, (QStringList{m_files[0], m_files[2]}));
        // The colours follow: the replaced button no longer plays, "A again" still does.
        QCOMPARE(button(0)->fontColor(), Black);
        QCOMPARE(button(4)->fontColor(), Green);
        QCOMPARE(button(6)->Caption(), u"more"_s);
    }
};

QTEST_MAIN(TestMainForm)
#include "tst_frmmain.moc"
