// SPDX-License-Identifier: GPL-3.0-or-later
#include "frmFade.h"

#include "platform/Fonts.h"
#include "platform/WindowFrame.h"

#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>

TfrmFadeCtrl::TfrmFadeCtrl(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setWindowTitle(QStringLiteral("Fade Properties"));
    setFont(Fonts::msSansSerif(11));
    setFixedSize(287, 184);
    WindowFrame::setOuterSize(this, QSize(287, 184));
    move(307, 148);

    Label1 = new QLabel(QStringLiteral("Fade Duration in Seconds"), this);
    Label1->move(78, 17);
    Label1->adjustSize();

    tbFade = new QSlider(Qt::Horizontal, this);
    tbFade->setGeometry(9, 44, 260, 36);
    tbFade->setRange(1, 5);
    tbFade->setValue(3);
    tbFade->setTickPosition(QSlider::TicksBelow);
    tbFade->setTickInterval(1);
    tbFade->setPageStep(1);

    const int lefts[5] = {19, 76, 135, 193, 252};
    QLabel* numbers[5] = {};
    for (int i = 0; i < 5; ++i) {
        auto* label = new QLabel(QString::number(i + 1), this);
        label->setObjectName(QStringLiteral("Label%1").arg(i + 2));
        label->move(lefts[i], 87);
        label->adjustSize();
        numbers[i] = label;
    }
    // Qt's slider runs its thumb and ticks to its very ends, where the track bar this
    // dialog was drawn for keeps a margin: narrow the slider so that its stops, and the
    // ticks under them, stand over the numbers.
    const auto centreOf = [](const QLabel* label) {
        return label->x() + label->fontMetrics().horizontalAdvance(label->text()) / 2;
    };
    QStyleOptionSlider option;
    option.initFrom(tbFade);
    option.orientation = Qt::Horizontal;
    option.tickPosition = QSlider::TicksBelow;
    const int thumb = tbFade->style()->pixelMetric(QStyle::PM_SliderLength, &option, tbFade);
    const int first = centreOf(numbers[0]);
    const int last = centreOf(numbers[4]);
    tbFade->setGeometry(first - thumb / 2, 44, last - first + thumb, 36);

    BitBtn1 = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), QStringLiteral("OK"), this);
    BitBtn1->setGeometry(60, 118, 75, 25);
    BitBtn1->setDefault(true);
    BitBtn1->setAutoDefault(true);
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);

    // Escape answers Cancel: QDialog rejects on Escape.
    BitBtn2 =
        new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton), QStringLiteral("Cancel"), this);
    BitBtn2->setGeometry(143, 118, 75, 25);
    BitBtn2->setAutoDefault(false);
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
}
