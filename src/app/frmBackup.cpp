// SPDX-License-Identifier: GPL-3.0-or-later
#include "frmBackup.h"

#include "platform/Guard.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TfrmBackup::TfrmBackup(QWidget* owner, const QString& current)
    : QDialog(owner)
{
    setWindowTitle(QStringLiteral("Backup"));
    auto* layout = new QVBoxLayout(this);
    auto* label = new QLabel(QStringLiteral("&Main board (address:port of its web remote):"), this);
    edtMain = new QLineEdit(current, this);
    edtMain->setPlaceholderText(QStringLiteral("192.168.1.20:8020"));
    label->setBuddy(edtMain);
    lblProblem = new QLabel(this);
    auto* buttons = new QDialogButtonBox(this);
    BitBtn1 = buttons->addButton(QDialogButtonBox::Ok);
    BitBtn2 = buttons->addButton(QDialogButtonBox::Cancel);
    layout->addWidget(label);
    layout->addWidget(edtMain);
    layout->addWidget(new QLabel(QStringLiteral("Leave it empty for a board that follows none."), this));
    layout->addWidget(lblProblem);
    layout->addWidget(buttons);
    connectGuarded(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connectGuarded(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connectGuarded(edtMain, &QLineEdit::textChanged, this, &TfrmBackup::check);
    check();
}

QString TfrmBackup::address() const
{
    return edtMain->text().trimmed();
}

bool TfrmBackup::readable(const QString& address)
{
    const QString a = address.trimmed();
    if (a.isEmpty())
        return true;
    const qsizetype colon = a.lastIndexOf(QLatin1Char(':'));
    bool ok = false;
    const uint port = colon > 0 ? a.mid(colon + 1).toUInt(&ok) : 0;
    return ok && port > 0 && port <= 65535 && !a.left(colon).contains(QLatin1Char(' '));
}

void TfrmBackup::check()
{
    const bool ok = readable(edtMain->text());
    BitBtn1->setEnabled(ok);
    lblProblem->setText(ok ? QString() : QStringLiteral("Write the main board as address:port."));
}
