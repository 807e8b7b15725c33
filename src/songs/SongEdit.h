// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "audio/LoudnessMeter.h"

#include <QDialog>

#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;
class SongLevels;
class TSongInfo;

/// Edits the texts of the song in one slot: artist, album, title and the four times.
/// OK rewrites only those fields of the record that is in the slot then (nothing for a
/// free slot); Cancel, Esc and the close box leave the store alone.
class TfrmSongEdit : public QDialog {
    Q_OBJECT
public:
    /// Reads the slot at once: a sheet or slot out of range raises a RangeError. With `levels`,
    /// the song's measured loudness and the gain even levels give it are shown, read-only.
    TfrmSongEdit(QWidget* owner, TSongInfo& songInfo, int sheet, int slot,
                 const SongLevels* levels = nullptr);

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

    [[nodiscard]] int sheet() const { return m_sheet; }
    [[nodiscard]] int slot() const { return m_slot; }

    void BitBtn1Click();
    void BitBtn2Click();

private:
    void showLevel(const std::optional<Loudness>& loudness);

    TSongInfo& m_songInfo;
    int m_sheet;
    int m_slot;
};
