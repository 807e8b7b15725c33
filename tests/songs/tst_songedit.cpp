// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/SongLevels.h"
#include "controls/WaveformView.h"
#include "fakes/FakeDialogs.h"
#include "fakes/FakeSongPreview.h"
#include "fakes/MediaFiles.h"
#include "fakes/SongFixtures.h"
#include "fakes/StoreFixture.h"
#include "fakes/TestEnvironment.h"
#include "platform/Errors.h"
#include "platform/IniRegistry.h"
#include "songs/SongEdit.h"
#include "songs/SongStruc.h"

#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

TSongRecord sample()
{
    TSongRecord rec;
    InitSongRecord(rec);
    rec.Artist.set(QStringLiteral("The Band"));
    rec.Album.set(QStringLiteral("Live"));
    rec.Title.set(QStringLiteral("Opener"));
    rec.FileName.set(QStringLiteral("/music/opener.wav"));
    rec.StartTime.set(QStringLiteral("00:05"));
    rec.StopTime.set(QStringLiteral("03:10"));
    rec.FadeStart.set(QStringLiteral("02:50"));
    rec.FadeDuration.set(QStringLiteral("00:20"));
    rec.Sheet = 3;
    rec.Slot = 12;
    return rec;
}

} // namespace

class TestSongEdit : public QObject, StoreFixture {
    Q_OBJECT

    QByteArray stored(int sheet, int slot) const
    {
        TSongRecord rec;
        return m_store->GetSong(sheet, slot, rec) ? bytesOf(rec) : QByteArray();
    }

    std::unique_ptr<TfrmSongEdit> openShown(int sheet, int slot)
    {
        auto dialog = std::make_unique<TfrmSongEdit>(nullptr, *m_store, sheet, slot);
        dialog->show();
        if (!QTest::qWaitForWindowExposed(dialog.get()))
            qWarning("dialog not exposed");
        return dialog;
    }

private Q_SLOTS:
    void init()
    {
        setUpStore();
        m_store->SetSong(3, 12, sample());
    }

    void cleanup() { tearDownStore(); }

    void opensFromTheSlotsRecord()
    {
        TfrmSongEdit dialog(nullptr, *m_store, 3, 12);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Song Attributes"));
        QCOMPARE(dialog.edtArtist->text(), QStringLiteral("The Band"));
        QCOMPARE(dialog.edtAlbum->text(), QStringLiteral("Live"));
        QCOMPARE(dialog.edtSongTitle->text(), QStringLiteral("Opener"));
        QCOMPARE(dialog.edtStartTime->text(), QStringLiteral("00:05"));
        QCOMPARE(dialog.edtStopTime->text(), QStringLiteral("03:10"));
        QCOMPARE(dialog.edtFadeStart->text(), QStringLiteral("02:50"));
        QCOMPARE(dialog.edtFadeDur->text(), QStringLiteral("00:20"));
        QCOMPARE(dialog.edtTimeMeasure->text(), QStringLiteral("Minutes:Seconds"));
        QCOMPARE(QFontInfo(dialog.edtStartTime->font()).family(), QStringLiteral("DSEG7 Classic"));
    }

    void freeSlotShowsTheDesignTextsAndOkStoresNothingAndNoSlotIsARangeError()
    {
        TfrmSongEdit dialog(nullptr, *m_store, 0, 0);
        QCOMPARE(dialog.edtStartTime->text(), QStringLiteral("00:00"));
        QCOMPARE(dialog.edtFadeDur->text(), QStringLiteral("00:00"));
        QCOMPARE(dialog.edtArtist->text(), QString());
        QCOMPARE(dialog.edtSongTitle->text(), QString());
        dialog.edtSongTitle->setText(QStringLiteral("Not created"));
        dialog.BitBtn1->click();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY(stored(0, 0).isEmpty());
        QVERIFY_THROWS_EXCEPTION(RangeError, TfrmSongEdit(nullptr, *m_store, 10, 0));
        QVERIFY_THROWS_EXCEPTION(RangeError, TfrmSongEdit(nullptr, *m_store, 0, 36));
    }

    void okStoresTheTextsAsTyped_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("kept");
        const QString fifty = QStringLiteral("0123456789").repeated(5);
        QTest::newRow("short time") << QStringLiteral("edtStartTime") << QStringLiteral("1:05")
                                    << QStringLiteral("1:05");
        QTest::newRow("long time") << QStringLiteral("edtStopTime") << QStringLiteral("0001:05")
                                   << QStringLiteral("0001:0");
        QTest::newRow("any text in a time")
            << QStringLiteral("edtFadeDur") << QStringLiteral(" soon ") << QStringLiteral(" soon ");
        QTest::newRow("long artist") << QStringLiteral("edtArtist") << fifty << fifty.left(40);
        QTest::newRow("empty title") << QStringLiteral("edtSongTitle") << QString() << QString();
    }

    void okStoresTheTextsAsTyped()
    {
        QFETCH(QString, field);
        QFETCH(QString, typed);
        QFETCH(QString, kept);
        {
            TfrmSongEdit dialog(nullptr, *m_store, 3, 12);
            auto* edit = dialog.findChild<QLineEdit*>(field);
            QVERIFY(edit);
            edit->setText(typed);
            dialog.edtAlbum->setText(QStringLiteral("Studio"));
            dialog.BitBtn1->click();
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
        }
        // Saved and read again as the next run would.
        reloadStore();
        TSongRecord rec;
        QVERIFY(m_store->GetSong(3, 12, rec));
        const QHash<QString, QString> values = {{QStringLiteral("edtArtist"), rec.Artist.str()},
                                                {QStringLiteral("edtSongTitle"), rec.Title.str()},
                                                {QStringLiteral("edtStartTime"), rec.StartTime.str()},
                                                {QStringLiteral("edtStopTime"), rec.StopTime.str()},
                                                {QStringLiteral("edtFadeDur"), rec.FadeDuration.str()}};
        QCOMPARE(values.value(field), kept);
        QCOMPARE(rec.Album.str(), QStringLiteral("Studio"));
        QCOMPARE(rec.FileName.str(), QStringLiteral("/music/opener.wav"));
        QCOMPARE(int(rec.Sheet), 3);
        QCOMPARE(int(rec.Slot), 12);
        if (field != QLatin1String("edtStartTime"))
            QCOMPARE(rec.StartTime.str(), QStringLiteral("00:05"));
    }

    void okKeepsTextsInAnyScript_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("recordTitle");
        QTest::newRow("Cyrillic") << QStringLiteral("Аплодисменты зала")
                                  << QStringLiteral("Aplodismenty zala");
        QTest::newRow("Greek") << QStringLiteral("Χειροκρότημα") << QStringLiteral("Cheirokrotima");
        QTest::newRow("CJK") << QStringLiteral("拍手") << QStringLiteral("{62CD}{624B}");
        QTest::newRow("Arabic") << QStringLiteral("تصفيق") << QStringLiteral("tsfyq");
        QTest::newRow("emoji") << QStringLiteral("Finale 🎉") << QStringLiteral("Finale {1F389}");
    }

    void okKeepsTextsInAnyScript()
    {
        QFETCH(QString, typed);
        QFETCH(QString, recordTitle);
        {
            TfrmSongEdit dialog(nullptr, *m_store, 3, 12);
            dialog.edtSongTitle->setText(typed);
            dialog.edtArtist->setText(typed);
            dialog.BitBtn1->click();
        }
        reloadStore();
        TfrmSongEdit dialog(nullptr, *m_store, 3, 12);
        QCOMPARE(dialog.edtSongTitle->text(), typed);
        QCOMPARE(dialog.edtArtist->text(), typed);
        // The song file holds a readable stand-in, which older tools show.
        TSongRecord rec;
        QVERIFY(m_store->GetSong(3, 12, rec));
        QCOMPARE(rec.Title.str(), recordTitle);
        QCOMPARE(rec.FileName.str(), QStringLiteral("/music/opener.wav"));
    }

    void okRewritesTheRecordThatIsInTheSlotThen()
    {
        TfrmSongEdit dialog(nullptr, *m_store, 3, 12);
        TSongRecord moved = sample();
        moved.FileName.set(QStringLiteral("/music/replaced.wav"));
        m_store->SetSong(3, 12, moved);
        dialog.BitBtn1->click();
        TSongRecord rec;
        QVERIFY(m_store->GetSong(3, 12, rec));
        QCOMPARE(rec.FileName.str(), QStringLiteral("/music/replaced.wav"));

        TfrmSongEdit again(nullptr, *m_store, 3, 12);
        m_store->ClearSong(3, 12);
        again.BitBtn1->click();
        QVERIFY(stored(3, 12).isEmpty());
    }

    void everyWayOfCancellingLeavesTheRecord_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("Cancel button") << QStringLiteral("button");
        QTest::newRow("Esc") << QStringLiteral("escape");
        QTest::newRow("close box") << QStringLiteral("close");
    }

    void everyWayOfCancellingLeavesTheRecord()
    {
        QFETCH(QString, how);
        const QByteArray before = stored(3, 12);
        auto dialog = openShown(3, 12);
        for (QLineEdit* edit : dialog->findChildren<QLineEdit*>())
            edit->setText(QStringLiteral("changed"));
        QSignalSpy rejected(dialog.get(), &QDialog::rejected);
        if (how == QLatin1String("button"))
            QTest::mouseClick(dialog->BitBtn2, Qt::LeftButton);
        else if (how == QLatin1String("escape"))
            QTest::keyClick(dialog->edtArtist, Qt::Key_Escape);
        else
            dialog->close();
        QCOMPARE(rejected.count(), 1);
        QVERIFY(!dialog->isVisible());
        QCOMPARE(stored(3, 12), before);
    }

    void enterInAnEditPressesOk()
    {
        auto dialog = openShown(3, 12);
        QSignalSpy accepted(dialog.get(), &QDialog::accepted);
        dialog->edtFadeStart->setFocus();
        dialog->edtFadeStart->clear();
        QTest::keyClicks(dialog->edtFadeStart, QStringLiteral("2:55"));
        QTest::keyClick(dialog->edtFadeStart, Qt::Key_Return);
        QCOMPARE(accepted.count(), 1);
        TSongRecord rec;
        QVERIFY(m_store->GetSong(3, 12, rec));
        QCOMPARE(rec.FadeStart.str(), QStringLiteral("2:55"));
    }

    void showsTheSongsLevelReadOnly()
    {
        const QString song = m_env->root() + QLatin1String("/opener.wav");
        TSongRecord rec = sample();
        rec.FileName.set(song);
        m_store->SetSong(3, 12, rec);
        SongLevels levels(QString{});
        QVERIFY(MediaFiles::writeWav(song, MediaFiles::tone(1000.0, 1.0, 0.1)));
        {
            TfrmSongEdit dialog(nullptr, *m_store, 3, 12, &levels);
            QCOMPARE(dialog.lblLevel->text(), QStringLiteral("Level: not measured yet"));
        }
        levels.setEnabled(true);
        levels.measureFirst({song});
        QVERIFY(levels.waitIdle(MediaFiles::IdleWaitMs));
        TfrmSongEdit dialog(nullptr, *m_store, 3, 12, &levels);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        // About -20 LUFS, raised by 4 dB; the whole figures in the hint. It fits beside the buttons.
        QVERIFY2(dialog.lblLevel->text().startsWith(QLatin1String("Level: ")) &&
                     dialog.lblLevel->text().contains(QLatin1String("LUFS, +4.0 dB")),
                 qPrintable(dialog.lblLevel->text()));
        QVERIFY(dialog.lblLevel->toolTip().contains(QLatin1String("dBTP")));
        QVERIFY(dialog.lblLevel->geometry().right() < dialog.BitBtn1->geometry().left());
        QVERIFY(dialog.lblLevel->width() >= dialog.lblLevel->sizeHint().width());
    }

    void theWaveformShowsTheSongOrSaysThereIsNone_data()
    {
        QTest::addColumn<bool>("readable");
        QTest::newRow("a tone") << true;
        QTest::newRow("a file that cannot be read") << false;
    }

    void theWaveformShowsTheSongOrSaysThereIsNone()
    {
        QFETCH(bool, readable);
        const QString song = m_env->root() + QLatin1String("/opener.wav");
        QVERIFY(readable ? MediaFiles::writeWav(song, MediaFiles::tone(440.0, 2.0, 0.5))
                         : MediaFiles::writeBytes(song, QByteArray(64, 'x')));
        TSongRecord rec = sample();
        rec.FileName.set(song);
        m_store->SetSong(3, 12, rec);
        const auto dialog = openShown(3, 12);
        QTRY_VERIFY(dialog->Waveform->hasWaveform() ||
                    !dialog->Waveform->message().startsWith(QLatin1String("Reading")));
        QCOMPARE(dialog->Waveform->hasWaveform(), readable);
        if (readable) {
            QCOMPARE(dialog->Waveform->seconds(), 2.0);
            QCOMPARE(dialog->Waveform->mark(WaveformView::StartMark), std::optional<double>(5.0));
        } else {
            QCOMPARE(dialog->Waveform->message(), QStringLiteral("No waveform"));
        }
        // The dialog's own fields stay where they were; the waveform is below them.
        QVERIFY(dialog->Waveform->geometry().top() > dialog->BitBtn1->geometry().bottom());
    }

    void playFromHereUsesThePreviewOutputOnly()
    {
        const QString song = m_env->root() + QLatin1String("/opener.wav");
        QVERIFY(MediaFiles::writeWav(song, MediaFiles::tone(440.0, 20.0, 0.5)));
        TSongRecord rec = sample();
        rec.FileName.set(song);
        m_store->SetSong(3, 12, rec);
        FakeSongPreview preview;
        preview.why = QStringLiteral("Choose a preview output in Options, Output Device...");
        {
            TfrmSongEdit dialog(nullptr, *m_store, 3, 12, nullptr, &preview);
            QTRY_VERIFY(dialog.Waveform->hasWaveform());
            QVERIFY(!dialog.btnPlayHere->isEnabled());
            QCOMPARE(dialog.btnPlayHere->toolTip(), preview.why);
        }
        preview.why.clear();
        TfrmSongEdit dialog(nullptr, *m_store, 3, 12, nullptr, &preview);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QTRY_VERIFY(dialog.btnPlayHere->isEnabled());
        QTest::mouseClick(dialog.btnPlayHere, Qt::LeftButton);
        QCOMPARE(preview.path, song);
        QCOMPARE(preview.from, std::optional<double>(5.0)); // from the start time until a click
        // A click in the middle plays from there, and the play line follows the preview.
        WaveformView* view = dialog.Waveform;
        const int x = view->xOf(10.0);
        QTest::mouseClick(view, Qt::LeftButton, {}, QPoint(x, view->height() / 2));
        QVERIFY(preview.from && std::abs(*preview.from - 10.0) < 0.2);
        preview.from = 12.0;
        QTRY_COMPARE(view->playLine(), std::optional<double>(12.0));
        QVERIFY(dialog.btnStopPreview->isEnabled());
        QTest::mouseClick(dialog.btnStopPreview, Qt::LeftButton);
        QCOMPARE(preview.from, std::nullopt);
        QVERIFY(!dialog.btnStopPreview->isEnabled());
    }

    void tabWalksTheDocumentedOrder()
    {
        TfrmSongEdit dialog(nullptr, *m_store, 3, 12);
        const QList<QWidget*> expected = {dialog.edtStartTime,  dialog.edtStopTime, dialog.edtFadeStart,
                                          dialog.edtFadeDur,    dialog.edtArtist,   dialog.edtAlbum,
                                          dialog.edtSongTitle,  dialog.BitBtn1,     dialog.BitBtn2,
                                          dialog.edtTimeMeasure};
        QWidget* w = dialog.edtStartTime;
        for (qsizetype i = 1; i < expected.size(); ++i) {
            do
                w = w->nextInFocusChain();
            while (!(w->focusPolicy() & Qt::TabFocus));
            QCOMPARE(w, expected[i]);
        }
        QVERIFY(dialog.BitBtn1->isDefault());
    }
};

QTEST_MAIN(TestSongEdit)
#include "tst_songedit.moc"
