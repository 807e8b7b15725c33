// SPDX-License-Identifier: GPL-3.0-or-later
#include "BackupControl.h"

#include "app/MainBoardLink.h"
#include "app/RemoteSettings.h"
#include "app/frmBackup.h"
#include "core/BackupFollower.h"
#include "core/ShowCore.h"
#include "platform/Guard.h"

#include <QAction>

BackupControl::BackupControl(ShowCore& show, Registry& registry, QObject* parent)
    : QObject(parent)
    , m_show(show)
    , m_registry(registry)
    , m_follower(std::make_unique<BackupFollower>(show))
    , m_link(std::make_unique<MainBoardLink>(*m_follower, show))
{
    connectGuarded(m_follower.get(), &BackupFollower::linkChanged, this, [this](const QString& text) {
        if (text.isEmpty())
            m_show.clearNews(StepNews);
        else
            m_show.sayNews(StepNews, text);
    });
}

BackupControl::~BackupControl()
{
    m_link->stop();
    m_follower->stop();
}

void BackupControl::start()
{
    m_main = RemoteSettings::loadBackupMain(m_registry);
    apply();
}

void BackupControl::setMain(const QString& address)
{
    RemoteSettings::saveBackupMain(m_registry, address);
    m_main = address.trimmed();
    apply();
}

void BackupControl::follow()
{
    if (!m_main.isEmpty())
        m_follower->follow();
}

void BackupControl::setMenuItems(QAction* configure, QAction* follow, QAction* copyShow, QWidget* owner)
{
    m_owner = owner;
    m_follow = follow;
    m_copyShow = copyShow;
    configure->setEnabled(true);
    follow->setEnabled(!m_main.isEmpty());
    copyShow->setEnabled(!m_main.isEmpty());
    connectGuarded(configure, &QAction::triggered, this, &BackupControl::configure);
    connectGuarded(follow, &QAction::triggered, this, &BackupControl::follow);
    connectGuarded(copyShow, &QAction::triggered, m_link.get(), &MainBoardLink::copyShow);
}

void BackupControl::configure()
{
    TfrmBackup dialog(m_owner, m_main);
    if (dialog.exec() == QDialog::Accepted)
        setMain(dialog.address());
}

void BackupControl::apply()
{
    if (m_follow)
        m_follow->setEnabled(!m_main.isEmpty());
    if (m_copyShow)
        m_copyShow->setEnabled(!m_main.isEmpty());
    m_link->stop();
    if (m_main.isEmpty()) {
        m_follower->stop();
        return;
    }
    // The passcode is the one this board's remotes share with the main's.
    m_link->connectTo(m_main, RemoteSettings::load(m_registry).passcode);
    m_follower->follow();
}
