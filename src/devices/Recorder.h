// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "mci/MciInterface.h"

#include <QDialog>

#include <exception>

class Dialogs;
class QFrame;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;
class TMLabel;
class TMTrackBar;
class TTimer;

/// Records, plays and saves a wave through the "waveaudio" device, between a start and a
/// stop mark set in steps of 250 ms. Shown modally by the main window and destroyed when it
/// closes; a recording that was not saved is lost with it.
class TRecForm : public QDialog {
    Q_OBJECT
public:
    TRecForm(QWidget* owner, Dialogs& dialogs);
    ~TRecForm() override;

    QLineEdit* edtStart;
    QLineEdit* edtStop;
    QLineEdit* edtSize;
    TMTrackBar* tbStart;
    TMTrackBar* tbStop;
    QToolButton* btnPlay;
    QToolButton* btnStop;
    QToolButton* btnPrev;
    QToolButton* btnNext;
    QToolButton* btnPause;
    QToolButton* btnRecord;
    QFrame* Bevel1;
    QPushButton* btnOpen;
    QPushButton* btnNew;
    QPushButton* btnSave;
    TMLabel* MLabel1;
    TMLabel* MLabel2;
    TMLabel* MLabel3;
    TMLabel* MLabel4;
    TMLabel* MLabel5;
    /// What the operator should know of the take: blocks the sound server dropped from it.
    QLabel* lblStatus;
    TTimer* Timer1;

    // The window's state; public for the tests that check request sequences.
    /// What the operator last started: 0 playing, 1 paused, 2 stopped, 4 opened, 5 recording.
    quint8 Mode = 0;
    /// 0 before the first open, NoWave after a close.
    MCIDEVICEID DeviceID = 0;
    MCI_OPEN_PARMS OpenParms;
    MCI_RECORD_PARMS RecordParms;
    MCI_SAVE_PARMS SaveParms;
    MCI_PLAY_PARMS PlayParms;
    MCI_SEEK_PARMS SeekParms;
    MCI_GENERIC_PARMS GenericParms;
    MCI_SET_PARMS SetParms;
    quint32 LastError = 0;
    qint32 StartPos = 0;   ///< ms; where play (and, when positive, recording) begins
    qint32 StopPos = 0;    ///< ms; where play and recording end; 0: at the end
    qint32 WaveLength = 0; ///< ms; measured at open and when a recording stops

    /// DeviceID after a close: no wave. It is also the id that reaches every open device, so
    /// no request is ever sent with it.
    static constexpr MCIDEVICEID NoWave = MCI_ALL_DEVICE_ID;
    /// Raised by the transport requests while no wave is open.
    static QString noWaveMessage();

    void OpenWave(const QString& FileName);
    void CloseWave();
    void MeasureLength();
    /// Says under the buttons how many blocks the sound server dropped from the recording
    /// (each kept as silence), or nothing when it dropped none.
    void ShowDroppedBlocks();
    void SetSliderRanges();
    void PlayRange();
    [[nodiscard]] qint32 GetPosition();

    void btnPlayClick();
    void btnStopClick();
    void btnPrevClick();
    void btnNextClick();
    void btnPauseClick();
    void btnRecordClick();
    void btnOpenClick();
    void btnNewClick();
    void btnSaveClick();
    /// Raises when the position cannot be read; the timer's own tick reports that only once.
    void Timer1Timer();
    void tbStartChange();
    void tbStopChange();
    void FormCreate();
    void FormDestroy();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void buildControls();
    /// A mark in ms for a slider position.
    [[nodiscard]] qint32 markOf(int sliderPosition) const;
    [[nodiscard]] bool waveOpen() const { return DeviceID != NoWave; }
    void requireWave() const;
    void enableTransport();
    void timerTick();
    /// Moves a slider from code: its change handler runs at once, and what it raises is
    /// raised here, as if the handler had been called directly.
    template <typename F> void changeSlider(F&& change);
    void sliderChanged(void (TRecForm::*handler)());

    Dialogs& m_dialogs;
    QByteArray m_elementName;
    QByteArray m_saveName;
    int m_changeDepth = 0;
    std::exception_ptr m_changeError;
    /// The sliders carry the one-step range of a wave shorter than a step.
    bool m_shortRange = false;
    bool m_tickFailing = false;
    /// A recording was started since the wave's length was last measured.
    bool m_takeUnmeasured = false;
};
