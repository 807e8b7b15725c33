// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QStringList>

class QPushButton;

/// The About box: the logo, a line about the publisher and OK. Below them, what the run
/// must know but was never told in a message (`notes`, one a line); the box grows for them.
class TfrmAbout : public QDialog {
    Q_OBJECT
public:
    explicit TfrmAbout(QWidget* owner = nullptr, const QStringList& notes = {});

    QPushButton* Button1 = nullptr;

private:
    void Button1Click();
};
