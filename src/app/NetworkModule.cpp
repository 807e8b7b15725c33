// SPDX-License-Identifier: GPL-3.0-or-later
// The entry point of the network library (see NetworkSide.h): the remotes and the backup's link,
// made for the board that loaded it. Its calls into the board go to the program's own functions.
#include "app/BackupControl.h"
#include "app/NetworkSide.h"
#include "app/RemoteControl.h"

#include <QtGlobal>

namespace {
class BoardNetwork final : public NetworkSide {
public:
    BoardNetwork(ShowCore& show, Registry& registry)
        : m_remote(show, registry)
        , m_backup(show, registry)
    {
    }

    void start() override
    {
        m_remote.start();
        m_backup.start();
    }

    void setMenuItems(const MenuItems& items, QWidget* owner) override
    {
        m_remote.setMenuItem(items.remoteControl, owner);
        m_backup.setMenuItems(items.backup, items.follow, items.copyShow, owner);
    }

    [[nodiscard]] QString listening() const override { return m_remote.listening(); }

private:
    RemoteControl m_remote;
    BackupControl m_backup; // ends first: it follows the show through the link
};
} // namespace

extern "C" Q_DECL_EXPORT NetworkSide* sonavexNetworkSide(ShowCore& show, Registry& registry)
{
    return new BoardNetwork(show, registry);
}
