// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "show/MainState.h"
#include "web/ClientFrames.h"
#include "web/ConnectionQuota.h"
#include "web/HttpRequest.h"
#include "web/WebGate.h"

#include <QElapsedTimer>

#include <QHash>
#include <QHostAddress>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

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
    quint64 busy = 0;        ///< connections over the shares, refused or closed to make room
    quint64 idle = 0;        ///< connections closed for silence
    quint64 commands = 0;    ///< commands run
    quint64 badCommands = 0; ///< messages that are no command, frames without a mask
    quint64 overRate = 0;    ///< commands that came faster than CommandsPerSecond

    [[nodiscard]] quint64 dropped() const
    {
        return malformed + tooLarge + refused + busy + badCommands + overRate;
    }
};

/// The web remote: serves the page that runs the show from a browser, and keeps it current over
/// a WebSocket, both in the window's event loop. The page's commands run through the board's
/// commands; the board's changes reach every page at once, coalesced per event loop turn.
class WebServer : public QObject {
    Q_OBJECT
public:
    /// HTTP connections and WebSockets together; ConnectionQuota shares them out.
    static constexpr int MaxConnections = ConnectionQuota::MaxConnections;
    /// An HTTP connection that sends no whole request in this time is closed: a browser sends
    /// its few hundred bytes at once, and a host that opens connections to hold them gets
    /// them back this soon.
    static constexpr int RequestDeadlineMs = 3000;
    /// Commands one page's socket may run a second, after a burst of CommandBurst: more than
    /// fingers or a button deck send. What comes faster is dropped and counted, so that a flood
    /// from one page leaves the board to the mouse, the keys and the other remotes.
    static constexpr int CommandsPerSecond = 50;
    static constexpr int CommandBurst = 20;
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

    /// What a backup board that follows this one is sent: the board as it is now.
    using StateSource = std::function<MainState()>;
    /// A backup follows this often, and at once on every change of what plays, the queue, the
    /// sheet or the master level.
    static constexpr int FollowMs = 250;
    /// Lets logged-in sockets follow this board with {"cmd":"follow"}; without a source they
    /// are told this board cannot be followed.
    void setStateSource(StateSource source);
    [[nodiscard]] int followerCount() const { return static_cast<int>(m_followers.size()); }
    /// How often the show's digest is wanted anew while a backup follows (showDigestWanted()).
    static constexpr int ShowCheckMs = 5000;
    /// The show's digest, slot by slot (see ShowDigest), that a follower compares with its own:
    /// sent to the followers when it changed, and to each as it begins to follow.
    void setShowDigest(const QStringList& digest);
    /// The whole show (see ShowCopy), sent to a follower that asks with {"cmd":"sendshow"}.
    using ShowCopySource = std::function<QJsonObject()>;
    void setShowCopySource(ShowCopySource source);
    /// How far behind this board the backup furthest behind told it is, in milliseconds; 0
    /// while each is in step (or none follows).
    [[nodiscard]] int followerBehindMs() const;
    /// The status bar's word on the backups: "No backup" while none follows, "Backup 120 ms
    /// behind" while one told it is behind, else "Backup in step".
    [[nodiscard]] static QString backupText(int followers, int behindMs = 0);
    /// The most a backup's word on how far behind it is counts for (an hour).
    static constexpr int MostBehindMs = 3'600'000;

    /// The addresses to open for a server on `port`: 127.0.0.1 for this computer only, else
    /// every IPv4 address of the computer that is not loopback.
    [[nodiscard]] static QStringList addresses(quint16 port, bool network);

Q_SIGNALS:
    /// A backup began or ceased to follow this board, or the furthest behind of them told
    /// another distance (followerBehindMs()).
    void followersChanged(int count);
    /// A backup began to follow, or one follows and a while has passed: setShowDigest() is due.
    void showDigestWanted();
    /// A backup that follows this board told how many slots of its show differ, and the first
    /// of them (sheet * 36 + slot); none when the two are the same.
    void followerShowDiffers(const QList<int>& slots, int count);

private:
    struct Connection {
        QTimer* idle = nullptr;
        QByteArray session;
    };
    /// A socket handed to QWebSocketServer, from the upgrade on.
    struct Upgraded {
        qsizetype handshake = 0;    ///< the request's bytes, until QWebSocketServer has read them
        QWebSocket* page = nullptr; ///< once adopted
        ClientFrames frames{MaxMessageBytes};
    };
    struct Page {
        QTcpSocket* socket = nullptr;
        int unanswered = 0; ///< pings since the last pong or message
        qint64 due = 0;     ///< when the page's command budget is whole again, on m_clock
    };

    void accept();
    void readRequest(QTcpSocket* socket);
    void answer(QTcpSocket* socket, const HttpRequest& request);
    void upgrade(QTcpSocket* socket, const HttpRequest& request);
    void adopt();
    void watchFrames(QTcpSocket* socket);
    [[nodiscard]] bool withinRate(Page& page);
    void received(QWebSocket* page, const QString& message);
    void drop(QWebSocket* page);
    /// Whether `message` asks to follow; `page` then follows, told the state at once.
    bool follow(QWebSocket* page, const QString& message);
    /// Whether `message` is a follower's word on its show ({"cmd":"showdiffers"}, said on), on
    /// how far behind it is ({"cmd":"behind","ms":120}, said on) or its wish for this board's
    /// whole show ({"cmd":"sendshow"}, answered).
    bool followerSays(QWebSocket* page, const QString& message);
    /// Sends the show's digest to `pages`.
    void sendShow(const QList<QWebSocket*>& pages);
    void sendState();

    void tell(const QByteArray& message);
    void tellTime(const QByteArray& message);
    void flush();
    [[nodiscard]] QByteArray wholeState() const;

    Board& m_board;
    WebGate m_gate;
    WebCounters m_counters;
    QTcpServer* m_server;
    QWebSocketServer* m_sockets;
    ConnectionQuota m_quota;
    QHash<QTcpSocket*, Connection> m_connections;
    QHash<QTcpSocket*, Upgraded> m_upgraded;
    QList<QWebSocket*> m_pages;
    QHash<QWebSocket*, Page> m_pageState;
    QElapsedTimer m_clock;
    QTimer* m_ping;
    QList<QByteArray> m_outbox;
    QByteArray m_time;    ///< the latest time message not yet sent
    QByteArray m_playing; ///< the latest list of what plays not yet sent
    QTimer* m_flush;
    bool m_network = false;
    StateSource m_stateSource;
    QList<QWebSocket*> m_followers;
    QHash<QWebSocket*, int> m_followerBehind; ///< what each told of how far behind it is, in ms
    QTimer* m_follow;
    ShowCopySource m_showCopySource;
    QTimer* m_showCheck;
    QStringList m_showDigest;
    bool m_stateDue = false; ///< a change the followers have not been sent
};
