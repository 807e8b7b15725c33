// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

/// Options, "Backup...": the main board this one is a backup of, as the address and port of the
/// main's web remote ("192.168.1.20:8020"); empty: this board follows none. OK waits for an
/// address it can read.
class TfrmBackup : public QDialog {
    Q_OBJECT
public:
    TfrmBackup(QWidget* owner, const QString& current);

    /// The address shown, trimmed; empty: none.
    [[nodiscard]] QString address() const;
    /// Whether `address` is empty or reads as host:port.
    [[nodiscard]] static bool readable(const QString& address);

    QLineEdit* edtMain = nullptr;
    QLabel* lblProblem = nullptr;
    QPushButton* BitBtn1 = nullptr;
    QPushButton* BitBtn2 = nullptr;

private:
    void check();
};
