// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QApplication>

/// The application object. Its event dispatch is the backstop of error handling:
/// an exception that escaped every guard is reported here instead of ending the show.
class SonavexApplication : public QApplication {
    Q_OBJECT
public:
    SonavexApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};
