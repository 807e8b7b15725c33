// SPDX-License-Identifier: GPL-3.0-or-later
#include "Application.h"

#include "ErrorReporter.h"

SonavexApplication::SonavexApplication(int& argc, char** argv)
    : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("Sonavex"));
    setOrganizationName(QStringLiteral("Brasswold"));
}

bool SonavexApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ErrorReporter::reportCurrentException();
        return false;
    }
}
