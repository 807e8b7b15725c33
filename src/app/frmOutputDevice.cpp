// SPDX-License-Identifier: GPL-3.0-or-later
#include "frmOutputDevice.h"

#include "platform/Fonts.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

TfrmOutputDevice::TfrmOutputDevice(QWidget* owner, const QList<OutputDevices::Device>& outputs,
                                   const QString& current)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
    , m_outputs(outputs)
{
    setWindowTitle(QStringLiteral("Output Device"));
    setFont(Fonts::msSansSerif(11));
    resize(360, 240);

    auto* layout = new QVBoxLayout(this);
    m_layout = layout;
    layout->addWidget(new QLabel(QStringLiteral("Play songs on:"), this));
    lstOutputs = new QListWidget(this);
    layout->addWidget(lstOutputs);

    auto add = [this](const QString& text, const QString& name) {
        auto* item = new QListWidgetItem(text, lstOutputs);
        item->setData(Qt::UserRole, name);
        return item;
    };
    QListWidgetItem* selected = add(QStringLiteral("Default output"), QString());
    bool listed = current.isEmpty();
    for (const OutputDevices::Device& d : outputs) {
        QListWidgetItem* item = add(d.description.isEmpty() ? d.name : d.description, d.name);
        item->setToolTip(d.name);
        if (d.name == current) {
            selected = item;
            listed = true;
        }
    }
    if (!listed) // unplugged now; still the choice
        selected = add(current + QStringLiteral(" (not connected)"), current);
    lstOutputs->setCurrentItem(selected);

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
    connect(lstOutputs, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
}

QString TfrmOutputDevice::chosen() const
{
    const QListWidgetItem* item = lstOutputs->currentItem();
    return item ? item->data(Qt::UserRole).toString() : QString();
}

void TfrmOutputDevice::offerPreview(const QString& current)
{
    if (cboPreview)
        return;
    auto* label = new QLabel(QStringLiteral("&Preview songs on (headphones):"), this);
    cboPreview = new QComboBox(this);
    cboPreview->setObjectName(QStringLiteral("cboPreview"));
    label->setBuddy(cboPreview);
    cboPreview->setToolTip(QStringLiteral("Preview on a button's menu plays its song here, never on the "
                                          "output songs play on."));
    cboPreview->addItem(QStringLiteral("None"), QString());
    for (const OutputDevices::Device& d : std::as_const(m_outputs))
        cboPreview->addItem(d.description.isEmpty() ? d.name : d.description, d.name);
    int at = cboPreview->findData(current);
    if (at < 0) { // unplugged now; still the choice
        cboPreview->addItem(current + QStringLiteral(" (not connected)"), current);
        at = cboPreview->count() - 1;
    }
    cboPreview->setCurrentIndex(at);
    // Above the row of the buttons.
    const int buttonsAt = m_layout->count() - 1;
    m_layout->insertWidget(buttonsAt, label);
    m_layout->insertWidget(buttonsAt + 1, cboPreview);
    resize(width(), height() + 50);
}

QString TfrmOutputDevice::chosenPreview() const
{
    return cboPreview ? cboPreview->currentData().toString() : QString();
}
