// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/NetworkAddresses.h"
#include "app/RemoteSettings.h"

#include <QDialog>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;

/// Options, "Remote Control...": a group box per remote (OSC, the web page), each turned on by its own
/// box, and below them the passcode they share. Answering the local network needs a passcode of
/// at least RemoteSettings::MinNetworkPasscode characters: OK waits for one, and says why.
/// The web remote's QR code is of the first address `lookup` finds, and only for the local network:
/// a phone cannot open this computer's own address.
class TfrmRemoteControl : public QDialog {
    Q_OBJECT
public:
    TfrmRemoteControl(QWidget* owner, const RemoteSettings& current, NetworkAddressLookup lookup);

    /// What the dialog shows now.
    [[nodiscard]] RemoteSettings settings() const;
    /// How the OSC remote runs now, shown in its group box.
    void setOscStatus(const QString& text);
    /// How the web remote runs now, shown in its group box.
    void setWebStatus(const QString& text);

    QGroupBox* grpOsc = nullptr; ///< checked: OSC on
    QSpinBox* spnOscPort = nullptr;
    QRadioButton* rbOscLocal = nullptr;
    QRadioButton* rbOscNetwork = nullptr;
    QLabel* lblOscStatus = nullptr;
    QGroupBox* grpWeb = nullptr; ///< checked: the web remote on
    QSpinBox* spnWebPort = nullptr;
    QRadioButton* rbWebLocal = nullptr;
    QRadioButton* rbWebNetwork = nullptr;
    QLabel* lblWebAddress = nullptr;  ///< the addresses to open in a browser
    QLabel* lblWebCode = nullptr;     ///< a QR code of the first of them
    QLabel* lblWebCodeNote = nullptr; ///< why no code is shown
    QLabel* lblWebStatus = nullptr;
    QLineEdit* edtPasscode = nullptr;
    QLabel* lblProblem = nullptr;
    QPushButton* BitBtn1 = nullptr;
    QPushButton* BitBtn2 = nullptr;

private:
    NetworkAddressLookup m_lookup;

    void check();
    void showWebAddress();
};
