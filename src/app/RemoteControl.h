// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/RemoteSettings.h"

#include <QObject>

#include <memory>

class QAction;
class QWidget;
class OscServer;
class Registry;
class ShowCore;
class WebServer;

/// The remote controls the operator turns on under Options, "Remote Control...": the OSC
/// server and the web remote, run on the stored settings. What keeps one from running (a port in use) is said
/// once in the status bar, and the board runs on without it.
class RemoteControl : public QObject {
    Q_OBJECT
public:
    /// Status bar topic of the remote's news.
    static inline const QString News = QStringLiteral("remote");
    static inline const QString WebNews = QStringLiteral("web remote");
    /// Topic of the news of the backup boards that follow this one.
    static inline const QString BackupNews = QStringLiteral("backup");
    /// Topic of the news of the slots where a backup's show differs from this one.
    static inline const QString BackupShowNews = QStringLiteral("backup show");

    RemoteControl(ShowCore& show, Registry& registry, QObject* parent = nullptr);
    ~RemoteControl() override;
    /// The window's menu item that opens the settings dialog, over `owner`; without one (a board
    /// with no window) the stored settings hold.
    void setMenuItem(QAction* item, QWidget* owner);

    /// Runs what the stored settings turn on.
    void start();
    /// Runs on `settings`: a server they change starts again, as does one that could not start
    /// (its port may be free now); the others run on.
    void apply(const RemoteSettings& settings);
    /// The dialog; what the operator accepts is stored and runs at once.
    void configure();

    [[nodiscard]] OscServer& osc() { return *m_osc; }
    [[nodiscard]] WebServer& web() { return *m_web; }
    /// What listens, in a line for the board without a window (the remotes say themselves what
    /// could not start).
    [[nodiscard]] QString listening() const;
    /// What the OSC server has done this run, for the dialog; empty while it is off.
    [[nodiscard]] QString oscStatus() const;
    /// What the web remote has done this run, for the dialog; empty while it is off.
    [[nodiscard]] QString webStatus() const;

private:
    ShowCore& m_show;
    QWidget* m_owner = nullptr;
    Registry& m_registry;
    std::unique_ptr<OscServer> m_osc;
    std::unique_ptr<WebServer> m_web;
    RemoteSettings m_applied;
    bool m_started = false;
};
