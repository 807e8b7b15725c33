// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>

#include <functional>

/// The sound server's outputs, and the one songs are played on.
class OutputDevices {
public:
    struct Device {
        QString name;        ///< the server's own name, as it is stored
        QString description; ///< what the operator reads
        int channels = 2;    ///< how many channels it has
    };

    virtual ~OutputDevices() = default;

    /// The outputs the server has now; empty without a server.
    [[nodiscard]] virtual QList<Device> outputDevices() = 0;
    /// Songs started from now on play on the output `name` (empty: the desktop's default
    /// output), and the songs playing move there.
    virtual void setOutputDevice(const QString& name) = 0;
    [[nodiscard]] virtual QString outputDevice() const = 0;
    /// Called on the GUI thread, once each time the chosen output is found missing (`missing`
    /// true: songs then play on the default output until it returns), and once when it is back.
    virtual void
    setOutputMissingHandler(std::function<void(const QString& output, bool missing)> handler) = 0;
    /// Called on the GUI thread, once when the sound server is lost or cannot be reached (with
    /// the message a start would raise), and once, with an empty message, when it answers again.
    virtual void setServerLostHandler(std::function<void(const QString& message)> handler) = 0;
};
