// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "web/HttpRequest.h"
#include "web/WebGate.h"

#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>

class Board;
class QTcpServer;
class QTcpSocket;
class QTimer;
class QWebSocket;
class QWebSocketServer;

/// How the web remote listens.
struct WebConfig {
    quint16 port = 0; ///< 0: off
    /// Every address of the computer, for browsers on the local network (who need the passcode);
    /// else 127.0.0.1 only.
    bool network = false;
    QString passcode;

    friend bool operator==(const WebConfig&, const WebConfig&) = default;
};

/// What the web remote did this run; everything it refused is counted.
struct WebCounters {
    quint64 requests = 0;    ///< HTTP requests answered
    quint64 malformed = 0;   ///< requests that are no HTTP as we read it
    quint64 tooLarge = 0;    ///< heads, bodies or messages over the bounds
    quint64 refused = 0;     ///< no session, a foreign Host or Origin
    quint64 busy = 0;        ///< connections over MaxConnections, closed at once
    quint64 idle = 0;        ///< connections closed for silence
    quint64 commands = 0;    ///< commands run
    quint64 badCommands = 0; ///< messages that are no command

    [[nodiscard]] quint64 dropped() const { return malformed + tooLarge + refused + busy + badCommands; }
};

/// The web remote: serves the page that runs the show from a browser, and keeps it current over
/// a WebSocket, both in the window's event loop. The page's commands run through the board's
/// commands; the board's changes reach every page at once, coalesced per event loop turn.
class WebServer : public QObject {
    Q_OBJECT
public:
    /// HTTP connections and WebSockets together.
    static constexpr int MaxConnections = 32;
    /// An HTTP connection that sends no whole request in this time is closed.
    static constexpr int RequestIdleMs = 10'000;
    /// Pages are pinged this often, and dropped after three pings unanswered.
    static constexpr int PingMs = 15'000;
    static constexpr qint64 MaxMessageBytes = 1024;
    /// A page that reads slower than the board changes is dropped past this much unsent.
    static constexpr qint64 MaxUnsent = 512 * 1024;

    explicit WebServer(Board& board, QObject* parent = nullptr);
    ~WebServer() override;

    /// Listens as `config` says (a port of 0 stops it). Returns false when the port cannot be
    /// bound, with the reason in `why` ("is in use by another program"); the server is then off.
    bool listen(const WebConfig& config, QString* why = nullptr);
    void stop();
    [[nodiscard]] bool listening() const;
    [[nodiscard]] quint16 port() const;

    [[nodiscard]] WebGate& gate() { return m_gate; }
    [[nodiscard]] const WebCounters& counters() const { return m_counters; }
    [[nodiscard]] int pageCount() const { return static_cast<int>(m_pages.size()); }

    /// The addresses to open for a server on `port`: 127.0.0.1 for this computer only, else
    /// every IPv4 address of the computer that is not loopback.
    [[nodiscard]] static QStringList addresses(quint16 port, bool network);

private:
    struct Connection {
        QTimer* idle = nullptr;
        QByteArray session;
    };

    void accept();
    void readRequest(QTcpSocket* socket);
    void answer(QTcpSocket* socket, const HttpRequest& request);
    void upgrade(QTcpSocket* socket, const HttpRequest& request);
    void adopt();
    void received(QWebSocket* page, const QString& message);
    void drop(QWebSocket* page);

    void tell(const QByteArray& message);
    void tellTime(const QByteArray& message);
    void flush();
    [[nodiscard]] QByteArray wholeState() const;
    [[nodiscard]] int connectionCount() const;

    Board& m_board;
    WebGate m_gate;
    WebCounters m_counters;
    QTcpServer* m_server;
    QWebSocketServer* m_sockets;
    QHash<QTcpSocket*, Connection> m_connections;
    QList<QWebSocket*> m_pages;
    QHash<QWebSocket*, int> m_unanswered; ///< pings since the last pong or message
    QTimer* m_ping;
    QList<QByteArray> m_outbox;
    QByteArray m_time; ///< the latest time message not yet sent
    QTimer* m_flush;
    bool m_network = false;
};
