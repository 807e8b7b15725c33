// SPDX-License-Identifier: GPL-3.0-or-later
#include "OscRemote.h"

#include "platform/Guard.h"

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

namespace {

/// A path part that is a number as an operator writes it: digits only.
std::optional<int> number(const QByteArray& part)
{
    if (part.isEmpty() || part.size() > 3)
        return std::nullopt;
    int n = 0;
    for (const char c : part) {
        if (c < '0' || c > '9')
            return std::nullopt;
        n = n * 10 + (c - '0');
    }
    return n;
}

std::optional<double> numeric(const QVariant& v)
{
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::Float:
    case QMetaType::Double:
    case QMetaType::Bool: {
        const double d = v.toDouble();
        return std::isfinite(d) ? std::optional(d) : std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

/// How a button's message is meant: a tablet's button sends 1 when pressed and 0 when let go,
/// a show controller sends nothing.
enum class Trigger { Act, Release, Bad };

Trigger trigger(const OscMessage& m)
{
    if (m.args.isEmpty())
        return Trigger::Act;
    const auto n = m.args.size() == 1 ? numeric(m.args[0]) : std::nullopt;
    if (!n)
        return Trigger::Bad;
    return *n != 0 ? Trigger::Act : Trigger::Release;
}

/// The button colours as numbers: 0 empty, 1 filled, 2 queued, 3 next, 4 playing.
int stateNumber(SlotState state)
{
    switch (state) {
    case SlotState::Empty:
        return 0;
    case SlotState::Filled:
        return 1;
    case SlotState::Queued:
        return 2;
    case SlotState::Next:
        return 3;
    case SlotState::Playing:
        return 4;
    }
    return 0;
}

QByteArray slotPath(int sheet, int slot, const char* what)
{
    return "/sonavex/sheet/" + QByteArray::number(sheet + 1) + "/button/" + QByteArray::number(slot + 1) +
           '/' + what;
}

QByteArray slotStateMessage(int sheet, int slot, SlotState state)
{
    return OscPacket::message(slotPath(sheet, slot, "state"), {stateNumber(state)});
}

QByteArray slotTitleMessage(int sheet, int slot, const QString& title)
{
    return OscPacket::message(slotPath(sheet, slot, "title"), {title});
}

QByteArray sheetNameMessage(int sheet, const QString& name)
{
    return OscPacket::message("/sonavex/sheet/" + QByteArray::number(sheet + 1) + "/name", {name});
}

QByteArray shownSheetMessage(int sheet)
{
    return OscPacket::message("/sonavex/sheet", {sheet + 1});
}

QByteArray playStateMessage(TPlayState state)
{
    const char* text = state == TPlayState::psPlaying  ? "playing"
                       : state == TPlayState::psPaused ? "paused"
                                                       : "stopped";
    return OscPacket::message("/sonavex/state", {QString::fromLatin1(text)});
}

/// 1 while the operator's own presses play on the preview output only, 0 otherwise.
QByteArray auditionMessage(bool on)
{
    return OscPacket::message("/sonavex/audition", {on ? 1 : 0});
}

QByteArray nowPlayingMessage(const NowPlaying& now)
{
    const bool placed = now.sheet >= 0 && now.slot >= 0;
    return OscPacket::message("/sonavex/now",
                              {placed ? now.sheet + 1 : 0, placed ? now.slot + 1 : 0, now.title});
}

QByteArray timeMessage(double position, double left)
{
    return OscPacket::message("/sonavex/time", {static_cast<float>(position), static_cast<float>(left)});
}

/// One message a sound that plays: its id, where it was pressed (sheet and button from 1, 0
/// when no button holds it), its title, its position, length and time left in seconds, and
/// its output (empty: the show's). The count goes first, so that a remote drops the rows of
/// sounds that ended.
QList<QByteArray> playingMessages(const QList<PlayingSound>& sounds)
{
    QList<QByteArray> out{OscPacket::message("/sonavex/playing/count", {static_cast<int>(sounds.size())})};
    for (const PlayingSound& s : sounds) {
        const bool placed = s.sheet >= 0 && s.slot >= 0;
        out << OscPacket::message("/sonavex/playing",
                                  {s.id, placed ? s.sheet + 1 : 0, placed ? s.slot + 1 : 0, s.title,
                                   static_cast<float>(s.position), static_cast<float>(s.length),
                                   static_cast<float>(s.left()), s.output});
    }
    return out;
}

QByteArray masterMessage(double db)
{
    return OscPacket::message("/sonavex/master", {static_cast<float>(db)});
}

/// A fade's speed: none for the chosen one (0), or a whole 1..5.
std::optional<int> fadeSpeed(const OscMessage& m)
{
    if (m.args.isEmpty())
        return 0;
    const auto n = m.args.size() == 1 ? numeric(m.args[0]) : std::nullopt;
    if (!n || *n != std::floor(*n) || *n < 1 || *n > Board::FadeSpeeds)
        return std::nullopt;
    return static_cast<int>(*n);
}

/// Below this many tenths left, the time left is told in tenths.
constexpr qint64 FinalTenths = 100;
/// Seconds that arrive a hair over a tenth (9.4 as 9.400000001) count as that tenth.
constexpr double Slack = 1e-6;

QString minutesSeconds(qint64 seconds)
{
    return QString::number(seconds / 60) + QLatin1Char(':') +
           QString::number(seconds % 60).rightJustified(2, QLatin1Char('0'));
}

/// "m:ss", whole seconds gone.
QString elapsedText(double seconds)
{
    return minutesSeconds(static_cast<qint64>(std::floor(std::max(0.0, seconds) + Slack)));
}

/// "m:ss" rounded up, as the web page counts down, so that "0:00" is the end; in the last
/// 10 s with tenths, "0:09.4".
QString leftText(double seconds)
{
    const qint64 tenths = static_cast<qint64>(std::ceil(std::max(0.0, seconds) * 10 - Slack));
    if (tenths > 0 && tenths < FinalTenths)
        return QStringLiteral("0:0") + QString::number(tenths / 10) + QLatin1Char('.') +
               QString::number(tenths % 10);
    return minutesSeconds((tenths + 9) / 10);
}

/// The time as a key shows it: the float seconds of /sonavex/time are no text for a label.
QList<QByteArray> timeTextMessages(double position, double left)
{
    return {OscPacket::message("/sonavex/time/elapsed", {elapsedText(position)}),
            OscPacket::message("/sonavex/time/left", {leftText(left)})};
}

/// Where a remote listens: at the sender, or at the port `port` names on the sender's address.
std::optional<OscPeer> listeningAt(const OscPeer& sender, const QVariant* port)
{
    if (!port)
        return sender;
    const auto n = numeric(*port);
    if (!n || *n != std::floor(*n) || *n < 1 || *n > 65535)
        return std::nullopt;
    return OscPeer{sender.address, static_cast<quint16>(*n)};
}

QByteArray pauseKey(const OscPeer& peer)
{
    return QByteArray::number(peer.address);
}

/// Compares without telling how much of the passcode was right by how long it took.
bool samePasscode(const QByteArray& given, const QByteArray& passcode)
{
    if (passcode.isEmpty())
        return false;
    int diff = given.size() == passcode.size() ? 0 : 1;
    for (qsizetype i = 0; i < given.size(); ++i)
        diff |= given[i] ^ passcode[i % passcode.size()];
    return diff == 0;
}

} // namespace

OscRemote::OscRemote(Board& board, OscTransport& transport, QObject* parent)
    : QObject(parent)
    , m_board(board)
    , m_transport(transport)
    , m_flush(new QTimer(this))
{
    static const QElapsedTimer started = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    m_clock = [] { return started.elapsed(); };
    m_flush->setSingleShot(true);
    m_flush->setInterval(0);
    connectGuarded(m_flush, &QTimer::timeout, this, &OscRemote::flush);

    connectGuarded(&m_board, &Board::slotChanged, this,
                   [this](int sheet, int slot, SlotState state, const QString& title) {
                       tell(slotStateMessage(sheet, slot, state));
                       tell(slotTitleMessage(sheet, slot, title));
                   });
    connectGuarded(&m_board, &Board::sheetNameChanged, this,
                   [this](int sheet, const QString& name) { tell(sheetNameMessage(sheet, name)); });
    connectGuarded(&m_board, &Board::sheetShown, this, [this](int sheet) { tell(shownSheetMessage(sheet)); });
    connectGuarded(&m_board, &Board::playStateChanged, this,
                   [this](TPlayState state) { tell(playStateMessage(state)); });
    connectGuarded(&m_board, &Board::auditionChanged, this, [this](bool on) { tell(auditionMessage(on)); });
    connectGuarded(&m_board, &Board::nowPlayingChanged, this,
                   [this](const NowPlaying& now) { tell(nowPlayingMessage(now)); });
    connectGuarded(&m_board, &Board::timeChanged, this, [this](double position, double, double left) {
        tell(timeMessage(position, left));
        for (const QByteArray& text : timeTextMessages(position, left))
            tell(text);
    });
    // What plays goes out once a turn of the event loop, however often it changed meanwhile.
    connectGuarded(&m_board, &Board::playingChanged, this, [this] {
        if (m_subscribers.isEmpty())
            return;
        m_playingChanged = true;
        if (!m_flush->isActive())
            m_flush->start();
    });
    connectGuarded(&m_board, &Board::masterLevelChanged, this,
                   [this](double db) { tell(masterMessage(db)); });
}

OscRemote::~OscRemote() = default;

void OscRemote::setPasscode(const QString& passcode)
{
    m_passcode = passcode.toUtf8();
}

void OscRemote::forget()
{
    m_admitted.clear();
    m_pause.clear();
    m_subscribers.clear();
    m_outbox.clear();
    m_playingChanged = false;
}

void OscRemote::receive(const char* data, std::size_t size, const OscPeer& from)
{
    ++m_counters.received;
    if (!from.isLoopback()) {
        // Read nothing of an address told "denied" a moment ago: guessing stays slow.
        if (m_pause.pausedFor(pauseKey(from), m_clock()) > 0) {
            ++m_counters.paused;
            return;
        }
    }
    QList<OscMessage> messages;
    switch (OscPacket::decode(data, size, messages)) {
    case OscDrop::None:
        break;
    case OscDrop::Oversized:
        ++m_counters.oversized;
        return;
    case OscDrop::Malformed:
        ++m_counters.malformed;
        return;
    case OscDrop::TooDeep:
        ++m_counters.tooDeep;
        return;
    case OscDrop::TooMany:
        ++m_counters.tooMany;
        return;
    }
    // Each message on its own: an error raised by one command is reported and the rest still run.
    for (const OscMessage& message : messages)
        guard([&] { handle(message, from); });
}

void OscRemote::handle(const OscMessage& message, const OscPeer& from)
{
    if (!from.isLoopback() && !m_admitted.contains(from.address)) {
        if (message.path == "/sonavex/connect")
            connectSender(message, from);
        else
            ++m_counters.notAdmitted;
        return;
    }
    dispatch(message, from);
}

void OscRemote::dispatch(const OscMessage& message, const OscPeer& from)
{
    const QList<QByteArray> parts = message.path.split('/');
    if (parts.size() < 3 || !parts[0].isEmpty() || parts[1] != "sonavex")
        return unknownAddress(message, from);
    const QByteArray& verb = parts.last();

    if (parts.size() == 3) {
        if (verb == "subscribe")
            return subscribe(message, from);
        if (verb == "refresh")
            return refresh(message, from);
        if (verb == "connect") {
            // This computer needs no passcode.
            if (message.types == "s")
                ++m_counters.handled;
            else
                ++m_counters.badArguments;
            return;
        }
        if (verb == "fade" || verb == "fadeall") {
            const auto speed = fadeSpeed(message);
            if (!speed) {
                ++m_counters.badArguments;
                return;
            }
            ++m_counters.handled;
            return verb == "fade" ? m_board.fade(*speed) : m_board.fadeAll(*speed);
        }
        if (verb == "master" || verb == "stopsound") {
            const auto n = message.args.size() == 1 ? numeric(message.args[0]) : std::nullopt;
            const bool id = verb == "stopsound";
            if (!n || (id && (*n != std::floor(*n) || *n < 0 || *n > std::numeric_limits<int>::max()))) {
                ++m_counters.badArguments;
                return;
            }
            ++m_counters.handled;
            if (id)
                return m_board.stopSound(static_cast<int>(*n));
            return m_board.setMasterLevel(*n); // the board holds it within its range
        }
        void (Board::*command)() = nullptr;
        if (verb == "play")
            command = &Board::play;
        else if (verb == "stop")
            command = &Board::stopSong;
        else if (verb == "stopall")
            command = &Board::stopAll;
        else if (verb == "pause")
            command = &Board::pause;
        if (!command)
            return unknownAddress(message, from);
        const Trigger t = trigger(message);
        if (t == Trigger::Bad) {
            ++m_counters.badArguments;
            return;
        }
        ++m_counters.handled;
        if (t == Trigger::Act)
            (m_board.*command)();
        return;
    }

    const bool sheetCommand = parts.size() == 5 && parts[2] == "sheet" && verb == "show";
    const bool slotCommand = parts.size() == 7 && parts[2] == "sheet" && parts[4] == "button" &&
                             (verb == "press" || verb == "queue");
    const auto sheet = number(parts[3]);
    const auto slot = slotCommand ? number(parts[5]) : std::optional<int>(1);
    if (!(sheetCommand || slotCommand) || !sheet || !slot)
        return unknownAddress(message, from);
    if (*sheet < 1 || *sheet > Board::Sheets || *slot < 1 || *slot > Board::Slots) {
        ++m_counters.outOfRange;
        return;
    }
    const Trigger t = trigger(message);
    if (t == Trigger::Bad) {
        ++m_counters.badArguments;
        return;
    }
    ++m_counters.handled;
    if (t == Trigger::Release) {
        // A tablet's button let go: a button that plays while held stops.
        if (slotCommand && verb == "press")
            m_board.release(*sheet - 1, *slot - 1, PressedBy::Osc);
        return;
    }
    if (sheetCommand)
        m_board.showSheet(*sheet - 1);
    else if (verb == "press")
        press(*sheet - 1, *slot - 1, from);
    else
        m_board.queue(*sheet - 1, *slot - 1, PressedBy::Osc);
}

void OscRemote::press(int sheet, int slot, const OscPeer& from)
{
    // A song that cannot play is the sender's news, never a box at the board.
    const FailedPress failed(m_board);
    m_board.press(sheet, slot, PressedBy::Osc);
    if (!failed.message().isEmpty())
        answerError(from, failed.message());
}

void OscRemote::connectSender(const OscMessage& message, const OscPeer& from)
{
    if (message.types != "s") {
        ++m_counters.badArguments;
        return;
    }
    if (!samePasscode(message.args[0].toString().toUtf8(), m_passcode)) {
        ++m_counters.denied;
        m_pause.wrong(pauseKey(from), m_clock());
        m_transport.send(from, OscPacket::message("/sonavex/denied"));
        return;
    }
    ++m_counters.handled;
    m_pause.right(pauseKey(from));
    if (m_admitted.size() >= MaxAdmitted)
        m_admitted.removeFirst();
    m_admitted << from.address;
}

void OscRemote::subscribe(const OscMessage& message, const OscPeer& sender)
{
    // A second number names the sender's port that listens, for a remote that sends from
    // another port than it listens on (Companion does).
    const qsizetype count = message.args.size();
    const auto n = count == 1 || count == 2 ? numeric(message.args[0]) : std::nullopt;
    const auto listener = listeningAt(sender, count == 2 ? &message.args[1] : nullptr);
    if (!n || (*n != 0 && *n != 1) || !listener) {
        ++m_counters.badArguments;
        return;
    }
    const OscPeer from = *listener;
    ++m_counters.handled;
    dropLapsed();
    const auto it = std::find_if(m_subscribers.begin(), m_subscribers.end(),
                                 [&](const Subscriber& s) { return s.peer == from; });
    if (*n == 0) {
        if (it != m_subscribers.end())
            m_subscribers.erase(it);
        return;
    }
    const qint64 now = m_clock();
    if (it != m_subscribers.end()) {
        // A renewal only renews: the subscriber has had the whole state and every change since.
        it->until = now + SubscriptionMs;
        return;
    }
    Subscriber* subscriber = nullptr;
    if (m_subscribers.size() >= MaxSubscribers) {
        // A remote that left without unsubscribing must not keep a new one out for a minute.
        const bool holdsOne =
            std::any_of(m_subscribers.cbegin(), m_subscribers.cend(),
                        [&](const Subscriber& s) { return s.peer.address == from.address; });
        if (holdsOne)
            return answerError(from, QStringLiteral("too many subscribers"));
        const auto oldest =
            std::min_element(m_subscribers.begin(), m_subscribers.end(),
                             [](const Subscriber& a, const Subscriber& b) { return a.until < b.until; });
        *oldest = Subscriber{from, now + SubscriptionMs, 0};
        subscriber = &*oldest;
        ++m_counters.displaced;
    } else {
        m_subscribers << Subscriber{from, now + SubscriptionMs, 0};
        subscriber = &m_subscribers.last();
    }
    sendWholeState(*subscriber);
}

void OscRemote::refresh(const OscMessage& message, const OscPeer& sender)
{
    const qsizetype count = message.args.size();
    const auto to = count <= 1 ? listeningAt(sender, count == 1 ? &message.args[0] : nullptr) : std::nullopt;
    if (!to) {
        ++m_counters.badArguments;
        return;
    }
    ++m_counters.handled;
    dropLapsed();
    const auto it = std::find_if(m_subscribers.begin(), m_subscribers.end(),
                                 [&](const Subscriber& s) { return s.peer == *to; });
    if (it == m_subscribers.end())
        return answerError(*to, QStringLiteral("not subscribed"));
    if (m_clock() - it->wholeStateAt >= WholeStateMs)
        sendWholeState(*it);
}

void OscRemote::sendWholeState(Subscriber& subscriber)
{
    subscriber.wholeStateAt = m_clock();
    // A copy: a send may learn that the subscriber is gone, which drops it from the list.
    const OscPeer to = subscriber.peer;
    // Whatever waits to go out is part of the whole state; the others still get it.
    for (const QByteArray& bundle : OscPacket::bundles(wholeState(), MaxDatagram))
        m_transport.send(to, bundle);
}

bool OscRemote::mayAnswer()
{
    const qint64 second = m_clock() / 1000;
    if (second != m_answerSecond) {
        m_answerSecond = second;
        m_answersThisSecond = 0;
    }
    if (++m_answersThisSecond > AnswersPerSecond) {
        ++m_counters.unanswered;
        return false;
    }
    return true;
}

void OscRemote::answerError(const OscPeer& to, const QString& text)
{
    if (mayAnswer())
        m_transport.send(to, OscPacket::message("/sonavex/error", {text}));
}

void OscRemote::unknownAddress(const OscMessage& message, const OscPeer& from)
{
    ++m_counters.unknown;
    // Under a flood of unknown addresses most go unanswered: no text is made for them.
    if (!mayAnswer())
        return;
    const QString text = QStringLiteral("unknown address ") + QString::fromUtf8(message.path.left(80));
    m_transport.send(from, OscPacket::message("/sonavex/error", {text}));
}

void OscRemote::tell(const QByteArray& message)
{
    if (m_subscribers.isEmpty())
        return;
    m_outbox << message;
    if (!m_flush->isActive())
        m_flush->start();
}

void OscRemote::dropLapsed()
{
    const qint64 now = m_clock();
    m_subscribers.removeIf([now](const Subscriber& s) { return s.until <= now; });
}

void OscRemote::peerUnreachable(const OscPeer& peer)
{
    m_counters.unreachable +=
        static_cast<quint64>(m_subscribers.removeIf([&peer](const Subscriber& s) { return s.peer == peer; }));
}

void OscRemote::flush()
{
    dropLapsed();
    if (m_playingChanged) {
        m_playingChanged = false;
        m_outbox << playingMessages(m_board.playing());
    }
    const QList<QByteArray> bundles = OscPacket::bundles(m_outbox, MaxDatagram);
    m_outbox.clear();
    // A copy: a send may learn that a subscriber is gone, which drops it from the list.
    const QList<Subscriber> subscribers = m_subscribers;
    for (const Subscriber& s : subscribers)
        for (const QByteArray& bundle : bundles)
            m_transport.send(s.peer, bundle);
}

QList<QByteArray> OscRemote::wholeState() const
{
    QList<QByteArray> out;
    out << playStateMessage(m_board.playState()) << auditionMessage(m_board.audition())
        << nowPlayingMessage(m_board.nowPlaying()) << timeMessage(m_board.position(), m_board.timeLeft())
        << timeTextMessages(m_board.position(), m_board.timeLeft()) << shownSheetMessage(m_board.shownSheet())
        << masterMessage(m_board.masterLevel()) << playingMessages(m_board.playing());
    for (int sheet = 0; sheet < Board::Sheets; ++sheet) {
        out << sheetNameMessage(sheet, m_board.sheetName(sheet));
        for (int slot = 0; slot < Board::Slots; ++slot) {
            out << slotStateMessage(sheet, slot, m_board.slotState(sheet, slot));
            out << slotTitleMessage(sheet, slot, m_board.slotTitle(sheet, slot));
        }
    }
    return out;
}
