// SPDX-License-Identifier: GPL-3.0-or-later
#include "frmButtonSettings.h"

#include "platform/Fonts.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QVBoxLayout>

TfrmButtonSettings::TfrmButtonSettings(QWidget* owner, const QString& title, const ButtonSettings& settings)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setWindowTitle(QStringLiteral("Button Settings"));
    setFont(Fonts::msSansSerif(11));
    auto* layout = new QVBoxLayout(this);

    auto* song = new QLabel(title, this);
    song->setObjectName(QStringLiteral("lblSong"));
    QFont bold = song->font();
    bold.setBold(true);
    song->setFont(bold);
    layout->addWidget(song);

    auto* volumeRow = new QHBoxLayout;
    auto* volumeLabel = new QLabel(QStringLiteral("&Volume:"), this);
    edVolume = new QDoubleSpinBox(this);
    edVolume->setRange(ButtonSettings::MinVolumeDb, ButtonSettings::MaxVolumeDb);
    edVolume->setDecimals(1);
    edVolume->setSingleStep(0.5);
    edVolume->setSuffix(QStringLiteral(" dB"));
    edVolume->setValue(settings.volumeDb);
    edVolume->setToolTip(
        QStringLiteral("On top of even levels and the fade. Above 0 dB the song is raised, and "
                       "its loudest peaks may be clipped."));
    volumeLabel->setBuddy(edVolume);
    volumeRow->addWidget(volumeLabel);
    volumeRow->addWidget(edVolume);
    auto* range = new QLabel(QStringLiteral("-40 to +6 dB, on top of its level and the fade"), this);
    range->setEnabled(false);
    volumeRow->addWidget(range);
    volumeRow->addStretch();
    layout->addLayout(volumeRow);

    auto* modes = new QGroupBox(QStringLiteral("A press"), this);
    auto* modesLayout = new QVBoxLayout(modes);
    rbRestart = new QRadioButton(QStringLiteral("&Restart: plays the song from its beginning"), modes);
    rbToggle = new QRadioButton(QStringLiteral("&Toggle: a second press stops it"), modes);
    rbHold = new QRadioButton(QStringLiteral("&Hold: plays while held, stops when let go"), modes);
    for (QRadioButton* b : {rbRestart, rbToggle, rbHold})
        modesLayout->addWidget(b);
    rbRestart->setChecked(settings.mode == ButtonSettings::Mode::Restart);
    rbToggle->setChecked(settings.mode == ButtonSettings::Mode::Toggle);
    rbHold->setChecked(settings.mode == ButtonSettings::Mode::Hold);
    layout->addWidget(modes);

    cbLoop = new QCheckBox(QStringLiteral("&Loop: starts again at its end until stopped or faded"), this);
    cbLoop->setChecked(settings.loop);
    layout->addWidget(cbLoop);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    btnOK = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), QStringLiteral("OK"), this);
    btnOK->setDefault(true);
    btnOK->setAutoDefault(true);
    btnOK->setFixedSize(75, 25);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    // Escape answers Cancel: QDialog rejects on Escape.
    btnCancel =
        new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton), QStringLiteral("Cancel"), this);
    btnCancel->setAutoDefault(false);
    btnCancel->setFixedSize(75, 25);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    buttons->addStretch();
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

ButtonSettings TfrmButtonSettings::settings() const
{
    ButtonSettings s;
    s.volumeDb = edVolume->value();
    s.mode = rbToggle->isChecked() ? ButtonSettings::Mode::Toggle
             : rbHold->isChecked() ? ButtonSettings::Mode::Hold
                                   : ButtonSettings::Mode::Restart;
    s.loop = cbLoop->isChecked();
    return s;
}
