// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;
class QSlider;

/// Chooses the fade speed: 1 (6 s) to 5 (30 s). Opens at 3 every time.
class TfrmFadeCtrl : public QDialog {
    Q_OBJECT
public:
    explicit TfrmFadeCtrl(QWidget* owner = nullptr);

    QLabel* Label1 = nullptr;
    QSlider* tbFade = nullptr;
    QPushButton* BitBtn1 = nullptr;
    QPushButton* BitBtn2 = nullptr;
};
