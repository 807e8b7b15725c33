// SPDX-License-Identifier: GPL-3.0-or-later
#include "frmMidiInput.h"

#include "platform/Fonts.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace {
const QString Any = QStringLiteral("Any");
}

TfrmMidiInput::TfrmMidiInput(QWidget* owner, const MidiInputFilter& input, const QStringList& devices)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setWindowTitle(QStringLiteral("MIDI Input"));
    setFont(Fonts::msSansSerif(11));
    auto* layout = new QVBoxLayout(this);
    auto* note = new QLabel(QStringLiteral("The board listens to the notes and controls of:"), this);
    layout->addWidget(note);
    auto* form = new QFormLayout;
    cboChannel = new QComboBox(this);
    cboChannel->addItem(Any);
    for (int c = 1; c <= 16; ++c)
        cboChannel->addItem(QString::number(c));
    cboChannel->setCurrentIndex(input.channel);
    cboDevice = new QComboBox(this);
    cboDevice->setEditable(true);
    cboDevice->setMinimumWidth(280);
    cboDevice->addItem(Any);
    cboDevice->addItems(devices);
    if (!input.device.isEmpty() && cboDevice->findText(input.device) < 0)
        cboDevice->addItem(input.device);
    cboDevice->setCurrentIndex(input.device.isEmpty() ? 0 : cboDevice->findText(input.device));
    form->addRow(QStringLiteral("&Channel:"), cboChannel);
    form->addRow(QStringLiteral("&Device:"), cboDevice);
    layout->addLayout(form);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    setFixedSize(sizeHint());
}

MidiInputFilter TfrmMidiInput::input() const
{
    MidiInputFilter input;
    input.channel = cboChannel->currentIndex();
    const QString device = cboDevice->currentText().trimmed();
    if (device.compare(Any, Qt::CaseInsensitive) != 0)
        input.device = device;
    return input;
}
