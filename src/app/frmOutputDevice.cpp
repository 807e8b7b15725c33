// SPDX-License-Identifier: GPL-3.0-or-later
#include "frmOutputDevice.h"

#include "platform/Fonts.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

TfrmOutputDevice::TfrmOutputDevice(QWidget* owner, const QList<OutputDevices::Device>& outputs,
                                   const QString& current)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setWindowTitle(QStringLiteral("Output Device"));
    setFont(Fonts::msSansSerif(11));
    resize(360, 240);

    auto* layout = new QVBoxLayout(this);
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
