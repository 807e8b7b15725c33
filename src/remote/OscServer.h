// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "remote/OscRemote.h"
#include "remote/OscTransport.h"

#include <QObject>
#include <QString>

#include <vector>

class Board;
class QSocketNotifier;

/// How the OSC remote listens.
struct OscConfig {
    quint16 port = 0; ///< 0: off
    /// Every address of the computer, for senders on the local network (who need the passcode);
    /// else 127.0.0.1 only.
    bool network = false;
    QString passcode;

    friend bool operator==(const OscConfig&, const OscConfig&) = default;
};

/// The OSC remote's UDP socket, read on the window's thread as datagrams arrive. A burst is
/// read a few datagrams at a time, so that a flood never keeps the window from a press. The
/// socket asks for the errors of what it sends (IP_RECVERR): an ICMP "port unreachable" then
/// names the peer it was for, so a subscriber that is gone is dropped at once.
class OscServer : public QObject, public OscTransport {
    Q_OBJECT
public:
    /// Datagrams read before the event loop gets its turn again.
    static constexpr int DatagramsPerTurn = 16;

    explicit OscServer(Board& board, QObject* parent = nullptr);
    ~OscServer() override;

    /// Listens as `config` says (a port of 0 stops it). Returns false when the port cannot be
    /// bound, with the reason said of the port in `why` ("is in use by another program"); the
    /// server is then off.
    bool listen(const OscConfig& config, QString* why = nullptr);
    void stop();
    [[nodiscard]] bool listening() const { return m_fd >= 0; }
    /// The port bound; 0 when off.
    [[nodiscard]] quint16 port() const { return m_port; }

    [[nodiscard]] OscRemote& remote() { return m_remote; }

    void send(const OscPeer& to, const QByteArray& datagram) override;

    /// Datagrams that could not go out at once (the peer's or our buffer full).
    [[nodiscard]] quint64 unsent() const { return m_unsent; }

private:
    void readSome();
    /// Reads the errors the system queued for datagrams sent: a peer whose port is closed is
    /// told to the remote. Returns whether there was any.
    bool readErrors();

    OscRemote m_remote;
    int m_fd = -1;
    quint16 m_port = 0;
    QSocketNotifier* m_notifier = nullptr;
    std::vector<char> m_buffer;
    quint64 m_unsent = 0;
};
