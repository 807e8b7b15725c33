// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "audio/LoudnessMeter.h"

#include <QDialog>

#include <optional>

class PeaksLoader;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;
class QVBoxLayout;
class SongLevels;
class SongPreview;
class SongTimeMarks;
class TSongInfo;
class WaveformView;
struct WaveformPeaks;

/// Edits the texts of the song in one slot: artist, album, title and the four times.
/// OK rewrites only those fields of the record that is in the slot then (nothing for a
/// free slot); Cancel, Esc and the close box leave the store alone. Below, the song's
/// waveform (read on a thread of its own) shows the four times as marks to drag, and plays
/// from a point of it on the preview output.
class TfrmSongEdit : public QDialog {
    Q_OBJECT
public:
    /// Reads the slot at once: a sheet or slot out of range raises a RangeError. With `levels`,
    /// the song's measured loudness and the gain even levels give it are shown, read-only.
    /// With `preview`, the waveform plays from a point of it on the preview output.
    TfrmSongEdit(QWidget* owner, TSongInfo& songInfo, int sheet, int slot, const SongLevels* levels = nullptr,
                 SongPreview* preview = nullptr);
    ~TfrmSongEdit() override;

    QLineEdit* edtStartTime;
    QLineEdit* edtStopTime;
    QLineEdit* edtFadeStart;
    QLineEdit* edtFadeDur;
    QLineEdit* edtArtist;
    QLineEdit* edtAlbum;
    QLineEdit* edtSongTitle;
    QLineEdit* edtTimeMeasure;
    QPushButton* BitBtn1;
    QPushButton* BitBtn2;
    /// The song's loudness and its gain at even levels; the whole figures in its hint.
    QLabel* lblLevel;
    /// The song's waveform with the four times as marks.
    WaveformView* Waveform;
    /// Plays from the point last clicked on the waveform (the start time until then).
    QPushButton* btnPlayHere;
    QPushButton* btnStopPreview;

    [[nodiscard]] int sheet() const { return m_sheet; }
    [[nodiscard]] int slot() const { return m_slot; }

    void BitBtn1Click();
    void BitBtn2Click();

private:
    void showLevel(const std::optional<Loudness>& loudness);
    void buildWaveform(QVBoxLayout* layout);
    void showPeaks(const WaveformPeaks& peaks);
    void noWaveform(const QString& reason);
    void WaveformClick(double seconds);
    void btnPlayHereClick();
    void btnStopPreviewClick();
    void PreviewTimerTimer();
    void updatePreviewButtons();
    /// Why no preview can play; empty when one can.
    [[nodiscard]] QString previewHint() const;

    TSongInfo& m_songInfo;
    int m_sheet;
    int m_slot;
    SongPreview* m_preview;
    PeaksLoader* m_peaks = nullptr;
    SongTimeMarks* m_marks = nullptr;
    QTimer* m_previewTimer = nullptr;
    QString m_path;               ///< the song's file, where it plays from
    std::optional<double> m_from; ///< where a play from here starts; the start time until clicked
    bool m_previewing = false;    ///< this dialog started the preview that plays
};
