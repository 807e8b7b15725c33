// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QVector>
#include <QWidget>

#include <array>
#include <optional>

/// A song's waveform, left to right over its length, with four marks the operator drags
/// (start, stop, fade start, fade end) and a play line. A mark not set is drawn faint where it
/// would act (the start at 0, the others at the end) and is set by dragging it. A click away
/// from the marks asks to play from there. Without peaks it shows a plain text instead.
class WaveformView : public QWidget {
    Q_OBJECT
public:
    enum Mark { StartMark = 0, StopMark, FadeStartMark, FadeEndMark };
    static constexpr int MarkCount = 4;

    explicit WaveformView(QWidget* parent = nullptr);

    /// `peaks` 0..1, spread evenly over `seconds`.
    void setPeaks(const QVector<float>& peaks, double seconds);
    /// Shows `text` in place of a waveform ("No waveform", "Reading the waveform...").
    void setMessage(const QString& text);
    [[nodiscard]] QString message() const { return m_message; }
    [[nodiscard]] bool hasWaveform() const { return m_seconds > 0.0 && m_message.isEmpty(); }
    [[nodiscard]] double seconds() const { return m_seconds; }

    /// Seconds into the song, or nullopt: not set.
    void setMark(Mark mark, std::optional<double> seconds);
    [[nodiscard]] std::optional<double> mark(Mark mark) const { return m_marks[mark]; }
    /// Where the mark is drawn: its time, or where it acts while it is not set.
    [[nodiscard]] double markPosition(Mark mark) const;
    /// The line of what the preview plays; nullopt hides it.
    void setPlayLine(std::optional<double> seconds);
    [[nodiscard]] std::optional<double> playLine() const { return m_playLine; }

    /// The x of `seconds` inside the widget, and back.
    [[nodiscard]] int xOf(double seconds) const;
    [[nodiscard]] double secondsAt(int x) const;

    [[nodiscard]] QSize sizeHint() const override { return {340, 110}; }

Q_SIGNALS:
    /// The operator dragged `mark` to `seconds`.
    void markDragged(int mark, double seconds);
    /// A click on the waveform away from the marks.
    void clickedAt(double seconds);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    /// The mark whose line is within grabbing distance of `x`; -1 when none.
    [[nodiscard]] int markNear(int x) const;

    QVector<float> m_peaks;
    double m_seconds = 0.0;
    QString m_message;
    std::array<std::optional<double>, MarkCount> m_marks{};
    std::optional<double> m_playLine;
    int m_dragging = -1;
};
