// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <memory>

class QAction;
class QWidget;
class Registry;
class ShowCore;

/// The board's network side: the remote controls (OSC and the web page) and a backup's link to
/// its main board. It lives in a library of its own that the board loads once its window is up
/// (NetworkModule.cpp): Qt's network support, and the libraries it brings in turn, are then never
/// loaded before the window can show.
class NetworkSide {
public:
    /// The library's name and the name its maker is exported under.
    static inline const QString Library = QStringLiteral("libsonavex-network.so");
    static constexpr const char* EntryPoint = "sonavexNetworkSide";
    using Make = NetworkSide* (*)(ShowCore& show, Registry& registry);

    /// The window's menu items: "Remote Control...", "Backup...", "Follow", "Copy Show from Main".
    struct MenuItems {
        QAction* remoteControl = nullptr;
        QAction* backup = nullptr;
        QAction* follow = nullptr;
        QAction* copyShow = nullptr;
    };

    NetworkSide() = default;
    NetworkSide(const NetworkSide&) = delete;
    NetworkSide& operator=(const NetworkSide&) = delete;
    virtual ~NetworkSide() = default;

    /// Runs what the settings turn on: the remotes, and a backup's link to its main.
    virtual void start() = 0;
    /// The window's menu items open the dialogs over `owner`.
    virtual void setMenuItems(const MenuItems& items, QWidget* owner) = 0;
    /// What listens, in a line for the board without a window.
    [[nodiscard]] virtual QString listening() const = 0;

    /// Starts loading the library on a thread of its own, once; returns at once. Loaded on the
    /// window's thread, it held presses back for the few milliseconds its libraries take.
    static void loadSoon();
    /// Loads the library (waiting for loadSoon's load) and makes the network side for `show`; null, with the
    /// reason in `why`, when the library is missing or cannot be loaded: the board then runs without remotes.
    [[nodiscard]] static std::unique_ptr<NetworkSide> load(ShowCore& show, Registry& registry, QString* why);
};
