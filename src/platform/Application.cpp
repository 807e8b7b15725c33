// SPDX-License-Identifier: GPL-3.0-or-later
#include "Application.h"

#include "ErrorReporter.h"
#include "ProgramStyle.h"
#include "Realtime.h"

SonavexApplication::SonavexApplication(int& argc, char** argv)
    : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("Sonavex"));
    setOrganizationName(QStringLiteral("Brasswold"));
    setStyle(new ProgramStyle); // the application owns it
    // A press is handled on this thread: on a busy machine it should wake first.
    Realtime::raisePriority(Realtime::currentThread(), Realtime::InterfaceNice);
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
