// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "show/MainClock.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class BackupFollower;
class QJsonObject;
class ShowDigest;
class QNetworkAccessManager;
class QTimer;
class QWebSocket;
class ShowCore;

/// The backup board's link to the main one: logs in to the main's web remote with the passcode
/// the remotes share, as a browser's page does, asks to follow, and hands every state the main
/// sends to the follower, its time turned into this board's by the main's own stamps (see
/// MainClock), so that a state held up on the link is not taken for a fresh one.
/// A link that drops is opened again every second; meanwhile the follower's own watchdog says
/// the main is lost.
class MainBoardLink : public QObject {
    Q_OBJECT
public:
    /// Milliseconds on this board's clock, as the follower counts them.
    using Clock = std::function<qint64()>;

    /// A dropped link is tried again after this long.
    static constexpr int RetryMs = 1000;
    /// The link's round trip is measured this often.
    static constexpr int PingMs = 1000;
    /// Topic of the news of the main's passcode.
    static inline const QString PasscodeNews = QStringLiteral("main board passcode");
    /// Topic of the news of the slots whose show differs from the main's.
    static inline const QString ShowNews = QStringLiteral("main board show");
    /// How often this board's show is compared again with the main's last word on its own.
    static constexpr int ShowCheckMs = 5000;
    /// Topic of the news of a show copied from the main.
    static inline const QString CopyNews = QStringLiteral("show copied");
    /// The differing slots the main is told of by name; it is told how many in all.
    static constexpr int ListedSlots = 20;

    /// Without `clock`, the system's (the follower's default).
    MainBoardLink(BackupFollower& follower, ShowCore& show, Clock clock = {}, QObject* parent = nullptr);
    ~MainBoardLink() override;

    /// Links to the main at `address` ("host:port"; empty: none) with `passcode`.
    void connectTo(const QString& address, const QString& passcode);
    void stop();
    /// Asks the main for its whole show and takes it in place of this one's, which is kept
    /// aside first (see ShowCopy); said in the status bar.
    void copyShow();
    [[nodiscard]] bool linked() const;
    /// Half the shortest recent round trip, in milliseconds.
    [[nodiscard]] qint64 delayMs() const { return m_mainClock.delayMs(); }
    /// "1 slot", "3 slots".
    [[nodiscard]] static QString slotCount(qsizetype slots);
    /// Pause after the main refused the passcode: no shorter than its own pause for a guess.
    [[nodiscard]] static int refusedRetryMs();

private:
    void login();
    void open(const QByteArray& session);
    void received(const QString& message);
    void retry(int ms);
    /// Compares this board's show (its digest `own`) with the main's, says which slots differ
    /// and tells the main; only when that changed, unless the main's is new here.
    void compareShows(const QStringList& own);
    void takeShow(const QJsonObject& frame);

    BackupFollower& m_follower;
    ShowCore& m_show;
    Clock m_clock;
    QString m_host;
    quint16 m_port = 0;
    QString m_passcode;
    QNetworkAccessManager* m_http;
    QWebSocket* m_socket = nullptr;
    QTimer* m_retry;
    QTimer* m_ping;
    QTimer* m_showCheck;
    ShowDigest* m_ownDigest;
    bool m_tellShow = false; ///< the next comparison is said and told, changed or not
    /// The main's show digest, as it last sent it; empty before it did.
    QStringList m_mainShow;
    QList<int> m_differs;
    bool m_copyAsked = false; ///< a show the main sends is taken only when asked for
    MainClock m_mainClock;
    bool m_refusedSaid = false;
    int m_generation = 0; ///< answers of an earlier connectTo are ignored
};
