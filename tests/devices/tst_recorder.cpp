// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/MTrkBar.h"
#include "devices/Recorder.h"
#include "fakes/FakeDialogs.h"
#include "fakes/RecordingErrorReporter.h"
#include "fakes/RecordingMciDevice.h"
#include "mci/MciInterface.h"
#include "platform/Errors.h"
#include "platform/Timer.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <memory>

namespace {

using Request = RecordingMciDevice::Request;

/// The message of what `f` raised; empty when it raised nothing.
template <typename F> QString raised(F&& f)
{
    try {
        f();
    } catch (const SonavexError& e) {
        return e.message();
    }
    return {};
}

void tick(TRecForm& form)
{
    QVERIFY(QMetaObject::invokeMethod(form.Timer1, "timeout"));
}

QList<QToolButton*> transport(const TRecForm& form)
{
    return {form.btnPlay, form.btnStop, form.btnPrev, form.btnNext, form.btnPause, form.btnRecord};
}

bool transportEnabled(const TRecForm& form)
{
    for (QToolButton* b : transport(form)) {
        if (!b->isEnabled())
            return false;
    }
    return true;
}

} // namespace

class TestRecorder : public QObject {
    Q_OBJECT

    std::unique_ptr<RecordingMciDevice> m_wave;
    std::unique_ptr<RecordingMciDevice> m_cd;
    FakeDialogs m_dialogs;

    std::unique_ptr<TRecForm> makeForm()
    {
        auto form = std::make_unique<TRecForm>(nullptr, m_dialogs);
        m_wave->clearLog();
        return form;
    }

    /// A window with a wave of `length` ms opened through New, the log cleared.
    std::unique_ptr<TRecForm> withWave(quint32 length)
    {
        auto form = makeForm();
        m_wave->setStatus(MCI_STATUS_POSITION, length);
        form->btnNewClick();
        m_wave->clearLog();
        return form;
    }

private Q_SLOTS:
    void init()
    {
        Mci::reset();
        m_wave = std::make_unique<RecordingMciDevice>(QStringLiteral("waveaudio"));
        m_dialogs = FakeDialogs();
    }

    void cleanup()
    {
        m_wave.reset();
        m_cd.reset();
        Mci::reset();
    }

    void shouldBeLaidOutAsTheRecorder()
    {
        TRecForm form(nullptr, m_dialogs);
        QCOMPARE(form.windowTitle(), QStringLiteral("Recorder"));
        QCOMPARE(form.size(), QSize(305, 260));
        QCOMPARE(form.minimumSize(), form.maximumSize());
        QCOMPARE(form.pos(), QPoint(347, 124));
        QCOMPARE(form.tbStart->geometry(), QRect(57, 86, 226, 22));
        QCOMPARE(form.tbStop->geometry(), QRect(57, 123, 225, 20));
        QCOMPARE(form.Bevel1->geometry(), QRect(0, 196, 304, 3));
        QCOMPARE(form.btnOpen->geometry(), QRect(58, 217, 58, 25));
        QCOMPARE(form.btnSave->geometry(), QRect(189, 217, 58, 25));
        QList<int> lefts;
        for (QToolButton* b : transport(form)) {
            lefts << b->x();
            QCOMPARE(b->size(), QSize(36, 36));
            QCOMPARE(b->y(), 156);
            QCOMPARE(b->focusPolicy(), Qt::NoFocus);
            QVERIFY(!b->isEnabled());
        }
        QCOMPARE(lefts, (QList<int>{26, 70, 113, 157, 200, 243}));
        for (TMTrackBar* t : {form.tbStart, form.tbStop}) {
            QCOMPARE(t->Min(), 0);
            QCOMPARE(t->Max(), 10);
            QVERIFY(!t->ShowTicks());
        }
        QVERIFY(form.btnOpen->isDefault());
        QCOMPARE(form.Timer1->interval(), 250);
        QVERIFY(!form.Timer1->isActive());
        for (QLineEdit* e : {form.edtStart, form.edtStop, form.edtSize}) {
            QCOMPARE(e->text(), QStringLiteral("0000.00"));
            QCOMPARE(e->width(), 84);
            QCOMPARE(e->font().pixelSize(), 24);
            // All seven places show, inside the frame and the edit's own margins.
            QVERIFY(e->fontMetrics().horizontalAdvance(e->text()) <= e->width() - 8);
        }
        QCOMPARE(form.DeviceID, 0u);
        QVERIFY(m_wave->requests().isEmpty());

        // Keyboard order, over the controls that take the focus by Tab.
        QList<QWidget*> order{form.tbStart};
        for (QWidget* w = form.tbStart->nextInFocusChain(); w != form.tbStart; w = w->nextInFocusChain()) {
            if (w->focusPolicy() & Qt::TabFocus)
                order << w;
        }
        QCOMPARE(order, (QList<QWidget*>{form.tbStart, form.tbStop, form.edtStart, form.edtStop, form.edtSize,
                                         form.btnOpen, form.btnNew, form.btnSave}));
    }

    void escapeLeavesTheWindowOpenEnterOpensAndClosingReleasesTheWave()
    {
        auto form = withWave(1000);
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        form->Timer1->setEnabled(true);
        QTest::keyClick(form.get(), Qt::Key_Escape);
        QVERIFY(form->isVisible());

        // Enter presses Open; its dialog is cancelled here, which closes the wave.
        QTest::keyClick(form.get(), Qt::Key_Return);
        QCOMPARE(m_dialogs.fileDialogDirs.size(), 1);
        QCOMPARE(m_wave->commands(), QList<quint32>{MCI_CLOSE});
        m_wave->setStatus(MCI_STATUS_POSITION, 1000);
        form->btnNewClick();
        m_wave->clearLog();
        form.reset();
        QCOMPARE(m_wave->commands(), QList<quint32>{MCI_CLOSE});
        QVERIFY(Mci::openDevices().isEmpty());
    }

    void theOpenDialogStartsInTheSoundsFolder()
    {
        QTemporaryDir home;
        const QByteArray oldHome = qgetenv("HOME");
        qputenv("HOME", QFile::encodeName(home.path()));
        const auto restore = qScopeGuard([&] { qputenv("HOME", oldHome); });
        auto form = makeForm();
        form->btnOpenClick();
        QVERIFY(QDir::home().mkdir(QStringLiteral("sounds")));
        form->btnOpenClick();
        QCOMPARE(m_dialogs.fileDialogDirs,
                 (QStringList{QDir::homePath(), QDir::home().filePath(QStringLiteral("sounds"))}));
    }

    void newOpensAnEmptyWave()
    {
        auto form = makeForm();
        form->btnNewClick();

        const auto& r = m_wave->requests();
        QCOMPARE(m_wave->commands(), (QList<quint32>{MCI_OPEN, MCI_SET, MCI_SEEK, MCI_STATUS, MCI_SEEK}));
        QCOMPARE(r[0].flags, 0x2200u);
        QCOMPARE(r[0].fields.value(QStringLiteral("lpstrDeviceType")).toString(),
                 QStringLiteral("waveaudio"));
        QCOMPARE(r[0].fields.value(QStringLiteral("lpstrElementName")), QVariant(QString()));
        QCOMPARE(r[1].flags, 0x0400u);
        QCOMPARE(r[1].field("dwTimeFormat"), 0u);
        QCOMPARE(r[2].flags, 0x0202u);
        QCOMPARE(r[3].flags, 0x0102u);
        QCOMPARE(r[3].field("dwItem"), 2u);
        QCOMPARE(r[4].flags, 0x0102u);
        for (const Request& q : r.mid(1))
            QCOMPARE(q.deviceId, form->DeviceID);

        QCOMPARE(form->DeviceID, 1u);
        QCOMPARE(form->WaveLength, 0);
        QCOMPARE(form->StartPos, 0);
        QCOMPARE(form->StopPos, 0);
        QCOMPARE(form->Mode, quint8(4));
        QCOMPARE(form->tbStart->Max(), 10);
        QCOMPARE(form->tbStop->Position(), 0);
        QCOMPARE(form->edtSize->text(), QStringLiteral("0000.00"));
        QCOMPARE(form->edtStart->text(), QStringLiteral("0000.00"));
        QCOMPARE(form->edtStop->text(), form->edtSize->text());
        QVERIFY(transportEnabled(*form));
    }

    void openSetsRangesAndTheStopMark_data()
    {
        QTest::addColumn<quint32>("length");
        QTest::addColumn<int>("max");
        QTest::addColumn<int>("stopPos");
        QTest::addColumn<QString>("size");
        QTest::newRow("5.3 s") << 5300u << 21 << 5250 << QStringLiteral("0005.30");
        QTest::newRow("one step") << 250u << 1 << 250 << QStringLiteral("0000.25");
        QTest::newRow("1234 ms") << 1234u << 4 << 1000 << QStringLiteral("0001.23");
        // Shorter than a step: one step that stands for the end of the wave.
        QTest::newRow("100 ms") << 100u << 1 << 100 << QStringLiteral("0000.10");
        QTest::newRow("ten minutes") << 600000u << 2400 << 600000 << QStringLiteral("0600.00");
    }

    void openSetsRangesAndTheStopMark()
    {
        QFETCH(quint32, length);
        QFETCH(int, max);
        QFETCH(int, stopPos);
        QFETCH(QString, size);
        auto form = makeForm();
        m_wave->setStatus(MCI_STATUS_POSITION, length);
        m_dialogs.fileAnswers << QStringLiteral("/sounds/take one.wav");
        form->btnOpenClick();

        QCOMPARE(m_wave->requests().first().fields.value(QStringLiteral("lpstrElementName")).toString(),
                 QStringLiteral("/sounds/take one.wav"));
        QCOMPARE(form->WaveLength, qint32(length));
        QCOMPARE(form->tbStart->Max(), max);
        QCOMPARE(form->tbStop->Max(), max);
        QCOMPARE(form->tbStop->Position(), max);
        QCOMPARE(form->tbStart->Position(), 0);
        QCOMPARE(form->StartPos, 0);
        QCOMPARE(form->StopPos, stopPos);
        QCOMPARE(form->edtSize->text(), size);
        QCOMPARE(form->edtStop->text(), size);
        QCOMPARE(form->edtStart->text(), QStringLiteral("0000.00"));
        QCOMPARE(form->Mode, quint8(4));
        QVERIFY(transportEnabled(*form));
        if (length < 250) {
            // Play stays inside the short wave.
            form->btnPlayClick();
            QCOMPARE(m_wave->requestsOf(MCI_PLAY).last().field("dwTo"), length);
        }
    }

    void reopeningAWaveOfTheSameRangeKeepsTheStopMarkAtTheEnd()
    {
        auto form = withWave(3000);
        QCOMPARE(form->StopPos, 3000);
        // The sliders already stand where the new wave puts them, so neither reports a change.
        form->btnNewClick();
        QCOMPARE(form->tbStop->Position(), 12);
        QCOMPARE(form->StopPos, 3000);
        form->tbStart->setPosition(1);
        QCOMPARE(form->tbStop->Position(), 12);
        QCOMPARE(form->StopPos, 3000);

        // The start mark too goes back to the start slider's place.
        form->tbStart->setPosition(0);
        form->btnNextClick();
        QCOMPARE(form->StartPos, 1000);
        m_wave->setStatus(MCI_STATUS_POSITION, 3100);
        form->btnRecordClick();
        form->btnStopClick();
        QCOMPARE(form->StartPos, 0);
        QCOMPARE(form->edtStart->text(), QStringLiteral("0000.00"));
    }

    void recordAfterNewAndStopMeasuresTheTake_data()
    {
        QTest::addColumn<bool>("paused");
        QTest::newRow("recording") << false;
        QTest::newRow("paused") << true;
    }

    void recordAfterNewAndStopMeasuresTheTake()
    {
        QFETCH(bool, paused);
        auto form = withWave(0);
        form->btnRecordClick();
        const Request rec = m_wave->requestsOf(MCI_RECORD).value(0);
        QCOMPARE(rec.flags, 0u);
        QCOMPARE(form->Mode, quint8(5));
        QVERIFY(form->Timer1->isActive());
        if (paused) {
            form->btnPauseClick();
            QCOMPARE(form->Mode, quint8(1));
        }

        m_wave->clearLog();
        m_wave->setStatus(MCI_STATUS_POSITION, 3600);
        m_wave->setStatus(MCI_WAVE_STATUS_DROPPED_BLOCKS, 3);
        QVERIFY(form->lblStatus->text().isEmpty());
        form->btnStopClick();
        // Blocks the server dropped are said in the window, not in a box.
        QCOMPARE(form->lblStatus->text(),
                 QStringLiteral("The sound server dropped 3 blocks: kept as silence."));
        QCOMPARE(m_dialogs.messages.size(), 0);
        const auto& r = m_wave->requests();
        QVERIFY(r.size() >= 4);
        QCOMPARE(r[0].command, MCI_SEEK);
        QCOMPARE(r[0].flags, 0x0202u);
        QCOMPARE(r[1].command, MCI_STATUS);
        QCOMPARE(r[2].command, MCI_SEEK);
        QCOMPARE(r[2].flags, 0x0102u);
        QCOMPARE(r.last().command, MCI_STOP);
        QCOMPARE(r.last().flags, 0u);
        QCOMPARE(form->WaveLength, 3600);
        QCOMPARE(form->tbStart->Max(), 14);
        QCOMPARE(form->tbStop->Max(), 14);
        QCOMPARE(form->tbStop->Position(), 14);
        QCOMPARE(form->StopPos, 3500);
        QCOMPARE(form->edtSize->text(), QStringLiteral("0000.00"));
        QCOMPARE(form->edtStop->text(), QStringLiteral("0003.50"));
        QCOMPARE(form->Mode, quint8(2));
        QVERIFY(!form->Timer1->isActive());
        m_wave->clearLog();
        form->btnStopClick(); // measured once, not again
        QCOMPARE(m_wave->commands(), QList<quint32>{MCI_STOP});
        form->btnNewClick();
        QVERIFY(form->lblStatus->text().isEmpty());
    }

    void playAndRecordSendTheMarks()
    {
        auto form = withWave(0);
        form->btnPlayClick();
        Request play = m_wave->requestsOf(MCI_PLAY).value(0);
        QCOMPARE(play.flags, 4u);
        QCOMPARE(play.field("dwFrom"), 0u);
        QCOMPARE(form->Mode, quint8(0));
        QVERIFY(form->Timer1->isActive());

        m_wave->setStatus(MCI_STATUS_POSITION, 5000);
        form->btnNewClick();
        form->tbStart->setPosition(4);
        form->tbStop->setPosition(12);
        QCOMPARE(form->StartPos, 1000);
        QCOMPARE(form->StopPos, 3000);
        QVERIFY(!form->Timer1->isActive());
        m_wave->clearLog();
        form->btnPlayClick();
        play = m_wave->requestsOf(MCI_PLAY).value(0);
        QCOMPARE(play.flags, 12u);
        QCOMPARE(play.field("dwFrom"), 1000u);
        QCOMPARE(play.field("dwTo"), 3000u);
        form->btnStopClick();
        m_wave->clearLog();
        form->btnRecordClick();
        const Request rec = m_wave->requestsOf(MCI_RECORD).value(0);
        QCOMPARE(rec.flags, 12u);
        QCOMPARE(rec.field("dwFrom"), 1000u);
        QCOMPARE(rec.field("dwTo"), 3000u);
    }

    void prevAndNextMoveTheStartBySeconds()
    {
        auto form = withWave(0);
        form->btnNextClick(); // no stop mark yet: nothing to play
        QCOMPARE(form->StartPos, 1000);
        QVERIFY(m_wave->requestsOf(MCI_PLAY).isEmpty());
        QVERIFY(!form->Timer1->isActive());
        form->tbStart->setPosition(2); // 500 ms; the stop mark follows
        form->tbStop->setPosition(8);
        m_wave->clearLog();
        form->btnPrevClick();
        QCOMPARE(form->StartPos, 0);
        Request play = m_wave->requestsOf(MCI_PLAY).value(0);
        QCOMPARE(play.flags, 12u);
        QCOMPARE(play.field("dwFrom"), 0u);
        QCOMPARE(form->tbStart->Position(), 2);
        QCOMPARE(form->edtStart->text(), QStringLiteral("0000.50"));

        m_wave->clearLog();
        form->btnNextClick();
        QCOMPARE(form->StartPos, 1000);
        QCOMPARE(m_wave->requestsOf(MCI_PLAY).value(0).field("dwFrom"), 1000u);
        form->btnNextClick();
        form->btnNextClick(); // 2000 and 3000 are not before the stop mark at 2000: no play
        QCOMPARE(form->StartPos, 3000);
        QCOMPARE(m_wave->requestsOf(MCI_PLAY).size(), 1);
    }

    void theMarksNeverCross()
    {
        auto form = withWave(0);
        form->tbStop->setPosition(4);
        QCOMPARE(form->StopPos, 1000);
        m_wave->clearLog();
        form->tbStart->setPosition(8);
        QCOMPARE(form->StartPos, 2000);
        QCOMPARE(form->StopPos, 2000);
        QCOMPARE(form->tbStop->Position(), 8);
        QCOMPARE(form->edtStart->text(), QStringLiteral("0002.00"));
        QCOMPARE(form->edtStop->text(), QStringLiteral("0002.00"));
        // Each change stopped the device first.
        QCOMPARE(m_wave->commands(), (QList<quint32>{MCI_STOP, MCI_STOP}));

        form->tbStop->setPosition(3);
        QCOMPARE(form->StopPos, 750);
        QCOMPARE(form->StartPos, 750);
        QCOMPARE(form->tbStart->Position(), 3);
        QCOMPARE(form->edtStart->text(), QStringLiteral("0000.75"));
    }

    void aSliderMovedBeforeAnyWaveStillSetsItsMark()
    {
        RecordingErrorReporter reporter;
        auto form = makeForm();
        form->tbStop->setPosition(4);
        QCOMPARE(form->LastError, MCIERR_INVALID_DEVICE_ID);
        QCOMPARE(form->StopPos, 1000);
        QCOMPARE(form->edtStop->text(), QStringLiteral("0001.00"));
        QVERIFY(reporter.messages.isEmpty());
    }

    void saveSendsTheChosenNameOrFailsWithoutAWave()
    {
        auto form = makeForm();
        m_dialogs.fileAnswers << QStringLiteral("/tmp/out");
        QCOMPARE(raised([&] { form->btnSaveClick(); }), QStringLiteral("Unsuccessful Save!"));
        QCOMPARE(raised([&] { form->btnSaveClick(); }), QString()); // cancelled
        form->btnNewClick();
        m_wave->clearLog();
        m_dialogs.fileAnswers << QStringLiteral("/tmp/out");
        form->btnSaveClick();
        QCOMPARE(m_wave->commands(), QList<quint32>{MCI_SAVE});
        const Request save = m_wave->requests().first();
        QCOMPARE(save.flags, 0x0102u);
        QCOMPARE(save.fields.value(QStringLiteral("lpfilename")).toString(), QStringLiteral("/tmp/out"));
        m_wave->failNext(MCI_SAVE, MCIERR_FILE_WRITE);
        m_dialogs.fileAnswers << QStringLiteral("/tmp/out");
        QCOMPARE(raised([&] { form->btnSaveClick(); }), QStringLiteral("Unsuccessful Save!"));
        QCOMPARE(form->LastError, MCIERR_FILE_WRITE);
    }

    void aCancelledOpenClosesTheWaveAndRefusesTransport()
    {
        // A CD playing in the main window must not hear the recorder's requests.
        m_cd = std::make_unique<RecordingMciDevice>(QStringLiteral("cdaudio"));
        MCI_OPEN_PARMS cd;
        cd.lpstrDeviceType = "cdaudio";
        QCOMPARE(mciSendCommandA(0, MCI_OPEN, MCI_OPEN_TYPE, &cd), 0u);
        RecordingErrorReporter reporter;
        auto form = withWave(2000);
        form->btnOpenClick(); // the dialog is cancelled
        QCOMPARE(m_wave->commands(), QList<quint32>{MCI_CLOSE});
        QCOMPARE(form->DeviceID, TRecForm::NoWave);
        QVERIFY(transportEnabled(*form));
        m_wave->clearLog();
        m_cd->clearLog();

        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        for (QToolButton* b : transport(*form))
            QTest::mouseClick(b, Qt::LeftButton);
        QCOMPARE(reporter.messages, QStringList(5, TRecForm::noWaveMessage())); // all but Stop
        QCOMPARE(form->StartPos, 0);
        QCOMPARE(form->Mode, quint8(2));

        form->tbStart->setPosition(3);
        QCOMPARE(form->StartPos, 750);
        m_dialogs.fileAnswers << QStringLiteral("/tmp/out");
        QCOMPARE(raised([&] { form->btnSaveClick(); }), QStringLiteral("Unsuccessful Save!"));
        form->Timer1->setEnabled(true);
        tick(*form);
        QCOMPARE(reporter.messages.size(), 5);
        QVERIFY(m_wave->requests().isEmpty());
        QVERIFY(m_cd->requests().isEmpty());
    }

    void aFailedOpenLeavesTheButtonsAsTheyWere()
    {
        auto form = makeForm();
        m_wave->failNext(MCI_OPEN, MCIERR_INVALID_FILE);
        m_dialogs.fileAnswers << QStringLiteral("/tmp/broken.wav");
        QCOMPARE(raised([&] { form->btnOpenClick(); }), QStringLiteral("Unable to open Wave Recorder"));
        QVERIFY(!form->btnPlay->isEnabled());
        QCOMPARE(form->DeviceID, TRecForm::NoWave);

        m_wave->failNext(MCI_SET, MCIERR_BAD_TIME_FORMAT);
        m_wave->clearLog();
        QCOMPARE(raised([&] { form->btnNewClick(); }), QStringLiteral("Can't set the time format!"));
        QCOMPARE(m_wave->commands(), (QList<quint32>{MCI_OPEN, MCI_SET, MCI_CLOSE}));
        QCOMPARE(form->DeviceID, TRecForm::NoWave);
        QVERIFY(Mci::openDevices().isEmpty());
    }

    void failingRequestsRaiseTheirMessages()
    {
        auto form = withWave(4000);
        m_wave->failNext(MCI_PAUSE, MCIERR_HARDWARE);
        form->Mode = 0;
        QCOMPARE(raised([&] { form->btnPauseClick(); }), QStringLiteral("Unable to pause wave!"));
        QCOMPARE(form->Mode, quint8(0));
        form->btnPauseClick();
        QCOMPARE(form->Mode, quint8(1));

        m_wave->failNext(MCI_PLAY, MCIERR_OUTOFRANGE);
        QCOMPARE(raised([&] { form->btnPlayClick(); }), QStringLiteral("Unable to play wave"));
        QVERIFY(form->Timer1->isActive());

        form->btnStopClick();
        m_wave->failNext(MCI_RECORD, MCIERR_NO_AUDIO_INPUT);
        QCOMPARE(raised([&] { form->btnRecordClick(); }), QStringLiteral("Unable to start recording!"));
        QCOMPARE(form->Mode, quint8(5));
        QVERIFY(!form->Timer1->isActive());

        // The re-measuring of a Stop fails: still recording, no stop sent.
        form->btnRecordClick();
        m_wave->clearLog();
        m_wave->failNext(MCI_SEEK, MCIERR_HARDWARE);
        QCOMPARE(raised([&] { form->btnStopClick(); }),
                 QStringLiteral("Unable to find the end of the wave!"));
        QCOMPARE(form->Mode, quint8(5));
        QVERIFY(form->Timer1->isActive());
        QCOMPARE(m_wave->commands(), QList<quint32>{MCI_SEEK});

        m_wave->handler = [n = 0](const Request& r, void*) mutable -> std::optional<MCIERROR> {
            if (r.command == MCI_SEEK && n++ == 1)
                return MCIERR_HARDWARE;
            return std::nullopt;
        };
        m_wave->setStatus(MCI_STATUS_POSITION, 9000);
        QCOMPARE(raised([&] { form->btnStopClick(); }), QStringLiteral("Unable to reset wave file!"));
        QCOMPARE(form->WaveLength, 9000);
        QCOMPARE(form->tbStop->Max(), 16); // ranges not updated
    }

    void anErrorOfASliderMovedByCodeEndsTheHandlerThatMovedIt()
    {
        auto form = withWave(0);
        form->btnRecordClick();
        // Opening while recording: the stop slider's change re-measures, and that fails.
        m_wave->setStatus(MCI_STATUS_POSITION, 3000);
        m_wave->handler = [n = 0](const Request& r, void*) mutable -> std::optional<MCIERROR> {
            if (r.command == MCI_SEEK && n++ == 2)
                return MCIERR_HARDWARE;
            return std::nullopt;
        };
        m_dialogs.fileAnswers << QStringLiteral("/tmp/a.wav");
        RecordingErrorReporter reporter;
        QCOMPARE(raised([&] { form->btnOpenClick(); }),
                 QStringLiteral("Unable to find the end of the wave!"));
        QVERIFY(reporter.messages.isEmpty());
        QCOMPARE(form->Mode, quint8(5));
        QCOMPARE(form->edtSize->text(), QStringLiteral("0000.00"));
    }

    void timerShowsThePositionAndReportsARunOfFailuresOnce()
    {
        RecordingErrorReporter reporter;
        auto form = withWave(5000);
        form->btnPlayClick();
        m_wave->setStatus(MCI_STATUS_POSITION, 1234);
        tick(*form);
        QCOMPARE(form->edtStart->text(), QStringLiteral("0001.23"));

        m_wave->failAlways(MCI_STATUS, MCIERR_HARDWARE);
        for (int i = 0; i < 4; ++i)
            tick(*form);
        QCOMPARE(reporter.messages, QStringList{QStringLiteral("Unable to get the current position")});
        QCOMPARE(form->edtStart->text(), QStringLiteral("0001.23"));
        QCOMPARE(raised([&] { form->Timer1Timer(); }), QStringLiteral("Unable to get the current position"));

        m_wave->failAlways(MCI_STATUS, 0);
        tick(*form);
        m_wave->failAlways(MCI_STATUS, MCIERR_HARDWARE);
        tick(*form);
        tick(*form);
        QCOMPARE(reporter.messages.size(), 2);
    }
};

QTEST_MAIN(TestRecorder)
#include "tst_recorder.moc"
