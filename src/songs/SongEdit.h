// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;
class TSongInfo;

/// Edits the texts of the song in one slot: artist, album, title and the four times.
/// OK rewrites only those fields of the record that is in the slot then (nothing for a
/// free slot); Cancel, Esc and the close box leave the store alone.
class TfrmSongEdit : public QDialog {
    Q_OBJECT
public:
    /// Reads the slot at once: a sheet or slot out of range raises a RangeError.
    TfrmSongEdit(QWidget* owner, TSongInfo& songInfo, int sheet, int slot);

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

    [[nodiscard]] int sheet() const { return m_sheet; }
    [[nodiscard]] int slot() const { return m_slot; }

    void BitBtn1Click();
    void BitBtn2Click();

private:
    TSongInfo& m_songInfo;
    int m_sheet;
    int m_slot;
};
