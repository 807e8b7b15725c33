// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/GuessPause.h"
#include "remote/OscPacket.h"
#include "remote/OscTransport.h"
#include "show/Board.h"

#include <QList>
#include <QObject>

#include <functional>

class QTimer;

/// What the remote did with what it received; everything it dropped is counted here.
struct OscCounters {
    quint64 received = 0;     ///< datagrams
    quint64 handled = 0;      ///< messages acted on
    quint64 oversized = 0;    ///< datagrams longer than OscPacket::MaxBytes
    quint64 malformed = 0;    ///< datagrams that are no OSC
    quint64 tooDeep = 0;      ///< bundles nested too deep
    quint64 tooMany = 0;      ///< datagrams of too many messages
    quint64 badArguments = 0; ///< messages with arguments of the wrong type or out of range
    quint64 outOfRange = 0;   ///< sheets and buttons the board does not have
    quint64 unknown = 0;      ///< addresses the board does not know (answered with an error)
    quint64 notAdmitted = 0;  ///< messages from the network before the right passcode
    quint64 paused = 0;       ///< datagrams from an address denied a moment before (GuessPause)
    quint64 denied = 0;       ///< wrong passcodes
    quint64 unanswered = 0;   ///< errors left unanswered, over the rate of answers
    quint64 unreachable = 0;  ///< subscribers dropped because their port answered "unreachable"
    quint64 displaced = 0;    ///< subscribers that made room for one from another address

    /// Everything dropped, answered or not.
    [[nodiscard]] quint64 dropped() const
    {
        return oversized + malformed + tooDeep + tooMany + badArguments + outOfRange + unknown + notAdmitted +
               paused;
    }
};

/// OSC remote control of the board: reads the commands of a datagram and runs them through the
/// board's commands, and sends the board's state to the peers that subscribe to it. Senders on
/// this computer are trusted; one from another host is ignored until it connects with the
/// passcode, and after a wrong one nothing of its address is read for a while (GuessPause).
class OscRemote : public QObject {
    Q_OBJECT
public:
    /// Milliseconds on a monotonic clock.
    using Clock = std::function<qint64()>;

    /// When all places are taken, a subscriber from an address that holds none takes the place
    /// of the one renewed longest ago; one from an address that holds a place is refused.
    static constexpr int MaxSubscribers = 8;
    /// A subscription lapses this long after it was last made or renewed.
    static constexpr qint64 SubscriptionMs = 60'000;
    /// The whole state goes to a new subscriber, and again on its request (/sonavex/refresh) at
    /// most once in this time; a renewal only renews.
    static constexpr qint64 WholeStateMs = 1000;
    static constexpr qint64 DeniedPauseMs = GuessPause::AddressPauseMs;
    /// Errors answered a second, at most.
    static constexpr int AnswersPerSecond = 20;
    /// Bundles sent stay within one Ethernet frame.
    static constexpr std::size_t MaxDatagram = 1400;
    /// Hosts admitted at most; the one admitted first makes room for a newer one.
    static constexpr int MaxAdmitted = 64;

    OscRemote(Board& board, OscTransport& transport, QObject* parent = nullptr);
    ~OscRemote() override;

    void setClock(Clock clock) { m_clock = std::move(clock); }
    /// The passcode a sender from another host must connect with; empty: no such sender gets in.
    void setPasscode(const QString& passcode);
    /// Forgets the admitted hosts and the subscribers, as a new server does.
    void forget();

    /// One datagram from `from`.
    void receive(const char* data, std::size_t size, const OscPeer& from);
    /// Nobody listens at `peer` any more (its host answered "port unreachable"): a subscriber
    /// there is dropped at once, rather than holding its place until it lapses.
    void peerUnreachable(const OscPeer& peer);

    [[nodiscard]] const OscCounters& counters() const { return m_counters; }
    [[nodiscard]] int subscriberCount() const { return static_cast<int>(m_subscribers.size()); }

private:
    struct Subscriber {
        OscPeer peer;
        qint64 until = 0;
        qint64 wholeStateAt = 0;
    };

    void handle(const OscMessage& message, const OscPeer& from);
    void dispatch(const OscMessage& message, const OscPeer& from);
    void connectSender(const OscMessage& message, const OscPeer& from);
    void press(int sheet, int slot, const OscPeer& from);
    void subscribe(const OscMessage& message, const OscPeer& sender);
    void refresh(const OscMessage& message, const OscPeer& sender);
    void sendWholeState(Subscriber& subscriber);
    /// Whether an answer may go out now, within AnswersPerSecond; counts it.
    [[nodiscard]] bool mayAnswer();
    void answerError(const OscPeer& to, const QString& text);
    void unknownAddress(const OscMessage& message, const OscPeer& from);

    /// Queues a state message for every subscriber; the queue goes out once the event loop turns.
    void tell(const QByteArray& message);
    void flush();
    void dropLapsed();
    [[nodiscard]] QList<QByteArray> wholeState() const;

    Board& m_board;
    OscTransport& m_transport;
    Clock m_clock;
    QByteArray m_passcode;
    OscCounters m_counters;
    QList<quint32> m_admitted; ///< oldest first
    GuessPause m_pause;        ///< by address, after wrong passcodes
    QList<Subscriber> m_subscribers;
    QList<QByteArray> m_outbox;
    bool m_playingChanged = false; ///< what plays goes out with the next flush
    QTimer* m_flush;
    qint64 m_answerSecond = -1;
    int m_answersThisSecond = 0;
};
