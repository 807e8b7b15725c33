// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/IniRegistry.h"
#include "platform/MessageBoxErrorReporter.h"
#include "platform/QtDialogs.h"
#include "songs/SongStruc.h"

#include <QApplication>

#include <memory>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QtDialogs dialogs;
    MessageBoxErrorReporter reporter(dialogs);
    ErrorReporter::install(&reporter);
    IniRegistry registry;
    auto songInfo = std::make_unique<TSongInfo>(registry, dialogs);
    QApplication::setApplicationDisplayName(QStringLiteral("Sonavex"));
    return 0;
}
