// SPDX-License-Identifier: GPL-3.0-or-later
#include "MidiDecoder.h"

#include "AudioOutput.h"
#include "platform/Errors.h"

#include <QFile>

#include <fluidsynth.h>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <utility>
#include <vector>

namespace {

constexpr const char* SoundFonts[] = {
    "/usr/share/sounds/sf2/TimGM6mb.sf2",
    "/usr/share/sounds/sf2/default-GM.sf2",
    "/usr/share/sounds/sf2/FluidR3_GM.sf2",
};
constexpr int RenderChunk = 4096;
constexpr int DefaultTempo = 500000; // microseconds per quarter note

struct SettingsFreer {
    void operator()(fluid_settings_t* p) const { delete_fluid_settings(p); }
};
struct SynthFreer {
    void operator()(fluid_synth_t* p) const { delete_fluid_synth(p); }
};
struct PlayerFreer {
    void operator()(fluid_player_t* p) const { delete_fluid_player(p); }
};

void quietenSynthesizer()
{
    static std::once_flag once;
    std::call_once(once, [] {
        for (int level : {FLUID_ERR, FLUID_WARN, FLUID_INFO, FLUID_DBG})
            fluid_set_log_function(level, nullptr, nullptr);
    });
}

[[noreturn]] void notMidi()
{
    throw DeviceError(QStringLiteral("not a valid MIDI file"));
}

/// Bounds-checked big-endian reading of MIDI data.
class MidiReader {
public:
    MidiReader(const QByteArray& data, std::size_t pos, std::size_t end)
        : m_data(data)
        , m_pos(pos)
        , m_end(end)
    {
    }
    [[nodiscard]] bool atEnd() const { return m_pos >= m_end; }
    [[nodiscard]] std::size_t pos() const { return m_pos; }
    std::uint8_t byte()
    {
        if (m_pos >= m_end)
            notMidi();
        return static_cast<std::uint8_t>(m_data[static_cast<qsizetype>(m_pos++)]);
    }
    [[nodiscard]] std::uint8_t peek() const
    {
        if (m_pos >= m_end)
            notMidi();
        return static_cast<std::uint8_t>(m_data[static_cast<qsizetype>(m_pos)]);
    }
    std::uint32_t number(int bytes)
    {
        std::uint32_t v = 0;
        for (int i = 0; i < bytes; ++i)
            v = (v << 8) | byte();
        return v;
    }
    std::uint32_t variable()
    {
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i) {
            const std::uint8_t b = byte();
            v = (v << 7) | (b & 0x7Fu);
            if (!(b & 0x80u))
                return v;
        }
        notMidi();
    }
    void skip(std::size_t n)
    {
        if (n > m_end - m_pos)
            notMidi();
        m_pos += n;
    }
    [[nodiscard]] bool tag(const char* fourcc) const
    {
        return m_end - m_pos >= 4 && std::equal(fourcc, fourcc + 4, m_data.constData() + m_pos);
    }

private:
    const QByteArray& m_data;
    std::size_t m_pos;
    std::size_t m_end;
};

/// The standard MIDI file inside `data`: itself, or the data chunk of a RIFF wrapper.
QByteArray standardMidi(const QByteArray& data)
{
    if (!data.startsWith("RIFF"))
        return data;
    MidiReader r(data, 12, static_cast<std::size_t>(data.size()));
    while (!r.atEnd()) {
        const bool isData = r.tag("data");
        r.skip(4);
        std::uint32_t len = 0;
        for (int i = 0; i < 4; ++i)
            len |= static_cast<std::uint32_t>(r.byte()) << (8 * i); // RIFF sizes are little-endian
        if (isData) {
            if (len > static_cast<std::size_t>(data.size()) - r.pos())
                notMidi();
            return data.mid(static_cast<qsizetype>(r.pos()), static_cast<qsizetype>(len));
        }
        r.skip(len + (len & 1u));
    }
    notMidi();
}

} // namespace

struct MidiDecoder::Impl {
    std::unique_ptr<fluid_settings_t, SettingsFreer> settings;
    std::unique_ptr<fluid_synth_t, SynthFreer> synth;
    std::unique_ptr<fluid_player_t, PlayerFreer> player;
    double duration = 0.0;
    std::int64_t totalFrames = 0;
    std::int64_t rendered = 0;
};

MidiDecoder::MidiDecoder(const QString& path)
    : d(std::make_unique<Impl>())
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw DeviceError(file.errorString());
    const QByteArray smf = standardMidi(file.readAll());
    d->duration = eventLength(smf) + TailSeconds;
    d->totalFrames = std::llround(d->duration * Pcm::SampleRate);

    quietenSynthesizer();
    d->settings.reset(new_fluid_settings());
    if (!d->settings)
        throw DeviceError(QStringLiteral("the synthesizer cannot start"));
    fluid_settings_setnum(d->settings.get(), "synth.sample-rate", Pcm::SampleRate);
    fluid_settings_setnum(d->settings.get(), "synth.gain", 0.6);
    fluid_settings_setint(d->settings.get(), "synth.cpu-cores", 1);
    fluid_settings_setint(d->settings.get(), "synth.threadsafe-api", 0);
    fluid_settings_setstr(d->settings.get(), "player.timing-source", "sample");
    d->synth.reset(new_fluid_synth(d->settings.get()));
    if (!d->synth)
        throw DeviceError(QStringLiteral("the synthesizer cannot start"));
    bool loaded = false;
    for (const char* font : SoundFonts) {
        if (QFile::exists(QString::fromUtf8(font)) &&
            fluid_synth_sfload(d->synth.get(), font, 1) != FLUID_FAILED) {
            loaded = true;
            break;
        }
    }
    if (!loaded)
        throw DeviceError(QStringLiteral("no General MIDI sound font is installed"));
    d->player.reset(new_fluid_player(d->synth.get()));
    if (!d->player ||
        fluid_player_add_mem(d->player.get(), smf.constData(), static_cast<std::size_t>(smf.size())) !=
            FLUID_OK ||
        fluid_player_play(d->player.get()) != FLUID_OK)
        throw DeviceError(QStringLiteral("the synthesizer cannot play it"));
}

MidiDecoder::~MidiDecoder()
{
    if (d->player)
        fluid_player_stop(d->player.get());
    // Members go in reverse order: player, synthesizer, settings.
}

double MidiDecoder::duration() const
{
    return d->duration;
}

std::size_t MidiDecoder::read(std::int16_t* out, std::size_t frames)
{
    const auto want = static_cast<std::int64_t>(frames);
    const std::int64_t n = std::min(want, d->totalFrames - d->rendered);
    std::int64_t done = 0;
    while (done < n) {
        const int len = static_cast<int>(std::min<std::int64_t>(RenderChunk, n - done));
        std::int16_t* at = out + done * Pcm::Channels;
        if (fluid_synth_write_s16(d->synth.get(), len, at, 0, 2, at, 1, 2) != FLUID_OK)
            throw DeviceError(QStringLiteral("the synthesizer failed"));
        done += len;
    }
    d->rendered += done;
    return static_cast<std::size_t>(done);
}

bool MidiDecoder::isMidi(const QByteArray& start)
{
    return start.startsWith("MThd") || (start.startsWith("RIFF") && start.mid(8, 4) == "RMID");
}

double MidiDecoder::eventLength(const QByteArray& data)
{
    const auto size = static_cast<std::size_t>(data.size());
    MidiReader header(data, 0, size);
    if (!header.tag("MThd"))
        notMidi();
    header.skip(4);
    const std::uint32_t headerLen = header.number(4);
    if (headerLen < 6)
        notMidi();
    header.number(2); // format: tracks are read alike whatever it says
    const std::uint32_t trackCount = header.number(2);
    const std::uint32_t division = header.number(2);
    header.skip(headerLen - 6);
    if (division == 0)
        notMidi();

    std::vector<std::pair<std::uint64_t, std::uint32_t>> tempos; // (tick, microseconds per quarter)
    std::uint64_t lastTick = 0;
    std::uint32_t tracksRead = 0;
    std::size_t pos = header.pos();
    while (tracksRead < trackCount && size - pos >= 8) {
        MidiReader chunk(data, pos, size);
        const bool isTrack = chunk.tag("MTrk");
        chunk.skip(4);
        const std::uint32_t len = chunk.number(4);
        const std::size_t begin = chunk.pos();
        const std::size_t end = begin + std::min<std::size_t>(len, size - begin);
        pos = end;
        if (!isTrack)
            continue;
        ++tracksRead;
        MidiReader r(data, begin, end);
        std::uint64_t tick = 0;
        std::uint8_t status = 0;
        while (!r.atEnd()) {
            tick += r.variable();
            if (r.peek() & 0x80u)
                status = r.byte();
            else if (status == 0)
                notMidi();
            if (status == 0xFF) {
                const std::uint8_t type = r.byte();
                const std::uint32_t metaLen = r.variable();
                if (type == 0x51 && metaLen == 3)
                    tempos.emplace_back(tick, r.number(3));
                else
                    r.skip(metaLen);
                lastTick = std::max(lastTick, tick);
                if (type == 0x2F)
                    break;
                status = 0;
            } else if (status == 0xF0 || status == 0xF7) {
                r.skip(r.variable());
                status = 0;
            } else {
                const std::uint8_t kind = status & 0xF0u;
                if (kind == 0xC0 || kind == 0xD0 || status == 0xF1 || status == 0xF3)
                    r.skip(1);
                else if (status < 0xF0 || status == 0xF2)
                    r.skip(2);
                lastTick = std::max(lastTick, tick);
            }
        }
    }
    if (tracksRead == 0)
        notMidi();

    if (division & 0x8000u) {
        // SMPTE time: frames per second and ticks per frame, no tempo.
        const int fps = -static_cast<std::int8_t>(division >> 8);
        const auto ticksPerFrame = static_cast<int>(division & 0xFFu);
        if (fps <= 0 || ticksPerFrame == 0)
            notMidi();
        return static_cast<double>(lastTick) / (fps * ticksPerFrame);
    }
    std::stable_sort(tempos.begin(), tempos.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    double seconds = 0.0;
    std::uint64_t at = 0;
    double tempo = DefaultTempo;
    for (const auto& [tick, value] : tempos) {
        if (tick >= lastTick)
            break;
        seconds += static_cast<double>(tick - at) * tempo / (1e6 * division);
        at = tick;
        tempo = value;
    }
    seconds += static_cast<double>(lastTick - at) * tempo / (1e6 * division);
    return seconds;
}
