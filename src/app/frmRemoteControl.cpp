// SPDX-License-Identifier: GPL-3.0-or-later
#include "frmRemoteControl.h"

#include "app/QrCode.h"
#include "platform/Fonts.h"
#include "platform/Guard.h"

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

#include <utility>

TfrmRemoteControl::TfrmRemoteControl(QWidget* owner, const RemoteSettings& current,
                                     NetworkAddressLookup lookup)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
    , m_lookup(std::move(lookup))
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

    grpWeb = new QGroupBox(QStringLiteral("Web remote (a phone's or tablet's browser)"), this);
    grpWeb->setCheckable(true);
    grpWeb->setChecked(current.webPort != 0);
    auto* webRows = new QFormLayout;
    spnWebPort = new QSpinBox(grpWeb);
    spnWebPort->setRange(1, 65535);
    spnWebPort->setValue(current.webPort != 0 ? current.webPort : RemoteSettings::DefaultWebPort);
    spnWebPort->setAccessibleName(QStringLiteral("TCP port"));
    webRows->addRow(QStringLiteral("TCP p&ort:"), spnWebPort);
    auto* webWhere = new QVBoxLayout;
    rbWebLocal = new QRadioButton(QStringLiteral("this computer only"), grpWeb);
    rbWebNetwork = new QRadioButton(QStringLiteral("the local network"), grpWeb);
    (current.webNetwork ? rbWebNetwork : rbWebLocal)->setChecked(true);
    webWhere->addWidget(rbWebLocal);
    webWhere->addWidget(rbWebNetwork);
    webRows->addRow(QStringLiteral("Answer:"), webWhere);
    lblWebAddress = new QLabel(grpWeb);
    lblWebAddress->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    webRows->addRow(QStringLiteral("Open:"), lblWebAddress);
    lblWebCodeNote = new QLabel(grpWeb);
    lblWebCodeNote->setWordWrap(true);
    webRows->addRow(lblWebCodeNote);
    lblWebStatus = new QLabel(grpWeb);
    lblWebStatus->setWordWrap(true);
    lblWebStatus->setVisible(false);
    webRows->addRow(lblWebStatus);
    auto* web = new QHBoxLayout(grpWeb);
    web->addLayout(webRows, 1);
    lblWebCode = new QLabel(grpWeb);
    lblWebCode->setAccessibleName(QStringLiteral("QR code of the address"));
    web->addWidget(lblWebCode, 0, Qt::AlignTop);
    layout->addWidget(grpWeb);

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
    connect(grpWeb, &QGroupBox::toggled, this, &TfrmRemoteControl::check);
    connect(rbWebNetwork, &QRadioButton::toggled, this, &TfrmRemoteControl::check);
    connectGuarded(spnWebPort, &QSpinBox::valueChanged, this, &TfrmRemoteControl::showWebAddress);
    connectGuarded(rbWebNetwork, &QRadioButton::toggled, this, &TfrmRemoteControl::showWebAddress);
    showWebAddress();
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
    s.webPort = grpWeb->isChecked() ? static_cast<quint16>(spnWebPort->value()) : 0;
    s.webNetwork = rbWebNetwork->isChecked();
    return s;
}

void TfrmRemoteControl::setOscStatus(const QString& text)
{
    lblOscStatus->setText(text);
    lblOscStatus->setVisible(!text.isEmpty());
}

void TfrmRemoteControl::setWebStatus(const QString& text)
{
    lblWebStatus->setText(text);
    lblWebStatus->setVisible(!text.isEmpty());
}

void TfrmRemoteControl::showWebAddress()
{
    const int port = spnWebPort->value();
    const auto url = [port](const QString& host) {
        return QStringLiteral("http://%1:%2/").arg(host).arg(port);
    };
    QStringList addresses;
    QString note;
    if (!rbWebNetwork->isChecked()) {
        addresses << url(QStringLiteral("127.0.0.1"));
        note = QStringLiteral("A phone cannot open this computer's own address: choose \"the local network\" "
                              "to get a code.");
    } else {
        for (const QHostAddress& a : m_lookup())
            addresses << url(a.toString());
        if (addresses.isEmpty()) {
            addresses << url(QStringLiteral("127.0.0.1"));
            note = QStringLiteral("This computer has no network address now: connect it to the network a "
                                  "phone is on to get a code.");
        }
    }
    lblWebAddress->setText(addresses.join(QLatin1Char('\n')));
    // The code is of the first line shown, so what the camera reads is what the text says.
    const QImage code = note.isEmpty() ? QrCode::image(addresses.first(), 4) : QImage();
    lblWebCode->setPixmap(QPixmap::fromImage(code));
    lblWebCode->setVisible(!code.isNull());
    lblWebCodeNote->setText(note);
    lblWebCodeNote->setVisible(!note.isEmpty());
}

void TfrmRemoteControl::check()
{
    const bool network = (grpOsc->isChecked() && rbOscNetwork->isChecked()) ||
                         (grpWeb->isChecked() && rbWebNetwork->isChecked());
    // Characters as the operator counts them, not UTF-16 units.
    const qsizetype length = edtPasscode->text().toUcs4().size();
    QString problem;
    if (network && length == 0)
        problem = QStringLiteral("The local network needs a passcode.");
    else if (network && length < RemoteSettings::MinNetworkPasscode)
        problem = QStringLiteral("A passcode for the local network needs at least %1 characters.")
                      .arg(RemoteSettings::MinNetworkPasscode);
    lblProblem->setText(problem);
    lblProblem->setVisible(!problem.isEmpty());
    BitBtn1->setEnabled(problem.isEmpty());
}
