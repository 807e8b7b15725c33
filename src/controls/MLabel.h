// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QWidget>

/// Three-dimensional look of a label's caption.
enum class TTextStyle : quint8 { tsNone = 0, tsRaised = 1, tsRecessed = 2, tsShadow = 3 };

/// A text label that draws its caption raised, recessed (the default) or with a
/// drop shadow. Every setter does nothing when the value is unchanged.
class TMLabel : public QWidget {
    Q_OBJECT
public:
    explicit TMLabel(QWidget* owner = nullptr);

    /// Horizontal placement only: Qt::AlignLeft (default), Qt::AlignHCenter or Qt::AlignRight.
    [[nodiscard]] Qt::Alignment Alignment() const { return m_alignment; }
    void setAlignment(Qt::Alignment alignment);
    /// Fits the label to its caption (true by default); with WordWrap only the height follows.
    [[nodiscard]] bool AutoSize() const { return m_autoSize; }
    void setAutoSize(bool autoSize);
    [[nodiscard]] QString Caption() const { return m_caption; }
    void setCaption(const QString& caption);
    /// The fill behind the caption; until set, the window colour of the palette (the parent's).
    [[nodiscard]] QColor Color() const;
    void setColor(const QColor& color);
    /// The caption's own colour (the font colour).
    [[nodiscard]] QColor fontColor() const;
    void setFontColor(const QColor& color);
    /// "&x" underlines x when true (the default); "&&" shows "&".
    [[nodiscard]] bool ShowAccelChar() const { return m_showAccelChar; }
    void setShowAccelChar(bool show);
    /// When true the parent shows through instead of Color (false by default).
    [[nodiscard]] bool Transparent() const { return m_transparent; }
    void setTransparent(bool transparent);
    [[nodiscard]] bool WordWrap() const { return m_wordWrap; }
    void setWordWrap(bool wrap);

    [[nodiscard]] TTextStyle TextStyle() const { return m_textStyle; }
    void setTextStyle(TTextStyle style);
    [[nodiscard]] QColor ShadowColor() const { return m_shadowColor; }
    void setShadowColor(const QColor& color);
    /// Offset of the tsShadow copy, right and down, in pixels (2 by default).
    [[nodiscard]] int ShadowDepth() const { return m_shadowDepth; }
    void setShadowDepth(int depth);

    [[nodiscard]] QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    [[nodiscard]] unsigned textFlags() const;
    [[nodiscard]] QSize measuredSize() const;
    void adjustBounds();

    Qt::Alignment m_alignment = Qt::AlignLeft;
    bool m_autoSize = true;
    QString m_caption;
    QColor m_color; ///< invalid: the palette's window colour
    bool m_showAccelChar = true;
    bool m_transparent = false;
    bool m_wordWrap = false;
    TTextStyle m_textStyle = TTextStyle::tsRecessed;
    QColor m_shadowColor;
    int m_shadowDepth = 2;
};
