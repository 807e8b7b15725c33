// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "audio/OutputDevices.h"

/// Scripted outputs; the choice made is kept, and a missing output can be reported.
class FakeOutputDevices : public OutputDevices {
public:
    QList<Device> outputDevices() override { return devices; }
    void setOutputDevice(const QString& name) override { chosen = name; }
    [[nodiscard]] QString outputDevice() const override { return chosen; }
    void setOutputMissingHandler(std::function<void(const QString&, bool)> handler) override
    {
        missing = std::move(handler);
    }
    void setServerLostHandler(std::function<void(const QString&)> handler) override
    {
        serverLost = std::move(handler);
    }

    QList<Device> devices;
    QString chosen;
    std::function<void(const QString&, bool)> missing;
    std::function<void(const QString&)> serverLost;
};
