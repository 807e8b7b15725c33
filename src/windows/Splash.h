// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

class QLabel;

/// The frameless start-up window with the logo and "Loading. . .".
class TfrmSplash : public QWidget {
    Q_OBJECT
public:
    explicit TfrmSplash(QWidget* owner = nullptr);

    QLabel* lblContinue = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void FormShow();
    /// A click on the logo or on lblContinue hides the window.
    bool eventFilter(QObject* watched, QEvent* event) override;

    QLabel* imgLogo = nullptr;
};
