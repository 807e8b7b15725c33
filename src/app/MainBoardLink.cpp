// SPDX-License-Identifier: GPL-3.0-or-later
#include "MainBoardLink.h"

#include "core/BackupFollower.h"
#include "core/ShowCore.h"
#include "platform/Guard.h"
#include "platform/GuessPause.h"
#include "show/MainState.h"
#include "songs/ShowCopy.h"
#include "songs/ShowDigest.h"
#include "songs/SongStruc.h"
#include "web/WebGate.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkCookie>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>
#include <QWebSocket>

#include <algorithm>

MainBoardLink::MainBoardLink(BackupFollower& follower, ShowCore& show, Clock clock, QObject* parent)
    : QObject(parent)
    , m_follower(follower)
    , m_show(show)
    , m_clock(clock ? std::move(clock) : Clock([] { return QDateTime::currentMSecsSinceEpoch(); }))
    , m_http(new QNetworkAccessManager(this))
    , m_retry(new QTimer(this))
    , m_ping(new QTimer(this))
    , m_showCheck(new QTimer(this))
    , m_ownDigest(new ShowDigest(show.songInfo(), this))
{
    m_showCheck->setInterval(ShowCheckMs);
    connectGuarded(m_showCheck, &QTimer::timeout, m_ownDigest, &ShowDigest::request);
    connectGuarded(m_ownDigest, &ShowDigest::digestTaken, this, &MainBoardLink::compareShows);
    m_retry->setSingleShot(true);
    // A coarse timer may fire a little early; the main refuses a guess that comes before its pause ends.
    m_retry->setTimerType(Qt::PreciseTimer);
    connectGuarded(m_retry, &QTimer::timeout, this, &MainBoardLink::login);
    // The main shows how far behind it this board is, as this board's own status bar does.
    connectGuarded(&m_follower, &BackupFollower::linkChanged, this, [this](const QString& text) {
        if (m_socket && m_socket->state() == QAbstractSocket::ConnectedState && !text.isEmpty())
            m_socket->sendTextMessage(
                QStringLiteral(R"({"cmd":"behind","ms":%1})").arg(m_follower.behindMs()));
    });
    m_ping->setInterval(PingMs);
    connectGuarded(m_ping, &QTimer::timeout, this, [this] {
        if (m_socket)
            m_socket->ping();
    });
}

MainBoardLink::~MainBoardLink()
{
    stop();
}

int MainBoardLink::refusedRetryMs()
{
    return static_cast<int>(std::max<qint64>(GuessPause::MaxMs, WebGate::DeniedPauseMs));
}

void MainBoardLink::connectTo(const QString& address, const QString& passcode)
{
    stop();
    const qsizetype colon = address.lastIndexOf(QLatin1Char(':'));
    bool ok = false;
    const uint port = colon > 0 ? address.mid(colon + 1).trimmed().toUInt(&ok) : 0;
    if (!ok || port == 0 || port > 65535)
        return;
    m_host = address.left(colon).trimmed();
    m_port = static_cast<quint16>(port);
    m_passcode = passcode;
    login();
}

void MainBoardLink::stop()
{
    ++m_generation;
    m_retry->stop();
    m_ping->stop();
    m_port = 0;
    if (QWebSocket* socket = std::exchange(m_socket, nullptr)) {
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
    }
    m_show.clearNews(PasscodeNews);
    m_refusedSaid = false;
    m_showCheck->stop();
    m_mainShow.clear();
    m_differs.clear();
    m_show.clearNews(ShowNews);
}

bool MainBoardLink::linked() const
{
    return m_socket && m_socket->state() == QAbstractSocket::ConnectedState;
}

void MainBoardLink::retry(int ms)
{
    if (m_port != 0)
        m_retry->start(ms);
}

void MainBoardLink::login()
{
    if (m_port == 0)
        return;
    // As the page's login form: the main answers with a session, or sends it back as wrong.
    QNetworkRequest request(QUrl(QStringLiteral("http://%1:%2/login").arg(m_host).arg(m_port)));
    request.setHeader(QNetworkRequest::ContentTypeHeader,
                      QByteArrayLiteral("application/x-www-form-urlencoded"));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setTransferTimeout(3000);
    QNetworkReply* reply = m_http->post(request, "passcode=" + QUrl::toPercentEncoding(m_passcode));
    const int generation = m_generation;
    connectGuarded(reply, &QNetworkReply::finished, this, [this, reply, generation] {
        reply->deleteLater();
        if (generation != m_generation)
            return;
        const QByteArray location = reply->rawHeader("Location");
        if (reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() != 303) {
            retry(RetryMs);
            return;
        }
        if (location.contains("wrong")) {
            if (!m_refusedSaid)
                m_show.sayNews(PasscodeNews, QStringLiteral("Main board refused the passcode"));
            m_refusedSaid = true;
            retry(refusedRetryMs());
            return;
        }
        if (std::exchange(m_refusedSaid, false))
            m_show.clearNews(PasscodeNews);
        // This computer needs no session: the cookie is then missing.
        QByteArray session;
        for (const QNetworkCookie& cookie :
             reply->header(QNetworkRequest::SetCookieHeader).value<QList<QNetworkCookie>>())
            if (cookie.name() == WebGate::Cookie)
                session = cookie.value();
        open(session);
    });
}

void MainBoardLink::open(const QByteArray& session)
{
    const QString origin = QStringLiteral("http://%1:%2").arg(m_host).arg(m_port);
    m_socket = new QWebSocket(origin, QWebSocketProtocol::VersionLatest, this);
    QNetworkRequest request(QUrl(QStringLiteral("ws://%1:%2/ws").arg(m_host).arg(m_port)));
    if (!session.isEmpty())
        request.setRawHeader("Cookie", WebGate::Cookie + '=' + session);
    QWebSocket* const socket = m_socket;
    m_mainClock.reset(); // another main, or the same one restarted, may keep another time
    connectGuarded(socket, &QWebSocket::connected, this, [this, socket] {
        socket->sendTextMessage(QStringLiteral(R"({"cmd":"follow"})"));
        socket->ping();
        m_ping->start();
    });
    connectGuarded(socket, &QWebSocket::pong, this, [this](quint64 elapsed, const QByteArray&) {
        m_mainClock.roundTrip(static_cast<qint64>(elapsed), m_clock());
    });
    connectGuarded(socket, &QWebSocket::textMessageReceived, this, &MainBoardLink::received);
    // A handshake the main refuses ends in an error, a link that drops in both: either is
    // tried again once.
    const auto dropped = [this, socket] {
        if (m_socket != socket || socket->state() != QAbstractSocket::UnconnectedState)
            return;
        m_socket = nullptr;
        m_ping->stop();
        socket->deleteLater();
        retry(RetryMs);
    };
    connectGuarded(socket, &QWebSocket::disconnected, this, dropped);
    connect(socket, qOverload<QAbstractSocket::SocketError>(&QWebSocket::error), this,
            [this, dropped] { QTimer::singleShot(0, this, [dropped] { guard(dropped); }); });
    socket->open(request);
}

void MainBoardLink::copyShow()
{
    if (!linked()) {
        m_show.sayNews(CopyNews,
                       QStringLiteral("No show was copied: this board is not linked to a main board"));
        return;
    }
    m_copyAsked = true;
    m_socket->sendTextMessage(QStringLiteral(R"({"cmd":"sendshow"})"));
}

void MainBoardLink::takeShow(const QJsonObject& frame)
{
    TSongInfo& songs = m_show.songInfo();
    const QString kept = ShowCopy::keepAside(songs, QDateTime::currentDateTime());
    if (kept.isEmpty()) {
        m_show.sayNews(CopyNews,
                       QStringLiteral("No show was copied: this board's own could not be kept aside "
                                      "beside %1")
                           .arg(songs.infoPath()));
        return;
    }
    const auto names = ShowCopy::apply(frame, songs);
    if (!names) {
        m_show.sayNews(CopyNews, QStringLiteral("No show was copied: the main board sent none"));
        return;
    }
    for (int sheet = 0; sheet < names->size(); ++sheet)
        m_show.renameSheet(sheet, names->at(sheet));
    m_show.refresh();
    m_show.sayNews(
        CopyNews,
        QStringLiteral("Show copied from the main board; this board's own is kept as %1").arg(kept));
    m_tellShow = true;
    m_ownDigest->request();
}

void MainBoardLink::compareShows(const QStringList& own)
{
    if (m_mainShow.isEmpty() || !m_socket)
        return;
    const QList<int> differs = ShowDigest::differing(own, m_mainShow);
    if (!std::exchange(m_tellShow, false) && differs == m_differs)
        return;
    m_differs = differs;
    if (differs.isEmpty())
        m_show.clearNews(ShowNews);
    else
        m_show.sayNews(ShowNews, QStringLiteral("The show here differs from the main board's in %1: %2")
                                     .arg(slotCount(differs.size()), ShowDigest::slotsText(differs)));
    // The main reads short messages only: the first few slots, and how many.
    QJsonArray listed;
    for (qsizetype i = 0; i < differs.size() && i < ListedSlots; ++i)
        listed.append(differs[i]);
    m_socket->sendTextMessage(QString::fromUtf8(
        QJsonDocument(QJsonObject{{QStringLiteral("cmd"), QStringLiteral("showdiffers")},
                                  {QStringLiteral("count"), static_cast<int>(differs.size())},
                                  {QStringLiteral("slots"), listed}})
            .toJson(QJsonDocument::Compact)));
}

QString MainBoardLink::slotCount(qsizetype slots)
{
    return slots == 1 ? QStringLiteral("1 slot") : QStringLiteral("%1 slots").arg(slots);
}

void MainBoardLink::received(const QString& message)
{
    // The page's own messages come too, in batches: only the states are read.
    if (!message.startsWith(QLatin1Char('{')))
        return;
    const QJsonObject frame = QJsonDocument::fromJson(message.toUtf8()).object();
    if (frame.value(QLatin1String("t")).toString() == QLatin1String("showcopy")) {
        if (std::exchange(m_copyAsked, false))
            takeShow(frame);
        return;
    }
    if (frame.value(QLatin1String("t")).toString() == QLatin1String("show")) {
        m_mainShow.clear();
        const QJsonArray slots = frame.value(QLatin1String("slots")).toArray();
        for (const QJsonValue& digest : slots)
            m_mainShow << digest.toString();
        m_tellShow = true;
        m_ownDigest->request();
        m_showCheck->start();
        return;
    }
    auto state = MainState::fromJson(frame);
    if (!state)
        return;
    state->takenMs = m_mainClock.taken(state->takenMs, m_clock());
    m_follower.take(*state);
}
