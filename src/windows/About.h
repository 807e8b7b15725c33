// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

class QPushButton;

/// The About box: the logo, a line about the publisher and OK.
class TfrmAbout : public QDialog {
    Q_OBJECT
public:
    explicit TfrmAbout(QWidget* owner = nullptr);

    QPushButton* Button1 = nullptr;

private:
    void Button1Click();
};
