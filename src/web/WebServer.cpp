// SPDX-License-Identifier: GPL-3.0-or-later
#include "WebServer.h"

#include "platform/Guard.h"
#include "show/Board.h"
#include "web/WebCommand.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkInterface>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrlQuery>
#include <QWebSocket>
#include <QWebSocketServer>

#include <algorithm>
#include <cmath>

namespace {

const char* stateName(SlotState state)
{
    switch (state) {
    case SlotState::Empty:
        return "empty";
    case SlotState::Filled:
        return "filled";
    case SlotState::Playing:
        return "playing";
    case SlotState::Next:
        return "next";
    case SlotState::Queued:
        return "queued";
    }
    return "empty";
}

const char* playName(TPlayState state)
{
    return state == TPlayState::psPlaying ? "playing" : state == TPlayState::psPaused ? "paused" : "stopped";
}

QByteArray json(const QJsonObject& o)
{
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

QJsonObject slotObject(int sheet, int slot, SlotState state, const QString& title)
{
    return {{QStringLiteral("t"), QStringLiteral("slot")},
            {QStringLiteral("sheet"), sheet},
            {QStringLiteral("slot"), slot},
            {QStringLiteral("state"), QLatin1String(stateName(state))},
            {QStringLiteral("title"), title}};
}

QJsonObject nowObject(const NowPlaying& now)
{
    return {{QStringLiteral("t"), QStringLiteral("now")},
            {QStringLiteral("sheet"), now.sheet},
            {QStringLiteral("slot"), now.slot},
            {QStringLiteral("title"), now.title}};
}

QJsonObject timeObject(double position, double length, double left)
{
    return {{QStringLiteral("t"), QStringLiteral("time")},
            {QStringLiteral("position"), position},
            {QStringLiteral("length"), length},
            {QStringLiteral("left"), left}};
}

QJsonArray playingArray(const QList<PlayingSound>& sounds)
{
    QJsonArray list;
    for (const PlayingSound& s : sounds)
        list.append(QJsonObject{{QStringLiteral("id"), s.id},
                                {QStringLiteral("sheet"), s.sheet},
                                {QStringLiteral("slot"), s.slot},
                                {QStringLiteral("title"), s.title},
                                {QStringLiteral("position"), s.position},
                                {QStringLiteral("length"), s.length},
                                {QStringLiteral("left"), s.left()},
                                {QStringLiteral("paused"), s.paused},
                                {QStringLiteral("output"), s.output}});
    return list;
}

QByteArray resource(const QString& name)
{
    QFile f(QStringLiteral(":/web/") + name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

/// Whether a Host header names the server by an address or as localhost. A name that resolves
/// to us only through someone else's DNS is refused, so no foreign page reaches the board.
bool plainHost(const QByteArray& host)
{
    QByteArray name = host;
    if (name.startsWith('[')) {
        const qsizetype close = name.indexOf(']');
        if (close < 0)
            return false;
        name = name.mid(1, close - 1);
    } else if (const qsizetype colon = name.lastIndexOf(':'); colon >= 0) {
        name = name.left(colon);
    }
    if (name.compare("localhost", Qt::CaseInsensitive) == 0)
        return true;
    return !QHostAddress(QString::fromLatin1(name)).isNull();
}

void reply(QTcpSocket* socket, const char* status, const QByteArray& type, const QByteArray& body,
           const QByteArray& extra = {})
{
    QByteArray head = QByteArrayLiteral("HTTP/1.1 ") + status + "\r\n";
    if (!type.isEmpty())
        head += "Content-Type: " + type + "\r\n";
    head += "Content-Length: " + QByteArray::number(body.size()) +
            "\r\n"
            "Cache-Control: no-store\r\n"
            "X-Content-Type-Options: nosniff\r\n"
            "X-Frame-Options: DENY\r\n"
            "Referrer-Policy: no-referrer\r\n"
            "Content-Security-Policy: default-src 'self'; connect-src 'self'; img-src 'self' data:; "
            "frame-ancestors 'none'; form-action 'self'\r\n"
            "Connection: close\r\n" +
            extra + "\r\n";
    socket->write(head + body);
    socket->disconnectFromHost();
}

} // namespace

WebServer::WebServer(Board& board, QObject* parent)
    : QObject(parent)
    , m_board(board)
    , m_server(new QTcpServer(this))
    , m_sockets(new QWebSocketServer(QStringLiteral("Sonavex"), QWebSocketServer::NonSecureMode, this))
    , m_ping(new QTimer(this))
    , m_flush(new QTimer(this))
    , m_follow(new QTimer(this))
    , m_showCheck(new QTimer(this))
{
    m_server->setMaxPendingConnections(MaxConnections);
    m_sockets->setMaxPendingConnections(MaxConnections);
    m_sockets->setHandshakeTimeout(RequestDeadlineMs);
    m_clock.start();
    connectGuarded(m_server, &QTcpServer::newConnection, this, &WebServer::accept);
    connectGuarded(m_sockets, &QWebSocketServer::newConnection, this, &WebServer::adopt);

    m_flush->setSingleShot(true);
    m_flush->setInterval(0);
    connectGuarded(m_flush, &QTimer::timeout, this, &WebServer::flush);
    m_ping->setInterval(PingMs);
    connectGuarded(m_ping, &QTimer::timeout, this, [this] {
        for (QWebSocket* page : QList<QWebSocket*>(m_pages)) {
            if (++m_pageState[page].unanswered > 3) {
                ++m_counters.idle;
                page->abort();
                continue;
            }
            page->ping();
        }
    });

    m_showCheck->setInterval(ShowCheckMs);
    connectGuarded(m_showCheck, &QTimer::timeout, this, &WebServer::showDigestWanted);
    m_follow->setInterval(FollowMs);
    connectGuarded(m_follow, &QTimer::timeout, this, &WebServer::sendState);
    // What a backup must match changed: its followers hear it with the next batch.
    const auto stateChanged = [this] {
        if (m_followers.isEmpty())
            return;
        m_stateDue = true;
        m_flush->start();
    };
    connectGuarded(&board, &Board::playingChanged, this, stateChanged);
    connectGuarded(&board, &Board::nowPlayingChanged, this, stateChanged);
    connectGuarded(&board, &Board::playStateChanged, this, stateChanged);
    connectGuarded(&board, &Board::slotChanged, this, stateChanged); // the queue
    connectGuarded(&board, &Board::sheetShown, this, stateChanged);
    connectGuarded(&board, &Board::masterLevelChanged, this, stateChanged);

    connectGuarded(&board, &Board::slotChanged, this,
                   [this](int sheet, int slot, SlotState state, const QString& title) {
                       tell(json(slotObject(sheet, slot, state, title)));
                   });
    connectGuarded(&board, &Board::sheetNameChanged, this, [this](int sheet, const QString& name) {
        tell(json({{QStringLiteral("t"), QStringLiteral("sheet")},
                   {QStringLiteral("sheet"), sheet},
                   {QStringLiteral("name"), name}}));
    });
    connectGuarded(&board, &Board::sheetShown, this, [this](int sheet) {
        tell(json({{QStringLiteral("t"), QStringLiteral("shown")}, {QStringLiteral("sheet"), sheet}}));
    });
    connectGuarded(&board, &Board::playStateChanged, this, [this](TPlayState state) {
        tell(json({{QStringLiteral("t"), QStringLiteral("play")},
                   {QStringLiteral("state"), QLatin1String(playName(state))}}));
    });
    connectGuarded(&board, &Board::auditionChanged, this, [this](bool on) {
        tell(json({{QStringLiteral("t"), QStringLiteral("audition")}, {QStringLiteral("audition"), on}}));
    });
    connectGuarded(&board, &Board::nowPlayingChanged, this,
                   [this](const NowPlaying& now) { tell(json(nowObject(now))); });
    connectGuarded(&board, &Board::timeChanged, this, [this](double position, double length, double left) {
        tellTime(json(timeObject(position, length, left)));
    });
    connectGuarded(&board, &Board::playingChanged, this, [this](const QList<PlayingSound>& sounds) {
        if (m_pages.isEmpty())
            return;
        // As the time: only the newest list goes out with the next batch.
        m_playing = json({{QStringLiteral("t"), QStringLiteral("playing")},
                          {QStringLiteral("playing"), playingArray(sounds)}});
        m_flush->start();
    });
    connectGuarded(&board, &Board::masterLevelChanged, this, [this](double db) {
        tell(json({{QStringLiteral("t"), QStringLiteral("master")}, {QStringLiteral("master"), db}}));
    });
}

WebServer::~WebServer()
{
    stop();
}

bool WebServer::listen(const WebConfig& config, QString* why)
{
    stop();
    m_gate.setPasscode(config.passcode);
    m_network = config.network;
    if (config.port == 0)
        return true;
    if (!m_server->listen(config.network ? QHostAddress::AnyIPv4 : QHostAddress::LocalHost, config.port)) {
        if (why)
            *why = m_server->serverError() == QAbstractSocket::AddressInUseError
                       ? QStringLiteral("is in use by another program")
                       : QStringLiteral("cannot be opened: %1").arg(m_server->errorString());
        return false;
    }
    m_ping->start();
    return true;
}

void WebServer::stop()
{
    m_server->close();
    m_ping->stop();
    for (QTcpSocket* socket : m_connections.keys() + m_upgraded.keys())
        socket->abort();
    for (QWebSocket* page : QList<QWebSocket*>(m_pages))
        page->abort();
}

bool WebServer::listening() const
{
    return m_server->isListening();
}

quint16 WebServer::port() const
{
    return m_server->isListening() ? m_server->serverPort() : 0;
}

QStringList WebServer::addresses(quint16 port, bool network)
{
    QStringList out;
    if (!network)
        return {QStringLiteral("http://127.0.0.1:%1/").arg(port)};
    for (const QHostAddress& a : QNetworkInterface::allAddresses())
        if (a.protocol() == QAbstractSocket::IPv4Protocol && !WebGate::trusted(a))
            out << QStringLiteral("http://%1:%2/").arg(a.toString()).arg(port);
    if (out.isEmpty())
        out << QStringLiteral("http://127.0.0.1:%1/").arg(port);
    return out;
}

void WebServer::accept()
{
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        ConnectionQuota::Id evict = nullptr;
        if (!m_quota.admit(socket, socket->peerAddress(), &evict)) {
            ++m_counters.busy;
            socket->abort();
            socket->deleteLater();
            continue;
        }
        if (evict) {
            // Whichever stage it is at: a request being read or answered, a socket being
            // upgraded, a page (whose socket going ends it).
            ++m_counters.busy;
            for (QTcpSocket* held : m_server->findChildren<QTcpSocket*>(Qt::FindDirectChildrenOnly))
                if (held == evict) {
                    held->abort();
                    break;
                }
        }
        // Nothing more than one request is buffered: a peer that sends more waits on TCP.
        socket->setReadBufferSize(HttpRequest::MaxHead + HttpRequest::MaxBody);
        Connection c;
        c.idle = new QTimer(socket);
        c.idle->setSingleShot(true);
        c.idle->start(RequestDeadlineMs);
        connect(c.idle, &QTimer::timeout, socket, [this, socket] {
            ++m_counters.idle;
            socket->abort();
        });
        m_connections.insert(socket, c);
        connectGuarded(socket, &QTcpSocket::readyRead, this, [this, socket] { readRequest(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            m_connections.remove(socket);
            if (!m_upgraded.contains(socket))
                m_quota.remove(socket);
            socket->deleteLater();
        });
    }
}

void WebServer::readRequest(QTcpSocket* socket)
{
    if (!m_connections.contains(socket) || socket->state() != QAbstractSocket::ConnectedState)
        return;
    // After a wrong passcode nothing of that address is read for a while: guessing stays slow.
    if (const qint64 wait = m_gate.pausedFor(socket->peerAddress()); wait > 0) {
        QTimer::singleShot(wait, socket, [this, socket] { guard([&] { readRequest(socket); }); });
        return;
    }
    const QByteArray bytes = socket->peek(HttpRequest::MaxHead + HttpRequest::MaxBody);
    HttpRequest request;
    switch (HttpRequest::parse(bytes, request)) {
    case HttpRequest::Parse::Incomplete:
        return;
    case HttpRequest::Parse::Malformed:
        ++m_counters.malformed;
        m_connections.remove(socket);
        reply(socket, "400 Bad Request", {}, {});
        return;
    case HttpRequest::Parse::TooLarge:
        ++m_counters.tooLarge;
        m_connections.remove(socket);
        reply(socket, "431 Request Header Fields Too Large", {}, {});
        return;
    case HttpRequest::Parse::Done:
        break;
    }
    m_connections[socket].idle->stop();
    if (m_gate.admits(socket->peerAddress(), request.cookie(WebGate::Cookie)))
        m_quota.prove(socket);
    if (request.wantsWebSocket()) {
        upgrade(socket, request);
        return;
    }
    socket->read(request.consumed);
    m_connections.remove(socket);
    answer(socket, request);
}

void WebServer::answer(QTcpSocket* socket, const HttpRequest& request)
{
    ++m_counters.requests;
    const QHostAddress peer = socket->peerAddress();
    if (!plainHost(request.header("host"))) {
        ++m_counters.refused;
        reply(socket, "421 Misdirected Request", {}, {});
        return;
    }
    const QByteArray path = request.path();
    const bool admitted = m_gate.admits(peer, request.cookie(WebGate::Cookie));
    const QByteArray html = QByteArrayLiteral("text/html; charset=utf-8");

    if (request.method == "POST" && path == "/login") {
        QString body = QString::fromUtf8(request.body);
        body.replace(QLatin1Char('+'), QLatin1Char(' '));
        const QString passcode =
            QUrlQuery(body).queryItemValue(QStringLiteral("passcode"), QUrl::FullyDecoded);
        if (WebGate::trusted(peer)) {
            reply(socket, "303 See Other", {}, {}, "Location: /\r\n");
            return;
        }
        const QByteArray token = m_gate.login(peer, passcode);
        if (token.isEmpty()) {
            reply(socket, "303 See Other", {}, {}, "Location: /?wrong\r\n");
            return;
        }
        m_quota.prove(socket);
        reply(socket, "303 See Other", {}, {},
              "Location: /\r\nSet-Cookie: " + WebGate::Cookie + '=' + token +
                  "; Path=/; HttpOnly; SameSite=Strict\r\n");
        return;
    }
    if (request.method != "GET") {
        reply(socket, "405 Method Not Allowed", {}, {}, "Allow: GET, POST\r\n");
        return;
    }
    if (path == "/") {
        if (admitted) {
            reply(socket, "200 OK", html, resource(QStringLiteral("index.html")));
            return;
        }
        QByteArray page = resource(QStringLiteral("login.html"));
        page.replace("{{wrong}}", request.target.endsWith("?wrong") ? "Wrong passcode." : "");
        reply(socket, "200 OK", html, page);
        return;
    }
    if (path == "/login.css") {
        reply(socket, "200 OK", "text/css; charset=utf-8", resource(QStringLiteral("login.css")));
        return;
    }
    if (path == "/web.css" || path == "/web.js") {
        if (!admitted) {
            ++m_counters.refused;
            reply(socket, "403 Forbidden", {}, {});
            return;
        }
        const bool css = path.endsWith(".css");
        reply(socket, "200 OK", css ? "text/css; charset=utf-8" : "text/javascript; charset=utf-8",
              resource(QString::fromLatin1(path.mid(1))));
        return;
    }
    reply(socket, "404 Not Found", {}, {});
}

void WebServer::upgrade(QTcpSocket* socket, const HttpRequest& request)
{
    // A page of our own, with a session: the Origin is the board's as the browser reached it.
    const QByteArray host = request.header("host");
    const bool ownOrigin = plainHost(host) && request.header("origin") == "http://" + host;
    // Nothing may follow the request before the answer (RFC 6455, 4.1): frames are read from
    // the upgrade on only (see watchFrames).
    if (request.path() != "/ws" || !ownOrigin || !request.body.isEmpty() ||
        socket->bytesAvailable() != request.consumed ||
        !m_gate.admits(socket->peerAddress(), request.cookie(WebGate::Cookie))) {
        ++m_counters.refused;
        socket->read(request.consumed);
        m_connections.remove(socket);
        reply(socket, "403 Forbidden", {}, {});
        return;
    }
    ++m_counters.requests;
    socket->disconnect(this);
    delete m_connections.take(socket).idle;
    socket->setReadBufferSize(0); // the socket bounds its frames and messages itself
    m_upgraded[socket].handshake = request.consumed;
    watchFrames(socket); // before QWebSocket's own reader, which runs after it
    m_sockets->handleConnection(socket);
}

void WebServer::watchFrames(QTcpSocket* socket)
{
    connectGuarded(socket, &QTcpSocket::readyRead, this, [this, socket] {
        const auto it = m_upgraded.find(socket);
        if (it == m_upgraded.end())
            return;
        if (!it->page) {
            // Before the answer: only the request, which QWebSocketServer reads at its turn.
            if (socket->bytesAvailable() != it->handshake) {
                ++m_counters.malformed;
                socket->abort();
            }
            return;
        }
        if (!it->frames.follow(socket->peek(socket->bytesAvailable()))) {
            ++m_counters.badCommands;
            // Closing empties the socket's buffer: the frame is never read.
            it->page->close(QWebSocketProtocol::CloseCodeProtocolError,
                            QStringLiteral("Frames from a browser are masked."));
        }
    });
    connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
        if (const auto it = m_upgraded.find(socket); it != m_upgraded.end() && !it->page) {
            m_upgraded.erase(it);
            m_quota.remove(socket);
        }
    });
}

void WebServer::adopt()
{
    while (QWebSocket* page = m_sockets->nextPendingConnection()) {
        // The socket it was made of, counted since it was accepted.
        QTcpSocket* socket = nullptr;
        for (auto it = m_upgraded.begin(); it != m_upgraded.end() && !socket; ++it)
            if (!it->page && it.key()->peerPort() == page->peerPort() &&
                it.key()->peerAddress() == page->peerAddress())
                socket = it.key();
        if (!socket) {
            page->abort();
            page->deleteLater();
            continue;
        }
        m_upgraded[socket].page = page;
        page->setMaxAllowedIncomingFrameSize(MaxMessageBytes);
        page->setMaxAllowedIncomingMessageSize(MaxMessageBytes);
        page->setParent(this);
        m_pages.append(page);
        m_pageState.insert(page, {socket, 0, 0});
        connectGuarded(page, &QWebSocket::textMessageReceived, this,
                       [this, page](const QString& message) { received(page, message); });
        connect(page, &QWebSocket::binaryMessageReceived, this, [this, page] {
            ++m_counters.badCommands;
            page->close(QWebSocketProtocol::CloseCodeDatatypeNotSupported);
        });
        connect(page, &QWebSocket::pong, this, [this, page] { m_pageState[page].unanswered = 0; });
        connect(page, &QWebSocket::disconnected, this, [this, page] { drop(page); });
        page->sendTextMessage(QString::fromUtf8(wholeState()));
    }
}

void WebServer::drop(QWebSocket* page)
{
    m_pages.removeAll(page);
    m_followerBehind.remove(page);
    if (m_followers.removeAll(page) > 0) {
        if (m_followers.isEmpty()) {
            m_follow->stop();
            m_showCheck->stop();
        }
        Q_EMIT followersChanged(followerCount());
    }
    const Page state = m_pageState.take(page);
    m_upgraded.remove(state.socket);
    m_quota.remove(state.socket);
    page->deleteLater();
}

void WebServer::received(QWebSocket* page, const QString& message)
{
    Page& state = m_pageState[page];
    state.unanswered = 0;
    // Counted before anything is read of it: what comes over the rate costs next to nothing.
    if (!withinRate(state)) {
        ++m_counters.overRate;
        return;
    }
    if (follow(page, message) || followerSays(page, message))
        return;
    QString why;
    const auto command = WebCommand::parse(message.toUtf8(), &why);
    if (!command) {
        ++m_counters.badCommands;
        page->sendTextMessage(QString::fromUtf8(
            json({{QStringLiteral("t"), QStringLiteral("error")}, {QStringLiteral("text"), why}})));
        return;
    }
    ++m_counters.commands;
    // A press whose song cannot play is told to the page that pressed, never as a box.
    if (const QString failed = command->run(m_board); !failed.isEmpty())
        page->sendTextMessage(QString::fromUtf8(
            json({{QStringLiteral("t"), QStringLiteral("error")}, {QStringLiteral("text"), failed}})));
}

void WebServer::setStateSource(StateSource source)
{
    m_stateSource = std::move(source);
}

QString WebServer::backupText(int followers, int behindMs)
{
    if (followers <= 0)
        return QStringLiteral("No backup");
    return behindMs > 0 ? QStringLiteral("Backup %1 ms behind").arg(behindMs)
                        : QStringLiteral("Backup in step");
}

int WebServer::followerBehindMs() const
{
    int most = 0;
    for (const int ms : m_followerBehind)
        most = std::max(most, ms);
    return most;
}

bool WebServer::follow(QWebSocket* page, const QString& message)
{
    if (!message.contains(QLatin1String("follow")))
        return false; // no page's command: nothing more is read of it here
    const QJsonObject o = QJsonDocument::fromJson(message.toUtf8()).object();
    if (o.value(QStringLiteral("cmd")).toString() != QLatin1String("follow"))
        return false;
    ++m_counters.commands;
    if (!m_stateSource) {
        page->sendTextMessage(QString::fromUtf8(
            json({{QStringLiteral("t"), QStringLiteral("error")},
                  {QStringLiteral("text"), QStringLiteral("This board cannot be followed.")}})));
        return true;
    }
    if (!m_followers.contains(page)) {
        m_followers.append(page);
        m_follow->start();
        m_showCheck->start();
        Q_EMIT showDigestWanted();
        Q_EMIT followersChanged(followerCount());
    }
    page->sendTextMessage(QString::fromUtf8(json(m_stateSource().toJson())));
    sendShow({page});
    return true;
}

bool WebServer::followerSays(QWebSocket* page, const QString& message)
{
    if (!m_followers.contains(page) ||
        !(message.contains(QLatin1String("showdiffers")) || message.contains(QLatin1String("sendshow")) ||
          message.contains(QLatin1String("behind"))))
        return false;
    const QJsonObject o = QJsonDocument::fromJson(message.toUtf8()).object();
    const QString cmd = o.value(QStringLiteral("cmd")).toString();
    if (cmd == QLatin1String("behind")) {
        ++m_counters.commands;
        const int before = followerBehindMs();
        // Read as a number of any size: a backup far behind is never taken for one in step.
        const double ms = o.value(QStringLiteral("ms")).toDouble(0.0);
        m_followerBehind.insert(
            page, std::isfinite(ms) ? static_cast<int>(std::clamp(ms, 0.0, double{MostBehindMs})) : 0);
        if (followerBehindMs() != before)
            Q_EMIT followersChanged(followerCount());
        return true;
    }
    if (cmd == QLatin1String("sendshow")) {
        ++m_counters.commands;
        if (m_showCopySource)
            page->sendTextMessage(QString::fromUtf8(json(m_showCopySource())));
        return true;
    }
    if (cmd != QLatin1String("showdiffers"))
        return false;
    ++m_counters.commands;
    constexpr int AllSlots = Board::Sheets * Board::Slots;
    QList<int> slots;
    const QJsonArray listed = o.value(QStringLiteral("slots")).toArray();
    for (const QJsonValue& v : listed) {
        const int slot = v.toInt(-1);
        if (slot >= 0 && slot < AllSlots && !slots.contains(slot))
            slots << slot;
    }
    const int count =
        std::clamp(o.value(QStringLiteral("count")).toInt(0), static_cast<int>(slots.size()), AllSlots);
    Q_EMIT followerShowDiffers(slots, count);
    return true;
}

void WebServer::setShowDigest(const QStringList& digest)
{
    if (digest == m_showDigest)
        return;
    m_showDigest = digest;
    sendShow(m_followers);
}

void WebServer::setShowCopySource(ShowCopySource source)
{
    m_showCopySource = std::move(source);
}

void WebServer::sendShow(const QList<QWebSocket*>& pages)
{
    if (m_showDigest.isEmpty())
        return; // none taken yet: sent once it is
    const QString frame =
        QString::fromUtf8(json({{QStringLiteral("t"), QStringLiteral("show")},
                                {QStringLiteral("slots"), QJsonArray::fromStringList(m_showDigest)}}));
    for (QWebSocket* page : QList<QWebSocket*>(pages))
        page->sendTextMessage(frame);
}

void WebServer::sendState()
{
    m_stateDue = false;
    if (m_followers.isEmpty() || !m_stateSource)
        return;
    const QString frame = QString::fromUtf8(json(m_stateSource().toJson()));
    for (QWebSocket* page : QList<QWebSocket*>(m_followers)) {
        if (page->bytesToWrite() > MaxUnsent) {
            ++m_counters.tooLarge;
            page->abort();
            continue;
        }
        page->sendTextMessage(frame);
    }
    m_follow->start(); // the next in a whole period
}

bool WebServer::withinRate(Page& page)
{
    constexpr qint64 costMs = 1000 / CommandsPerSecond;
    const qint64 now = m_clock.elapsed();
    const qint64 due = std::max(page.due, now) + costMs;
    if (due - now > CommandBurst * costMs)
        return false;
    page.due = due;
    return true;
}

void WebServer::tell(const QByteArray& message)
{
    if (m_pages.isEmpty())
        return;
    m_outbox.append(message);
    m_flush->start();
}

void WebServer::tellTime(const QByteArray& message)
{
    if (m_pages.isEmpty())
        return;
    m_time = message;
    m_flush->start();
}

void WebServer::flush()
{
    if (m_stateDue)
        sendState();
    if (!m_time.isEmpty())
        m_outbox.append(std::exchange(m_time, {}));
    if (!m_playing.isEmpty())
        m_outbox.append(std::exchange(m_playing, {}));
    if (m_outbox.isEmpty())
        return;
    const QString batch = QString::fromUtf8('[' + m_outbox.join(',') + ']');
    m_outbox.clear();
    for (QWebSocket* page : QList<QWebSocket*>(m_pages)) {
        if (page->bytesToWrite() > MaxUnsent) {
            ++m_counters.tooLarge;
            page->abort();
            continue;
        }
        page->sendTextMessage(batch);
    }
}

QByteArray WebServer::wholeState() const
{
    QJsonArray sheets;
    QJsonArray slots;
    for (int s = 0; s < Board::Sheets; ++s) {
        sheets.append(m_board.sheetName(s));
        QJsonArray sheet;
        for (int b = 0; b < Board::Slots; ++b)
            sheet.append(
                QJsonArray{QLatin1String(stateName(m_board.slotState(s, b))), m_board.slotTitle(s, b)});
        slots.append(sheet);
    }
    return json(
        {{QStringLiteral("t"), QStringLiteral("all")},
         {QStringLiteral("shown"), m_board.shownSheet()},
         {QStringLiteral("sheets"), sheets},
         {QStringLiteral("slots"), slots},
         {QStringLiteral("play"), QLatin1String(playName(m_board.playState()))},
         {QStringLiteral("audition"), m_board.audition()},
         {QStringLiteral("now"), nowObject(m_board.nowPlaying())},
         {QStringLiteral("time"), timeObject(m_board.position(), m_board.length(), m_board.timeLeft())},
         {QStringLiteral("playing"), playingArray(m_board.playing())},
         {QStringLiteral("master"), m_board.masterLevel()}});
}
