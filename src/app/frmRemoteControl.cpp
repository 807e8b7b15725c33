// SPDX-License-Identifier: GPL-3.0-or-later
#include "frmRemoteControl.h"

#include "platform/Fonts.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStyle>
#include <QVBoxLayout>

TfrmRemoteControl::TfrmRemoteControl(QWidget* owner, const RemoteSettings& current)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setWindowTitle(QStringLiteral("Remote Control"));
    setFont(Fonts::msSansSerif(11));
    auto* layout = new QVBoxLayout(this);

    grpOsc =
        new QGroupBox(QStringLiteral("OSC (Stream Deck through Companion, tablets, show controllers)"), this);
    grpOsc->setCheckable(true);
    grpOsc->setChecked(current.oscPort != 0);
    auto* osc = new QFormLayout(grpOsc);
    spnOscPort = new QSpinBox(grpOsc);
    spnOscPort->setRange(1, 65535);
    spnOscPort->setValue(current.oscPort != 0 ? current.oscPort : RemoteSettings::DefaultOscPort);
    osc->addRow(QStringLiteral("UDP &port:"), spnOscPort);
    auto* where = new QVBoxLayout;
    rbOscLocal = new QRadioButton(QStringLiteral("this computer only"), grpOsc);
    rbOscNetwork = new QRadioButton(QStringLiteral("the local network"), grpOsc);
    (current.oscNetwork ? rbOscNetwork : rbOscLocal)->setChecked(true);
    where->addWidget(rbOscLocal);
    where->addWidget(rbOscNetwork);
    osc->addRow(QStringLiteral("Answer:"), where);
    lblOscStatus = new QLabel(grpOsc);
    lblOscStatus->setVisible(false);
    osc->addRow(lblOscStatus);
    layout->addWidget(grpOsc);

    auto* shared = new QGroupBox(QStringLiteral("Passcode"), this);
    auto* passcode = new QVBoxLayout(shared);
    edtPasscode = new QLineEdit(current.passcode, shared);
    edtPasscode->setAccessibleName(QStringLiteral("Passcode"));
    passcode->addWidget(edtPasscode);
    auto* note = new QLabel(QStringLiteral("A remote on the local network connects with it once a run;\n"
                                           "one on this computer needs none."),
                            shared);
    passcode->addWidget(note);
    layout->addWidget(shared);

    lblProblem = new QLabel(this);
    lblProblem->setStyleSheet(QStringLiteral("color: #a00000"));
    layout->addWidget(lblProblem);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    BitBtn1 = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), QStringLiteral("OK"), this);
    BitBtn1->setDefault(true);
    BitBtn2 =
        new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton), QStringLiteral("Cancel"), this);
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);
    layout->addLayout(buttons);
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
    connect(grpOsc, &QGroupBox::toggled, this, &TfrmRemoteControl::check);
    connect(rbOscNetwork, &QRadioButton::toggled, this, &TfrmRemoteControl::check);
    connect(edtPasscode, &QLineEdit::textChanged, this, &TfrmRemoteControl::check);
    check();
}

RemoteSettings TfrmRemoteControl::settings() const
{
    RemoteSettings s;
    s.oscPort = grpOsc->isChecked() ? static_cast<quint16>(spnOscPort->value()) : 0;
    s.oscNetwork = rbOscNetwork->isChecked();
    s.passcode = edtPasscode->text();
    return s;
}

void TfrmRemoteControl::setOscStatus(const QString& text)
{
    lblOscStatus->setText(text);
    lblOscStatus->setVisible(!text.isEmpty());
}

void TfrmRemoteControl::check()
{
    const bool needsPasscode =
        grpOsc->isChecked() && rbOscNetwork->isChecked() && edtPasscode->text().isEmpty();
    lblProblem->setText(needsPasscode ? QStringLiteral("The local network needs a passcode.") : QString());
    lblProblem->setVisible(needsPasscode);
    BitBtn1->setEnabled(!needsPasscode);
}
