// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>

#include <memory>

class BackupFollower;
class QAction;
class QWidget;
class MainBoardLink;
class Registry;
class ShowCore;

/// Makes this board a backup of the main one the settings name (`[Backup] Main`): follows it
/// over the link from the start, and says in the status bar how far behind it is.
class BackupControl : public QObject {
    Q_OBJECT
public:
    /// Status bar topic of the follower's step with the main.
    static inline const QString StepNews = QStringLiteral("backup step");

    BackupControl(ShowCore& show, Registry& registry, QObject* parent = nullptr);
    ~BackupControl() override;

    /// Links to the stored main board, if any, and follows it.
    void start();
    /// Links to `address` ("host:port"; empty: none) and follows it; stored.
    void setMain(const QString& address);
    [[nodiscard]] const QString& main() const { return m_main; }
    /// Follows the main again, after it was lost or after Stop All.
    void follow();

    /// The window's menu items: "Backup..." opens the dialog over `owner`; "Follow" follows the
    /// main again and "Copy Show from Main" takes its show, while there is one.
    void setMenuItems(QAction* configure, QAction* follow, QAction* copyShow, QWidget* owner);
    /// The dialog; the address the operator accepts is stored and followed at once.
    void configure();

    [[nodiscard]] BackupFollower& follower() { return *m_follower; }
    [[nodiscard]] MainBoardLink& link() { return *m_link; }

private:
    void apply();

    ShowCore& m_show;
    Registry& m_registry;
    std::unique_ptr<BackupFollower> m_follower;
    std::unique_ptr<MainBoardLink> m_link;
    QString m_main;
    QWidget* m_owner = nullptr;
    QAction* m_follow = nullptr;
    QAction* m_copyShow = nullptr;
};
