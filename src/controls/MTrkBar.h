// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QImage>
#include <QRect>
#include <QWidget>

class QPainter;

enum class TTrackOrientation : quint8 { toHorizontal = 0, toVertical = 1 };
enum class TThumbSize : quint8 { tsSmall = 0, tsMedium = 1, tsLarge = 2 };
enum class TThumbStyle : quint8 { tsBox = 0, tsPointer = 1 };
enum class TTickStyle : quint8 { tkStandard = 0, tkOwnerDraw = 1 };

/// A slider with a sunken track, optional ticks and a thumb drawn from stock
/// pictures. Its value `Position` stays within Min..Max. Every setter does
/// nothing when given the current value. The control is drawn into an image of
/// its own; a position change restores the pixels saved under the old thumb and
/// draws the thumb again instead of repainting everything.
class TMTrackBar : public QWidget {
    Q_OBJECT
public:
    explicit TMTrackBar(QWidget* owner = nullptr);
    ~TMTrackBar() override;

    /// Gap between the control's edges and the track ends and ticks; always 4.
    [[nodiscard]] int Margin() const { return m_margin; }

    [[nodiscard]] int Max() const { return m_max; }
    /// Moves Position down to the new maximum (through setPosition) when it lies above.
    void setMax(int value);
    [[nodiscard]] int Min() const { return m_min; }
    /// Moves Position up to the new minimum (through setPosition) when it lies below.
    void setMin(int value);
    [[nodiscard]] TTrackOrientation Orientation() const { return m_orientation; }
    /// Follows the shape on every resize: taller than wide is vertical, Max on top.
    void setOrientation(TTrackOrientation orientation);
    /// Step of the page keys and of clicks on the track beside the thumb.
    [[nodiscard]] quint16 PageSize() const { return m_pageSize; }
    void setPageSize(quint16 size) { m_pageSize = size; }
    [[nodiscard]] int Position() const { return m_position; }
    /// A value other than the current one is clamped to Min..Max, the thumb moves
    /// and OnChange fires, even when the clamped value equals the old one.
    void setPosition(int value);
    [[nodiscard]] TTickStyle TickStyle() const { return m_tickStyle; }
    void setTickStyle(TTickStyle style);
    [[nodiscard]] bool ShowTicks() const { return m_showTicks; }
    void setShowTicks(bool show);
    [[nodiscard]] TThumbSize ThumbSize() const { return m_thumbSize; }
    void setThumbSize(TThumbSize size);
    [[nodiscard]] TThumbStyle ThumbStyle() const { return m_thumbStyle; }
    void setThumbStyle(TThumbStyle style);
    [[nodiscard]] QColor TrackColor() const { return m_trackColor; }
    void setTrackColor(const QColor& color);
    [[nodiscard]] quint16 TrackWidth() const { return m_trackWidth; }
    /// Values below 6 become 6.
    void setTrackWidth(quint16 width);
    /// Background of the control; until set, the window colour of the palette (the parent's).
    [[nodiscard]] QColor Color() const;
    void setColor(const QColor& color);

    [[nodiscard]] bool Dragging() const { return m_dragging; }
    [[nodiscard]] int ThumbBreadth() const { return m_thumbBreadth; }
    [[nodiscard]] int ThumbLength() const { return m_thumbLength; }
    [[nodiscard]] int HalfThumb() const { return m_halfThumb; }
    /// Where the thumb and the track were last drawn.
    [[nodiscard]] QRect ThumbRect() const { return m_thumbRect; }
    [[nodiscard]] QRect TrackRect() const { return m_trackRect; }
    [[nodiscard]] const QImage& DisabledPattern() const { return m_disabledPattern; }
    [[nodiscard]] const QImage& ThumbImage() const { return m_thumbImage; }
    [[nodiscard]] const QImage& ThumbMask() const { return m_thumbMask; }
    /// The control's pixels under the thumb as last drawn.
    [[nodiscard]] const QImage& UnderThumb() const { return m_underThumb; }

    [[nodiscard]] QSize sizeHint() const override;

Q_SIGNALS:
    /// After every setPosition call with a value other than the current one.
    void OnChange(TMTrackBar* sender);
    /// Draws the tick for `index` at `location` when TickStyle is tkOwnerDraw. The
    /// painter lives only while the control draws itself: connect directly.
    void OnDrawTick(TMTrackBar* sender, QPainter* canvas, const QPoint& location, int index);

protected:
    /// The three drawing steps, in this order after the background, on the control's image.
    virtual void DrawTrack(QPainter& canvas);
    virtual void DrawTicks(QPainter& canvas);
    virtual void DrawThumb(QPainter& canvas);
    virtual void Change();
    virtual void DrawTick(QPainter& canvas, const QPoint& location, int index);

    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    [[nodiscard]] bool horizontal() const { return m_orientation == TTrackOrientation::toHorizontal; }
    [[nodiscard]] int span() const;
    /// Pixels per unit of value along the track; 0 when Max equals Min.
    [[nodiscard]] double step() const;
    void loadThumbPictures();
    void fillDisabledPattern();
    /// Marks the whole image for redrawing.
    void invalidate();
    void renderAll();
    void drawFocusFrame();

    int m_margin = 4;
    int m_max = 10;
    int m_min = 0;
    TTrackOrientation m_orientation = TTrackOrientation::toHorizontal;
    quint16 m_pageSize = 1;
    int m_position = 0;
    TTickStyle m_tickStyle = TTickStyle::tkStandard;
    bool m_showTicks = true;
    bool m_dragging = false;
    int m_thumbBreadth = 0;
    QRect m_thumbRect;
    TThumbSize m_thumbSize = TThumbSize::tsMedium;
    TThumbStyle m_thumbStyle = TThumbStyle::tsPointer;
    int m_thumbLength = 0;
    int m_halfThumb = 0;
    QColor m_trackColor;
    QRect m_trackRect;
    quint16 m_trackWidth = 8;
    QImage m_disabledPattern;
    QImage m_thumbImage;
    QImage m_thumbMask;
    QImage m_underThumb;
    QColor m_color; ///< invalid: the palette's window colour

    QImage m_surface;    ///< what the widget shows
    bool m_stale = true; ///< m_surface must be drawn again as a whole
};
