// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>

#include <array>
#include <optional>

class QLineEdit;
class WaveformView;

/// Keeps the four time fields of a song and the marks of its waveform together: dragging a
/// mark writes its field as "mm:ss", typing a time moves its mark. The fade's end mark sits at
/// the fade start plus the fade duration, and dragging it writes the duration.
class SongTimeMarks : public QObject {
    Q_OBJECT
public:
    /// The fields in the waveform's order of marks: start, stop, fade start, fade duration.
    SongTimeMarks(WaveformView& view, const std::array<QLineEdit*, 4>& fields, QObject* parent = nullptr);

    /// "mm:ss", whole seconds rounded ("100:00" past 99 minutes): a form the player reads
    /// (SongTimes::parseTime), so a mark is where the song will start, stop or fade.
    [[nodiscard]] static QString formatTime(double seconds);

    /// Moves every mark to what its field says.
    void showFields();

private:
    void fieldEdited(int field);
    void markDragged(int mark, double seconds);
    /// The field's time when it is set: "00:00" and text that cannot be read are not, except
    /// for the start, which is at 0 then.
    [[nodiscard]] std::optional<double> fieldTime(int field) const;

    WaveformView& m_view;
    std::array<QLineEdit*, 4> m_fields;
    bool m_writing = false; ///< a drag writes a field: its edit does not move the mark back
};
