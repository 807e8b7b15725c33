// SPDX-License-Identifier: GPL-3.0-or-later
#include "MidiDevices.h"

#include "midi/MidiRemote.h"
#include "midi/PadLights.h"
#include "platform/Guard.h"

#include <QFileInfo>
#include <QTimer>

#include <RtMidi.h>
#include <jack/jack.h>

#include <algorithm>
#include <set>

namespace {
/// RtMidi's warnings and errors, from any of its threads: what matters is caught where it is thrown.
void quiet(RtMidiError::Type, const std::string&, void*) {}

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
    int port = 0;
    std::unique_ptr<RtMidiIn> in;
    std::unique_ptr<RtMidiOut> out;
    std::unique_ptr<PadLights> lights; ///< before `out` goes: dark at the end
    MidiRemote* remote = nullptr;

    ~Input() { lights.reset(); }

    static void received(double, std::vector<unsigned char>* message, void* user)
    {
        auto* self = static_cast<Input*>(user);
        if (message && !message->empty())
            self->remote->post(self->port, message->data(), message->size());
    }
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

bool MidiDevices::start(Api api, QString* why)
{
    stop();
    const Api want = wanted(api);
    const auto tryApi = [this](RtMidi::Api rt) {
        try {
            m_probe = std::make_unique<RtMidiIn>(rt, ClientName.toStdString());
            m_probe->setErrorCallback(quiet);
            m_outProbe = std::make_unique<RtMidiOut>(rt, ClientName.toStdString());
            m_outProbe->setErrorCallback(quiet);
            return true;
        } catch (const RtMidiError&) {
            m_probe.reset();
            m_outProbe.reset();
            return false;
        }
    };
    // Asked first whether each is there, so that a missing one costs no time and no noise.
    if ((want == Api::Automatic || want == Api::Alsa) && QFileInfo::exists(QStringLiteral("/dev/snd/seq")) &&
        tryApi(RtMidi::LINUX_ALSA))
        m_api = Api::Alsa;
    else if ((want == Api::Automatic || want == Api::Jack) && jackRunning() && tryApi(RtMidi::UNIX_JACK))
        m_api = Api::Jack;
    if (m_api == Api::Off) {
        if (why)
            *why = want == Api::Off
                       ? QStringLiteral("MIDI is turned off.")
                       : QStringLiteral("MIDI is off: neither the ALSA sequencer nor a JACK server "
                                        "was found when the board started.");
        return false;
    }
    m_firstLook = true;
    poll();
    m_poll->start();
    return true;
}

void MidiDevices::stop()
{
    m_poll->stop();
    m_inputs.clear();
    m_probe.reset();
    m_outProbe.reset();
    m_api = Api::Off;
}

QString MidiDevices::backEnd() const
{
    switch (m_api) {
    case Api::Alsa:
        return QStringLiteral("ALSA sequencer");
    case Api::Jack:
        return QStringLiteral("JACK");
    default:
        return {};
    }
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

void MidiDevices::poll()
{
    if (!m_probe)
        return;
    std::set<std::string> present;
    try {
        const unsigned count = m_probe->getPortCount();
        for (unsigned i = 0; i < count; ++i)
            if (const std::string name = m_probe->getPortName(i); !name.empty() && !ours(name))
                present.insert(name);
    } catch (const RtMidiError&) {
        return; // asked again at the next look
    }
    for (auto it = m_inputs.begin(); it != m_inputs.end();) {
        if (present.count((*it)->name)) {
            ++it;
            continue;
        }
        Q_EMIT news(QStringLiteral("MIDI controller \"%1\" was unplugged; the show goes on.")
                        .arg(QString::fromStdString((*it)->name)));
        it = m_inputs.erase(it);
    }
    for (const std::string& name : present) {
        const bool open =
            std::any_of(m_inputs.begin(), m_inputs.end(), [&](const auto& in) { return in->name == name; });
        if (open)
            continue;
        this->open(name);
        // Those there at the start go without saying; one plugged in later is news.
        if (!m_firstLook)
            Q_EMIT news(QStringLiteral("MIDI controller \"%1\" found.").arg(QString::fromStdString(name)));
    }
    m_firstLook = false;
}

void MidiDevices::open(const std::string& name)
{
    auto input = std::make_unique<Input>();
    input->name = name;
    input->port = m_nextPort++;
    input->remote = &m_remote;
    const RtMidi::Api rt = m_api == Api::Alsa ? RtMidi::LINUX_ALSA : RtMidi::UNIX_JACK;
    try {
        input->in = std::make_unique<RtMidiIn>(rt, ClientName.toStdString());
        input->in->setErrorCallback(quiet);
        // Port numbers move as ports come and go: find it by name now.
        for (unsigned i = 0; i < input->in->getPortCount(); ++i)
            if (input->in->getPortName(i) == name) {
                input->in->ignoreTypes(true, true, true);
                input->in->setCallback(&Input::received, input.get());
                input->in->openPort(i, "in");
                break;
            }
        if (!input->in->isPortOpen())
            return; // gone meanwhile; the next look tells
    } catch (const RtMidiError& e) {
        Q_EMIT news(QStringLiteral("MIDI port \"%1\" cannot be read: %2")
                        .arg(QString::fromStdString(name), QString::fromStdString(e.getMessage())));
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
    const RtMidi::Api rt = m_api == Api::Alsa ? RtMidi::LINUX_ALSA : RtMidi::UNIX_JACK;
    try {
        auto out = std::make_unique<RtMidiOut>(rt, ClientName.toStdString());
        out->setErrorCallback(quiet);
        // The controller's output port: the first that the profile matches and that is no input of ours.
        for (unsigned i = 0; i < out->getPortCount(); ++i) {
            const std::string name = out->getPortName(i);
            if (!ours(name) && profile->matches(QString::fromStdString(name))) {
                out->openPort(i, "lights");
                break;
            }
        }
        if (!out->isPortOpen())
            return;
        input.out = std::move(out);
    } catch (const RtMidiError&) {
        return; // played without lights
    }
    RtMidiOut* out = input.out.get();
    input.lights =
        std::make_unique<PadLights>(m_board, m_remote.assignments(), *profile, [out](const QByteArray& m) {
            try {
                out->sendMessage(reinterpret_cast<const unsigned char*>(m.constData()),
                                 static_cast<std::size_t>(m.size()));
            } catch (const RtMidiError&) {
                // unplugged: the next look closes it
            }
        });
    // A JACK connection made a moment ago may not carry the next period's messages yet: the
    // programmer mode and the first colours would be lost.
    PadLights* lights = input.lights.get();
    QTimer::singleShot(LightsAfterMs, lights, [lights] { guard([lights] { lights->start(); }); });
}
