// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCoreApplication>
#include <QProcess>
#include <QString>
#include <QStringList>

/// A second output on the test audio server, added and taken away as a USB output would be.
inline const QString SecondSink = QStringLiteral("sonavex_second_%1").arg(QCoreApplication::applicationPid());
inline const QString SecondDescription = QStringLiteral("Second Test Output");

inline QString pactl(const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral("pactl"), args);
    p.waitForFinished(5000);
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

/// Adds the second output and removes it again when it goes.
class SecondOutput {
public:
    SecondOutput() { plugIn(); }
    ~SecondOutput() { unplug(); }
    void plugIn()
    {
        m_module =
            pactl({QStringLiteral("load-module"), QStringLiteral("module-null-sink"),
                   QStringLiteral("sink_name=") + SecondSink, QStringLiteral("rate=44100"),
                   QStringLiteral("channels=2"),
                   QStringLiteral("sink_properties='device.description=\"%1\"'").arg(SecondDescription)});
    }
    void unplug()
    {
        if (!m_module.isEmpty())
            pactl({QStringLiteral("unload-module"), m_module});
        m_module.clear();
    }

private:
    QString m_module;
};
