// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "TextDrawing.h"

#include <QColor>
#include <QImage>
#include <QWidget>

class QPainter;

/// Frame style of a sound button.
enum class BStyle : quint8 {
    BSnone = 0,   ///< no frame
    BsNormal = 1, ///< raised; sunken while pressed
    BsIe = 2,     ///< flat; raised under the pointer; sunken while pressed
};

/// The transparent sound button: paints no background of its own, then an optional
/// image with one transparent colour, its caption (one line, shortened or wrapped)
/// and a one-pixel frame that follows the pointer and the press.
class TMTranBtn : public QWidget {
    Q_OBJECT
public:
    explicit TMTranBtn(QWidget* owner = nullptr);
    ~TMTranBtn() override;

    [[nodiscard]] const QImage& BitMap() const { return m_bitmap; }
    /// Copies `image` and repaints.
    void setBitMap(const QImage& image);
    /// The image's transparent colour; without one, its bottom-left pixel counts.
    void setTransparentColor(const QColor& color);

    [[nodiscard]] BStyle Border() const { return m_border; }
    /// Repaints only on a real change.
    void setBorder(BStyle border);

    [[nodiscard]] QString Caption() const { return m_caption; }
    /// Does not repaint; the owner asks for that.
    void setCaption(const QString& caption);

    [[nodiscard]] QColor fontColor() const;
    void setFontColor(const QColor& color);

    [[nodiscard]] QString Hint() const { return toolTip(); }
    void setHint(const QString& hint) { setToolTip(hint); }
    /// The hint is shown as a tooltip only while this is on.
    [[nodiscard]] bool ShowHint() const { return m_showHint; }
    void setShowHint(bool show) { m_showHint = show; }
    /// The key that plays this button, shown in its hint and, while key captions are on, in
    /// its top right corner; empty for none.
    [[nodiscard]] QString KeyHint() const { return m_keyHint; }
    /// Repaints when the shown key changes.
    void setKeyHint(const QString& key);
    [[nodiscard]] bool ShowKey() const { return m_showKey; }
    void setShowKey(bool show);
    /// What the hint shows: the hint when it is shown, and the key.
    [[nodiscard]] QString hintText() const;

    [[nodiscard]] int BtnNumber() const { return m_btnNumber; }
    void setBtnNumber(int number) { m_btnNumber = number; }

    [[nodiscard]] bool MouseOver() const { return m_mouseOver; }
    [[nodiscard]] bool Pressed() const { return m_pressed; }
    [[nodiscard]] QRect ImageRect() const { return m_imageRect; }

    /// How a caption is laid out on a button of `size` in `font`: the text with its
    /// line breaks (LF CR after each broken line), the TextDrawing flags, the
    /// rectangle it is drawn into and the number of lines; and the lines as they are drawn.
    struct CaptionLayout {
        QString text;
        unsigned flags = 0;
        QRect rect;
        int lines = 1;
        bool shortened = false; ///< cut to six characters and "..."; the whole caption becomes the hint
        TextDrawing::Layout shown;
    };
    [[nodiscard]] static CaptionLayout layoutCaption(const QString& caption, const QFont& font, QSize size);

    /// How a key is shown in the corner of a button of `size` in `font`: the text (a long key
    /// name shortened: modifiers to their first letters, then cut with "...") and where it goes.
    struct KeyLayout {
        QString text;
        QRect rect;
    };
    [[nodiscard]] static KeyLayout layoutKey(const QString& key, const QFont& font, QSize size);
    /// The small face key captions are drawn in, for a button drawn in `font`.
    [[nodiscard]] static QFont keyFont(const QFont& font);
    /// The focus mark is drawn: the button has the focus and the keyboard has moved it.
    [[nodiscard]] bool focusMarkShown() const;

    /// Draws `image` onto `dest` with its top-left corner at (X, Y), leaving `dest`
    /// unchanged where the image has the colour `transparent`. `image` is unchanged
    /// afterwards. X and Y must lie in 0..65535 (a RangeError otherwise).
    static void DrawTransparentBitmap(QImage& dest, QImage& image, int X, int Y, QColor transparent);

Q_SIGNALS:
    void OnClick(TMTranBtn* sender);
    void OnMouseDown(TMTranBtn* sender, Qt::MouseButton button, Qt::KeyboardModifiers shift, int X, int Y);
    void OnMouseUp(TMTranBtn* sender, Qt::MouseButton button, Qt::KeyboardModifiers shift, int X, int Y);
    void OnMouseMove(TMTranBtn* sender, Qt::KeyboardModifiers shift, int X, int Y);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    bool event(QEvent* event) override;
    [[nodiscard]] QColor transparentColorOfImage() const;
    [[nodiscard]] bool imageHit(const QPoint& pos) const;
    void drawCaption(QPainter& painter);
    void drawFrame(QPainter& painter, bool raised) const;
    void drawKey(QPainter& painter) const;
    void drawFocusMark(QPainter& painter) const;

    QImage m_bitmap;
    QColor m_transparentColor;
    bool m_mouseOver = false;
    bool m_pressed = false;
    BStyle m_border = BStyle::BsNormal;
    QRect m_imageRect;
    int m_btnNumber = 0;
    QString m_caption;
    bool m_showHint = false;
    QString m_keyHint;
    bool m_showKey = false;
    bool m_leftDown = false; ///< a left press began on the button; its release may click
};
