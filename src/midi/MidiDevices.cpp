// SPDX-License-Identifier: GPL-3.0-or-later
#include "MidiDevices.h"

#include "midi/MidiRemote.h"
#include "midi/PadLights.h"
#include "platform/Guard.h"

#include <QFileInfo>
#include <QTimer>

#include <jack/jack.h>
#include <rtmidi/rtmidi_c.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <optional>
#include <set>

namespace {
/// RtMidi's ports, each freed as RtMidi wants. RtMidi is reached through its C functions: the
/// library is opened when MIDI starts (MidiLibraries.cpp), not with the program. A call that
/// failed leaves `ok` false on the port; the port is then given up.
struct InFree {
    void operator()(RtMidiInPtr p) const { rtmidi_in_free(p); }
};
struct OutFree {
    void operator()(RtMidiOutPtr p) const { rtmidi_out_free(p); }
};
using MidiIn = std::unique_ptr<RtMidiWrapper, InFree>;
using MidiOut = std::unique_ptr<RtMidiWrapper, OutFree>;

constexpr unsigned InputQueue =
    100; // messages held while the board's thread is busy, as RtMidi's own default

MidiIn makeIn(RtMidiApi api)
{
    MidiIn in(rtmidi_in_create(api, MidiDevices::ClientName.toUtf8().constData(), InputQueue));
    return in && in->ok ? std::move(in) : nullptr;
}

MidiOut makeOut(RtMidiApi api)
{
    MidiOut out(rtmidi_out_create(api, MidiDevices::ClientName.toUtf8().constData()));
    return out && out->ok ? std::move(out) : nullptr;
}

/// The names of the port's ports; nothing when RtMidi cannot tell.
std::optional<std::vector<std::string>> portNames(RtMidiWrapper& port)
{
    const unsigned count = rtmidi_get_port_count(&port);
    std::vector<std::string> names;
    for (unsigned i = 0; i < count && port.ok; ++i) {
        int length = 0;
        rtmidi_get_port_name(&port, i, nullptr, &length);
        std::string name(static_cast<std::size_t>(std::max(length, 1)), '\0');
        if (length > 0 && rtmidi_get_port_name(&port, i, name.data(), &length) >= 0)
            name.resize(std::strlen(name.c_str()));
        else
            name.clear();
        names.push_back(std::move(name));
    }
    if (!port.ok)
        return std::nullopt;
    return names;
}

/// Opens port `index` of `port` under `portName`; false when RtMidi could not.
bool openPort(RtMidiWrapper& port, unsigned index, const char* portName)
{
    rtmidi_open_port(&port, index, portName);
    return port.ok;
}

void quietJack(const char*) {}

/// Whether a JACK server answers, asked without starting one and without a word on stderr.
bool jackRunning()
{
    jack_set_error_function(quietJack);
    jack_set_info_function(quietJack);
    jack_status_t status{};
    jack_client_t* client = jack_client_open("Sonavex probe", JackNoStartServer, &status);
    if (!client)
        return false;
    jack_client_close(client);
    return true;
}

MidiDevices::Api wanted(MidiDevices::Api api)
{
    if (api != MidiDevices::Api::Automatic)
        return api;
    const QByteArray env = qgetenv("SONAVEX_MIDI").toLower();
    if (env == "alsa")
        return MidiDevices::Api::Alsa;
    if (env == "jack")
        return MidiDevices::Api::Jack;
    if (env == "off")
        return MidiDevices::Api::Off;
    return MidiDevices::Api::Automatic;
}

bool ours(const std::string& port)
{
    return QString::fromStdString(port).startsWith(MidiDevices::ClientName);
}
} // namespace

struct MidiDevices::Input {
    std::string name;
    Api api = Api::Off;
    int port = 0;
    MidiIn in;
    MidiOut out;
    std::unique_ptr<PadLights> lights; ///< before `out` goes: dark at the end
    MidiRemote* remote = nullptr;

    ~Input() { lights.reset(); }

    static void received(double, const unsigned char* message, std::size_t size, void* user)
    {
        auto* self = static_cast<Input*>(user);
        if (message && size > 0)
            self->remote->post(self->port, message, size);
    }
};

/// One way to the ports: the ALSA sequencer or a JACK server.
struct MidiDevices::BackEnd {
    Api api = Api::Off;
    RtMidiApi rt = RTMIDI_API_UNSPECIFIED;
    MidiIn probe;
    /// Beside the ALSA sequencer: JACK's own ports only, told apart by their flags.
    bool ownPortsOnly = false;
    /// JACK: a client of our own that hears the server stop and reads the ports' flags.
    jack_client_t* jack = nullptr;
    std::atomic<bool> gone{false};

    static void shutDown(void* self) { static_cast<BackEnd*>(self)->gone = true; }

    ~BackEnd()
    {
        probe.reset();
        if (jack)
            jack_client_close(jack);
    }

    /// Whether the port is one this back end reads.
    [[nodiscard]] bool reads(const std::string& name) const
    {
        if (name.empty() || ours(name))
            return false;
        if (!ownPortsOnly)
            return true;
        // PipeWire's bridge and a2jmidid carry the sequencer's ports into JACK; hardware there is
        // the sequencer's too. Read twice, a pad would press twice.
        if (name.rfind("Midi-Bridge:", 0) == 0 || name.rfind("a2j:", 0) == 0)
            return false;
        const jack_port_t* port = jack ? jack_port_by_name(jack, name.c_str()) : nullptr;
        return port && !(jack_port_flags(port) & JackPortIsPhysical);
    }
};

/// A JACK server asked for away from the window's thread.
struct MidiDevices::JackLook {
    std::atomic<bool> done{false};
    bool quiet = false;             ///< asked as the board started: found without a word
    std::unique_ptr<BackEnd> found; ///< written before `done`
};

MidiDevices::MidiDevices(Board& board, MidiRemote& remote, QList<ControllerProfile> profiles, QObject* parent)
    : QObject(parent)
    , m_board(board)
    , m_remote(remote)
    , m_profiles(std::move(profiles))
    , m_poll(new QTimer(this))
{
    m_poll->setInterval(PollMs);
    connectGuarded(m_poll, &QTimer::timeout, this, &MidiDevices::poll);
}

MidiDevices::~MidiDevices()
{
    guard([this] { stop(); });
}

std::unique_ptr<MidiDevices::BackEnd> MidiDevices::makeBackEnd(Api api, bool ownPortsOnly)
{
    auto backEnd = std::make_unique<BackEnd>();
    backEnd->api = api;
    backEnd->rt = api == Api::Alsa ? RTMIDI_API_LINUX_ALSA : RTMIDI_API_UNIX_JACK;
    backEnd->probe = makeIn(backEnd->rt);
    // Lights need an output: a back end that cannot make one is none.
    if (!backEnd->probe || !makeOut(backEnd->rt))
        return nullptr;
    if (api == Api::Jack) {
        backEnd->ownPortsOnly = ownPortsOnly;
        jack_status_t status{};
        backEnd->jack = jack_client_open("Sonavex ports", JackNoStartServer, &status);
        if (!backEnd->jack)
            return nullptr;
        jack_on_shutdown(backEnd->jack, &BackEnd::shutDown, backEnd.get());
    }
    return backEnd;
}

bool MidiDevices::has(Api api) const
{
    return std::any_of(m_backEnds.begin(), m_backEnds.end(), [api](const auto& b) { return b->api == api; });
}

bool MidiDevices::jackWanted() const
{
    return (m_want == Api::Automatic || m_want == Api::Jack) && !has(Api::Jack);
}

bool MidiDevices::start(Api api, QString* why)
{
    stop();
    m_want = wanted(api);
    if (m_want == Api::Off) {
        if (why)
            *why = QStringLiteral("MIDI is turned off.");
        return false;
    }
    // Asked first whether it is there, so that a missing one costs no time and no noise.
    if ((m_want == Api::Automatic || m_want == Api::Alsa) &&
        QFileInfo::exists(QStringLiteral("/dev/snd/seq")))
        if (auto alsa = makeBackEnd(Api::Alsa, false))
            m_backEnds.push_back(std::move(alsa));
    // Without the sequencer, JACK is all there is: asked now, as the board starts. Beside it,
    // JACK is asked for on a thread of its own, as it is at every later look.
    if (m_backEnds.empty() && jackWanted() && jackRunning())
        if (auto jack = makeBackEnd(Api::Jack, false))
            m_backEnds.push_back(std::move(jack));
    m_firstLook = true;
    poll();
    m_poll->start();
    if (!running()) {
        if (why)
            *why = jackWanted()
                       ? QStringLiteral("MIDI is off: neither the ALSA sequencer nor a JACK server was "
                                        "found; a JACK server started later is taken.")
                       : QStringLiteral("MIDI is off: the ALSA sequencer was not found.");
        return false;
    }
    return true;
}

void MidiDevices::stop()
{
    m_poll->stop();
    if (m_jackLook.joinable())
        m_jackLook.join();
    m_jackFound.reset();
    m_inputs.clear();
    m_backEnds.clear();
    m_want = Api::Off;
}

QString MidiDevices::backEnd() const
{
    QStringList names;
    for (const auto& b : m_backEnds)
        names << (b->api == Api::Alsa ? QStringLiteral("ALSA sequencer") : QStringLiteral("JACK"));
    return names.join(QStringLiteral(" and "));
}

QStringList MidiDevices::inputs() const
{
    QStringList names;
    for (const auto& input : m_inputs)
        names << QString::fromStdString(input->name);
    return names;
}

void MidiDevices::assignmentsChanged()
{
    for (const auto& input : m_inputs)
        if (input->lights)
            input->lights->update();
}

void MidiDevices::setFilter(const MidiInputFilter& filter)
{
    m_filter = filter;
    std::erase_if(m_inputs,
                  [&](const auto& in) { return !m_filter.acceptsPort(QString::fromStdString(in->name)); });
    poll();
}

void MidiDevices::lookForJack()
{
    if (!jackWanted())
        return;
    if (!m_jackLook.joinable()) {
        // Asking costs milliseconds, more when a server answers: never on the window's thread mid-show.
        m_jackFound = std::make_shared<JackLook>();
        m_jackFound->quiet = m_firstLook;
        m_jackLook = std::thread([look = m_jackFound, ownPortsOnly = has(Api::Alsa)] {
            if (jackRunning())
                look->found = makeBackEnd(Api::Jack, ownPortsOnly);
            look->done = true;
        });
        return;
    }
    if (!m_jackFound->done)
        return; // still asking: the answer is read at a later look
    m_jackLook.join();
    const auto look = std::exchange(m_jackFound, nullptr);
    if (!look->found)
        return;
    const bool before = running();
    m_backEnds.push_back(std::move(look->found));
    if (!look->quiet)
        Q_EMIT news(before ? QStringLiteral("MIDI: a JACK server was found; its MIDI ports are read too.")
                           : QStringLiteral("MIDI is on: a JACK server was found."));
}

void MidiDevices::dropStoppedJack()
{
    const auto jack = std::find_if(m_backEnds.begin(), m_backEnds.end(),
                                   [](const auto& b) { return b->api == Api::Jack && b->gone; });
    if (jack == m_backEnds.end())
        return;
    std::erase_if(m_inputs, [](const auto& in) { return in->api == Api::Jack; });
    m_backEnds.erase(jack);
    Q_EMIT news(running()
                    ? QStringLiteral("MIDI: the JACK server stopped; the ALSA sequencer is still read.")
                    : QStringLiteral("MIDI is off: the JACK server stopped; one started again is taken."));
}

void MidiDevices::poll()
{
    dropStoppedJack();
    lookForJack();
    std::set<std::pair<Api, std::string>> present;
    for (const auto& backEnd : m_backEnds) {
        const auto names = portNames(*backEnd->probe);
        if (!names) {
            // RtMidi keeps a failure on the port: a fresh one asks at the next look.
            if (MidiIn fresh = makeIn(backEnd->rt))
                backEnd->probe = std::move(fresh);
            return;
        }
        for (const std::string& name : *names)
            if (backEnd->reads(name) && m_filter.acceptsPort(QString::fromStdString(name)))
                present.emplace(backEnd->api, name);
    }
    for (auto it = m_inputs.begin(); it != m_inputs.end();) {
        if (present.count({(*it)->api, (*it)->name})) {
            ++it;
            continue;
        }
        Q_EMIT news(QStringLiteral("MIDI controller \"%1\" was unplugged; the show goes on.")
                        .arg(QString::fromStdString((*it)->name)));
        it = m_inputs.erase(it);
    }
    for (const auto& port : present) {
        const auto& api = port.first; // plain names: a lambda may not capture a structured binding
        const auto& name = port.second;
        const bool open = std::any_of(m_inputs.begin(), m_inputs.end(),
                                      [&](const auto& in) { return in->api == api && in->name == name; });
        if (open)
            continue;
        const auto backEnd =
            std::find_if(m_backEnds.begin(), m_backEnds.end(), [&](const auto& b) { return b->api == api; });
        this->open(**backEnd, name);
        // Those there at the start go without saying; one plugged in later is news.
        if (!m_firstLook)
            Q_EMIT news(QStringLiteral("MIDI controller \"%1\" found.").arg(QString::fromStdString(name)));
    }
    m_firstLook = false;
}

void MidiDevices::open(BackEnd& backEnd, const std::string& name)
{
    auto input = std::make_unique<Input>();
    input->name = name;
    input->api = backEnd.api;
    input->port = m_nextPort++;
    input->remote = &m_remote;
    input->in = makeIn(backEnd.rt);
    // Port numbers move as ports come and go: find it by name now.
    const auto names = input->in ? portNames(*input->in) : std::nullopt;
    const auto at =
        names ? std::find(names->begin(), names->end(), name) : std::vector<std::string>::const_iterator();
    if (!names || at == names->end())
        return; // gone meanwhile; the next look tells
    rtmidi_in_ignore_types(input->in.get(), true, true, true);
    rtmidi_in_set_callback(input->in.get(), &Input::received, input.get());
    if (!openPort(*input->in, static_cast<unsigned>(at - names->begin()), "in")) {
        Q_EMIT news(QStringLiteral("MIDI port \"%1\" cannot be read.").arg(QString::fromStdString(name)));
        return;
    }
    light(*input);
    m_inputs.push_back(std::move(input));
}

void MidiDevices::light(Input& input)
{
    const QString portName = QString::fromStdString(input.name);
    const auto profile = std::find_if(m_profiles.cbegin(), m_profiles.cend(),
                                      [&](const auto& p) { return p.matches(portName); });
    if (profile == m_profiles.cend())
        return;
    MidiOut out = makeOut(input.api == Api::Alsa ? RTMIDI_API_LINUX_ALSA : RTMIDI_API_UNIX_JACK);
    const auto names = out ? portNames(*out) : std::nullopt;
    if (!names)
        return; // played without lights
    // The controller's output port: the first that the profile matches and that is no input of ours.
    const auto at = std::find_if(names->begin(), names->end(), [&](const std::string& name) {
        return !ours(name) && profile->matches(QString::fromStdString(name));
    });
    if (at == names->end() || !openPort(*out, static_cast<unsigned>(at - names->begin()), "lights"))
        return;
    input.out = std::move(out);
    RtMidiWrapper* port = input.out.get();
    input.lights =
        std::make_unique<PadLights>(m_board, m_remote.assignments(), *profile, [port](const QByteArray& m) {
            // Unplugged, it fails: the next look closes it.
            rtmidi_out_send_message(port, reinterpret_cast<const unsigned char*>(m.constData()),
                                    static_cast<int>(m.size()));
        });
    // A JACK connection made a moment ago may not carry the next period's messages yet: the
    // programmer mode and the first colours would be lost.
    PadLights* lights = input.lights.get();
    QTimer::singleShot(LightsAfterMs, lights, [lights] { guard([lights] { lights->start(); }); });
}
