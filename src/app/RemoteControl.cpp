// SPDX-License-Identifier: GPL-3.0-or-later
#include "RemoteControl.h"

#include "app/MainBoardLink.h"
#include "app/NetworkAddresses.h"
#include "app/frmRemoteControl.h"
#include "core/BackupFollower.h"
#include "core/ShowCore.h"
#include "platform/Guard.h"
#include "platform/IniRegistry.h"
#include "remote/OscServer.h"
#include "songs/ShowCopy.h"
#include "songs/ShowDigest.h"
#include "web/WebServer.h"

#include <QAction>
#include <QDateTime>

RemoteControl::RemoteControl(ShowCore& show, Registry& registry, QObject* parent)
    : QObject(parent)
    , m_show(show)
    , m_registry(registry)
    , m_osc(std::make_unique<OscServer>(show))
    , m_web(std::make_unique<WebServer>(show))
{
    // A backup board that follows this one is sent the show as it is; the time it was taken is
    // this board's, which the backup turns into its own.
    m_web->setStateSource(
        [&show] { return BackupFollower::stateOf(show, QDateTime::currentMSecsSinceEpoch()); });
    connectGuarded(m_web.get(), &WebServer::followersChanged, this, [this](int count) {
        m_show.sayNews(BackupNews, WebServer::backupText(count, m_web->followerBehindMs()));
        if (count == 0)
            m_show.clearNews(BackupShowNews);
    });
    // A backup compares its show with this one's, slot by slot, and says which differ.
    auto* digest = new ShowDigest(show.songInfo(), this);
    connectGuarded(m_web.get(), &WebServer::showDigestWanted, digest, &ShowDigest::request);
    connectGuarded(digest, &ShowDigest::digestTaken, m_web.get(), &WebServer::setShowDigest);
    m_web->setShowCopySource([&show] {
        QStringList names;
        for (int sheet = 0; sheet < Board::Sheets; ++sheet)
            names << show.sheetName(sheet);
        return ShowCopy::toJson(show.songInfo(), names);
    });
    connectGuarded(m_web.get(), &WebServer::followerShowDiffers, this,
                   [this](const QList<int>& slots, int count) {
                       if (count == 0)
                           m_show.clearNews(BackupShowNews);
                       else
                           m_show.sayNews(BackupShowNews,
                                          QStringLiteral("The backup's show differs from this one in %1: %2")
                                              .arg(MainBoardLink::slotCount(count),
                                                   ShowDigest::slotsText(slots, count)));
                   });
}

void RemoteControl::setMenuItem(QAction* item, QWidget* owner)
{
    m_owner = owner;
    item->setEnabled(true);
    connectGuarded(item, &QAction::triggered, this, &RemoteControl::configure);
}

RemoteControl::~RemoteControl() = default;

void RemoteControl::start()
{
    apply(RemoteSettings::load(m_registry));
}

void RemoteControl::apply(const RemoteSettings& settings)
{
    // Unchanged and running as asked: the admitted remotes and the subscribers stay.
    if (m_started && settings == m_applied && m_osc->listening() == (settings.oscPort != 0) &&
        m_web->listening() == (settings.webPort != 0))
        return;
    m_started = true;
    m_applied = settings;
    m_show.clearNews(News);
    m_show.clearNews(WebNews);
    // Without a passcode nobody on the network could get in: answer this computer only.
    const bool network = settings.oscNetwork && !settings.passcode.isEmpty();
    QString why;
    const WebConfig web{settings.webPort, settings.webNetwork && !settings.passcode.isEmpty(),
                        settings.passcode};
    if (!m_web->listen(web, &why)) {
        m_show.sayNews(WebNews,
                       QStringLiteral("Web remote is off: TCP port %1 %2.").arg(settings.webPort).arg(why));
    } else if (settings.webPort != 0 && settings.webNetwork && !web.network) {
        m_show.sayNews(WebNews, QStringLiteral("Web remote answers this computer only: no passcode is set."));
    }
    if (!m_osc->listen({settings.oscPort, network, settings.passcode}, &why)) {
        m_show.sayNews(
            News, QStringLiteral("Remote control is off: UDP port %1 %2.").arg(settings.oscPort).arg(why));
    } else if (settings.oscPort != 0 && settings.oscNetwork && !network) {
        m_show.sayNews(News,
                       QStringLiteral("Remote control answers this computer only: no passcode is set."));
    }
}

QString RemoteControl::listening() const
{
    const RemoteSettings settings = RemoteSettings::load(m_registry);
    // As start() decides: without a passcode only this computer is answered.
    const auto where = [&settings](bool network) {
        return network && !settings.passcode.isEmpty() ? QStringLiteral("the local network")
                                                       : QStringLiteral("this computer only");
    };
    QStringList parts;
    if (m_osc->listening())
        parts << QStringLiteral("OSC on UDP port %1 (%2)").arg(m_osc->port()).arg(where(settings.oscNetwork));
    if (m_web->listening())
        parts << QStringLiteral("web remote at %1 (%2)")
                     .arg(WebServer::addresses(m_web->port(),
                                               settings.webNetwork && !settings.passcode.isEmpty())
                              .join(QStringLiteral(" ")),
                          where(settings.webNetwork));
    if (parts.isEmpty())
        return QStringLiteral("No remote is on: set OscPort or WebPort under [Remote] in %1/Brasswold.ini, "
                              "or turn one on in the window's Options, Remote Control.")
            .arg(IniRegistry::defaultConfigDir());
    return QStringLiteral("Listening: ") + parts.join(QStringLiteral("; ")) + QLatin1Char('.');
}

QString RemoteControl::oscStatus() const
{
    if (!m_osc->listening())
        return {};
    const OscCounters& c = m_osc->remote().counters();
    return QStringLiteral(
               "This run on port %1: commands run %2, dropped %3, wrong passcodes %4, subscribers %5.")
        .arg(m_osc->port())
        .arg(c.handled)
        .arg(c.dropped())
        .arg(c.denied)
        .arg(m_osc->remote().subscriberCount());
}

QString RemoteControl::webStatus() const
{
    if (!m_web->listening())
        return {};
    const WebCounters& c = m_web->counters();
    // Commands dropped for coming faster than a page may send them are told apart from refusals.
    return QStringLiteral("This run on port %1: pages open %2, commands run %3, commands sent too fast %4, "
                          "refused %5, wrong passcodes %6.")
        .arg(m_web->port())
        .arg(m_web->pageCount())
        .arg(c.commands)
        .arg(c.overRate)
        .arg(c.dropped() - c.overRate)
        .arg(m_web->gate().denied());
}

void RemoteControl::configure()
{
    TfrmRemoteControl dialog(m_owner, RemoteSettings::load(m_registry), &NetworkAddresses::reachable);
    dialog.setOscStatus(oscStatus());
    dialog.setWebStatus(webStatus());
    if (dialog.exec() != QDialog::Accepted)
        return;
    const RemoteSettings settings = dialog.settings();
    settings.save(m_registry);
    apply(settings);
}
