// SPDX-License-Identifier: GPL-3.0-or-later
// sonavex-setup: registers the settings Sonavex needs and seeds a first sheet.
#include "ConsoleDialogs.h"
#include "SonavexSetup.h"
#include "platform/Errors.h"
#include "platform/IniRegistry.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("sonavex-setup"));
    if (argc > 1) {
        std::fprintf(stdout,
                     "Usage: sonavex-setup\n"
                     "Registers InfoPath and HelpPath in ~/.config/Brasswold.ini when they are missing\n"
                     "and, when there is no info file yet, puts sample sounds on the first sheet.\n"
                     "Values and files that exist are never changed.\n");
        return argc == 2 && (qstrcmp(argv[1], "--help") == 0 || qstrcmp(argv[1], "-h") == 0) ? 0 : 2;
    }

    ConsoleDialogs dialogs;
    IniRegistry registry;
    try {
        SonavexSetup setup(registry, dialogs,
                           SonavexSetup::locationsFor(QCoreApplication::applicationDirPath()));
        const SonavexSetup::Report report = setup.run();
        for (const QString& value : report.registered)
            std::fprintf(stdout, "sonavex-setup: registered %s\n", qUtf8Printable(value));
        if (report.seededSongs > 0)
            std::fprintf(stdout, "sonavex-setup: put %d sample sounds on the first sheet (%s)\n",
                         report.seededSongs, qUtf8Printable(report.infoPath));
    } catch (const SonavexError& e) {
        std::fprintf(stderr, "sonavex-setup: %s\n", qUtf8Printable(e.message()));
        return 1;
    }
    return dialogs.messageCount() == 0 ? 0 : 1;
}
