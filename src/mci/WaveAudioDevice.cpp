// SPDX-License-Identifier: GPL-3.0-or-later
#include "WaveAudioDevice.h"

#include "DeviceRequests.h"
#include "WaveFile.h"
#include "audio/AudioOutput.h"
#include "platform/Guard.h"

#include <QMetaObject>
#include <QObject>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <limits>
#include <mutex>
#include <new>
#include <optional>
#include <vector>

namespace {

using Samples = std::vector<std::int16_t>;

constexpr std::int64_t framesOfMs(quint32 ms)
{
    return std::int64_t(ms) * Pcm::SampleRate / 1000;
}

constexpr quint32 msOfFrames(std::int64_t frames)
{
    return quint32(frames * 1000 / Pcm::SampleRate);
}

using DeviceRequests::block;
using DeviceRequests::checkItemQuery;
using DeviceRequests::seekTarget;

/// Plays a range of a wave that nobody changes while the source holds it.
class WaveSource : public PcmSource {
public:
    WaveSource(std::shared_ptr<const Samples> wave, std::int64_t from, std::int64_t to)
        : m_wave(std::move(wave))
        , m_next(from)
        , m_end(to)
    {
    }

    std::size_t read(std::int16_t* out, std::size_t frames) override
    {
        const auto n =
            static_cast<std::size_t>(std::clamp<std::int64_t>(m_end - m_next, 0, std::int64_t(frames)));
        if (n > 0)
            std::memcpy(out, m_wave->data() + m_next * Pcm::Channels, n * Pcm::BytesPerFrame);
        m_next += std::int64_t(n);
        return n;
    }

private:
    std::shared_ptr<const Samples> m_wave;
    std::int64_t m_next;
    std::int64_t m_end;
};

/// Collects what the input delivers on the audio thread until the GUI thread takes it.
/// Nothing delivered is dropped, except what lies beyond the recording's end.
class CaptureBuffer : public PcmSink {
public:
    /// `limit` frames at most (negative: no limit); `reachedLimit` runs once, on the audio
    /// thread, when the last of them came; `tailCame` when the input says the take ended.
    CaptureBuffer(std::int64_t limit, std::function<void()> reachedLimit, std::function<void()> tailCame)
        : m_limit(limit)
        , m_reachedLimit(std::move(reachedLimit))
        , m_tailCame(std::move(tailCame))
    {
    }

    void ended() override
    {
        {
            const std::lock_guard lock(m_mutex);
            m_ended = true;
        }
        m_endedChanged.notify_all();
        if (m_tailCame)
            m_tailCame();
    }

    /// True once the whole take came (asked before `take`, nothing of it is left behind then).
    [[nodiscard]] bool hasEnded() const
    {
        const std::lock_guard lock(m_mutex);
        return m_ended;
    }

    /// Waits at most `ms` for the end of the take.
    bool waitEnded(int ms)
    {
        std::unique_lock lock(m_mutex);
        return m_endedChanged.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_ended; });
    }

    [[nodiscard]] std::int64_t limit() const { return m_limit; }

    void write(const std::int16_t* in, std::size_t frames) override
    {
        bool full = false;
        {
            const std::lock_guard lock(m_mutex);
            std::int64_t n = std::int64_t(frames);
            if (m_limit >= 0)
                n = std::min(n, m_limit - m_accepted);
            if (n <= 0)
                return;
            m_pending.insert(m_pending.end(), in, in + n * Pcm::Channels);
            m_accepted += n;
            full = m_limit >= 0 && m_accepted == m_limit;
        }
        if (full && m_reachedLimit)
            m_reachedLimit();
    }

    /// Everything delivered since the last call.
    Samples take()
    {
        Samples taken;
        const std::lock_guard lock(m_mutex);
        taken.swap(m_pending);
        return taken;
    }

    [[nodiscard]] bool full() const
    {
        const std::lock_guard lock(m_mutex);
        return m_limit >= 0 && m_accepted >= m_limit;
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_endedChanged;
    Samples m_pending;
    std::int64_t m_accepted = 0;
    bool m_ended = false;
    const std::int64_t m_limit;
    const std::function<void()> m_reachedLimit;
    const std::function<void()> m_tailCame;
};

/// The end of a take that was still on its way from the server when it was stopped: its room in
/// the wave is kept (silent) and filled as it comes.
struct Tail {
    std::shared_ptr<CaptureBuffer> capture;
    std::unique_ptr<InputStream> stream;
    std::int64_t begin = 0; ///< its room in the wave, in frames
    std::int64_t at = 0;    ///< where what comes next goes
    std::int64_t end = 0;
    std::unique_ptr<WaveFile::ToNative> toNative;
    std::int64_t nativeAt = 0; ///< the same in the native wave
    std::int64_t nativeEnd = 0;
};

/// The longest a request that needs a take's tail waits for it (what the server holds in
/// flight stays well below: 270 ms was the most seen on a machine under full load).
constexpr int TailWaitMs = 1000;

} // namespace

struct WaveAudioDevice::Impl {
    enum class Activity { Idle, Playing, PlayPaused, Recording, RecordPaused };

    Impl(AudioOutput& out, AudioInput& in)
        : output(out)
        , input(in)
    {
        // While a wave is open a take may start any moment: it starts at once on a capture
        // that already runs.
        input.holdReady(true);
    }

    ~Impl()
    {
        // The input first: after that the audio thread no longer reaches the buffer or the notifier.
        inputStream.reset();
        tails.clear();
        stream.reset();
        input.holdReady(false);
    }

    AudioOutput& output;
    AudioInput& input;
    /// The wave, interleaved stereo. Shared with a playing source, so changed only through mutableWave().
    std::shared_ptr<Samples> wave = std::make_shared<Samples>();
    Activity activity = Activity::Idle;
    std::int64_t position = 0; ///< frames, while idle

    // playing
    std::unique_ptr<OutputStream> stream;
    std::int64_t playFrom = 0;
    std::int64_t playTo = 0;

    // recording
    std::shared_ptr<CaptureBuffer> capture;
    std::unique_ptr<InputStream> inputStream;
    std::int64_t recordPos = 0;
    std::int64_t recordEnd = -1; ///< where a recording stops by itself; -1: not before Stop
    std::int64_t takeMerged = 0; ///< frames of the running take in the wave
    bool inserting = false;
    /// Tells a buffer's end apart from that of a buffer that came before it.
    quint64 recordingNumber = 0;
    /// Receives the audio thread's notice that a recording reached its end.
    QObject notifier;
    std::vector<std::unique_ptr<Tail>> tails;
    /// Blocks the server dropped in the takes since the wave was opened, of takes no longer running.
    int droppedBlocks = 0;

    // the wave as its file holds it, when it came from a file: saved in that format,
    // with what is recorded converted into it
    std::optional<WaveFile::NativeWave> native;
    std::unique_ptr<WaveFile::ToNative> toNative;
    std::int64_t nativePos = 0; ///< where the recording goes on in `native`, in its frames

    [[nodiscard]] std::int64_t length() const { return std::int64_t(wave->size()) / Pcm::Channels; }

    Samples& mutableWave()
    {
        if (wave.use_count() > 1)
            wave = std::make_shared<Samples>(*wave);
        return *wave;
    }

    // ---- recording

    /// Moves what the input delivered into the wave.
    void mergeCaptured()
    {
        if (!capture)
            return;
        const Samples taken = capture->take();
        if (taken.empty())
            return;
        splice(mutableWave(), static_cast<std::size_t>(recordPos) * Pcm::Channels, taken);
        recordPos += std::int64_t(taken.size()) / Pcm::Channels;
        takeMerged += std::int64_t(taken.size()) / Pcm::Channels;
        if (toNative)
            spliceNative(toNative->convert(taken.data(), std::int64_t(taken.size()) / Pcm::Channels));
    }

    /// Puts recorded native samples at `nativePos`, as the recording does in the wave.
    void spliceNative(const std::vector<std::int32_t>& part)
    {
        if (part.empty())
            return;
        const auto channels = static_cast<std::size_t>(native->channels);
        splice(native->samples, static_cast<std::size_t>(std::min(nativePos, native->frames())) * channels,
               part);
        nativePos += std::int64_t(part.size() / channels);
    }

    /// Records `part` into `into` at sample `at`: inserted, or over what is there and on past the end.
    template <typename T> void splice(std::vector<T>& into, std::size_t at, const std::vector<T>& part) const
    {
        if (inserting) {
            into.insert(into.begin() + std::ptrdiff_t(at), part.begin(), part.end());
        } else {
            const std::size_t overlap = std::min(part.size(), into.size() - at);
            std::copy_n(part.begin(), overlap, into.begin() + std::ptrdiff_t(at));
            into.insert(into.end(), part.begin() + std::ptrdiff_t(overlap), part.end());
        }
    }

    MCIERROR startCapture()
    {
        const std::int64_t limit = recordEnd < 0 ? -1 : recordEnd - recordPos;
        const quint64 number = ++recordingNumber;
        QObject* receiver = &notifier;
        capture = std::make_shared<CaptureBuffer>(
            limit,
            [this, receiver, number] {
                QMetaObject::invokeMethod(
                    receiver,
                    [this, number] {
                        guard([&] {
                            if (activity == Activity::Recording && recordingNumber == number)
                                endCapture(Activity::Idle);
                        });
                    },
                    Qt::QueuedConnection);
            },
            [this, receiver] {
                QMetaObject::invokeMethod(
                    receiver, [this] { guard([&] { mergeTails(); }); }, Qt::QueuedConnection);
            });
        try {
            inputStream = input.startCapture(capture);
        } catch (const std::bad_alloc&) {
            capture.reset();
            return MCIERR_OUT_OF_MEMORY;
        } catch (...) {
            capture.reset();
            return MCIERR_NO_AUDIO_INPUT;
        }
        if (!inputStream) {
            capture.reset();
            return MCIERR_NO_AUDIO_INPUT;
        }
        takeMerged = 0;
        // What comes in is merged on this thread only, so the converter can come second.
        try {
            if (native)
                toNative = std::make_unique<WaveFile::ToNative>(*native);
        } catch (const std::bad_alloc&) {
            inputStream.reset();
            capture.reset();
            return MCIERR_OUT_OF_MEMORY;
        }
        activity = Activity::Recording;
        return 0;
    }

    /// Ends the take at this moment and keeps everything of it. What the server still holds
    /// of it comes later: its room is kept now, so the wave has the take's whole length at
    /// once, and it is filled as it comes (nothing here waits for it).
    void endCapture(Activity next)
    {
        std::int64_t whole = inputStream->finish();
        mergeCaptured();
        if (capture->limit() >= 0)
            whole = std::min(whole, capture->limit());
        const std::int64_t rest = whole - takeMerged;
        if (rest > 0 && !capture->hasEnded()) {
            keepTail(rest);
        } else {
            mergeCaptured(); // the last of it may have come meanwhile
            droppedBlocks += inputStream->droppedBlocks();
            inputStream.reset();
            if (toNative)
                spliceNative(toNative->flush());
            toNative.reset();
        }
        capture.reset();
        position = recordPos;
        activity = next;
    }

    void keepTail(std::int64_t rest)
    {
        auto tail = std::make_unique<Tail>();
        tail->capture = capture;
        tail->stream = std::move(inputStream);
        tail->begin = tail->at = recordPos;
        tail->end = recordPos + rest;
        splice(mutableWave(), static_cast<std::size_t>(recordPos) * Pcm::Channels,
               Samples(static_cast<std::size_t>(rest) * Pcm::Channels, 0));
        recordPos += rest;
        if (toNative) {
            const std::int64_t nativeRest = rest * native->sampleRate / Pcm::SampleRate;
            tail->toNative = std::move(toNative);
            tail->nativeAt = std::min(nativePos, native->frames());
            tail->nativeEnd = tail->nativeAt + nativeRest;
            spliceNative(
                std::vector<std::int32_t>(static_cast<std::size_t>(nativeRest * native->channels), 0));
        }
        tails.push_back(std::move(tail));
    }

    /// Fills the tails' rooms with what came of them; a tail that came whole is done.
    void mergeTails()
    {
        for (auto it = tails.begin(); it != tails.end();) {
            Tail& t = **it;
            const bool done = t.capture->hasEnded();
            const Samples taken = t.capture->take();
            const std::int64_t frames = std::min(std::int64_t(taken.size()) / Pcm::Channels, t.end - t.at);
            if (frames > 0) {
                Samples& w = mutableWave();
                std::copy_n(taken.begin(), frames * Pcm::Channels,
                            w.begin() + std::ptrdiff_t(t.at * Pcm::Channels));
                t.at += frames;
                if (t.toNative)
                    fillNative(t, t.toNative->convert(taken.data(), frames));
            }
            if (!done) {
                ++it;
                continue;
            }
            if (t.toNative)
                fillNative(t, t.toNative->flush());
            droppedBlocks += t.stream->droppedBlocks();
            it = tails.erase(it);
        }
    }

    void fillNative(Tail& t, const std::vector<std::int32_t>& part)
    {
        const auto channels = static_cast<std::int64_t>(native->channels);
        const std::int64_t frames = std::min(std::int64_t(part.size()) / channels, t.nativeEnd - t.nativeAt);
        if (frames <= 0)
            return;
        std::copy_n(part.begin(), frames * channels,
                    native->samples.begin() + std::ptrdiff_t(t.nativeAt * channels));
        t.nativeAt += frames;
    }

    /// For a request that needs the tails in the wave (a save, a play over one, a recording
    /// that would move one): waits for them, briefly. A tail that does not come by then keeps
    /// its silence.
    void awaitTails()
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(TailWaitMs);
        for (const auto& t : tails) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            t->capture->waitEnded(int(std::max<std::int64_t>(left.count(), 0)));
        }
        mergeTails();
        for (const auto& t : tails) {
            droppedBlocks += t->stream->droppedBlocks();
            // What the server never delivered in time stays silence in its room: said as a
            // dropped block, never kept quietly as if it had been recorded.
            if (t->at < t->end)
                ++droppedBlocks;
        }
        tails.clear();
    }

    /// Whether the room of a tail still to come overlaps frames [from, to).
    [[nodiscard]] bool tailWithin(std::int64_t from,
                                  std::int64_t to = std::numeric_limits<std::int64_t>::max()) const
    {
        return std::any_of(tails.cbegin(), tails.cend(),
                           [&](const auto& t) { return t->end > from && t->begin < to; });
    }

    /// Blocks the server dropped in the takes since the wave was opened.
    [[nodiscard]] int droppedSoFar() const
    {
        int n = droppedBlocks;
        for (const auto& t : tails)
            n += t->stream->droppedBlocks();
        if (inputStream)
            n += inputStream->droppedBlocks();
        return n;
    }

    // ---- playing

    [[nodiscard]] std::int64_t livePosition() const
    {
        switch (activity) {
        case Activity::Playing:
        case Activity::PlayPaused:
            return playFrom + std::clamp<std::int64_t>(stream->framesPlayed(), 0, playTo - playFrom);
        case Activity::Recording:
        case Activity::RecordPaused:
            return recordPos;
        case Activity::Idle:
            break;
        }
        return position;
    }

    void finishPlaying()
    {
        if (activity != Activity::Playing)
            return;
        position = playTo;
        activity = Activity::Idle;
        // The stream stays until the next request: this may run inside its own `finished` signal.
    }

    /// Brings the state up to date: a play that has been heard to its end is over, and what
    /// a recording delivered is in the wave.
    void settle()
    {
        mergeTails();
        if (activity == Activity::Playing && stream->framesPlayed() >= playTo - playFrom)
            finishPlaying();
        if (activity == Activity::Recording) {
            mergeCaptured();
            if (capture->full())
                endCapture(Activity::Idle);
        }
    }

    /// Ends playing or recording; the position stays where it got to.
    void stopAll()
    {
        settle();
        switch (activity) {
        case Activity::Playing:
        case Activity::PlayPaused:
            position = livePosition();
            break;
        case Activity::Recording:
            endCapture(Activity::Idle);
            break;
        case Activity::RecordPaused:
            position = recordPos;
            break;
        case Activity::Idle:
            break;
        }
        activity = Activity::Idle;
        stream.reset();
    }

    // ---- requests

    MCIERROR playRequest(quint32 flags, MCI_PLAY_PARMS* parms)
    {
        if ((flags & (MCI_FROM | MCI_TO)) && !parms)
            return MCIERR_NULL_PARAMETER_BLOCK;
        settle();
        if (activity == Activity::PlayPaused && !(flags & (MCI_FROM | MCI_TO))) {
            stream->resume();
            activity = Activity::Playing;
            return 0;
        }
        const std::int64_t from = (flags & MCI_FROM) ? framesOfMs(parms->dwFrom) : livePosition();
        const std::int64_t to = (flags & MCI_TO) ? framesOfMs(parms->dwTo) : length();
        if (from > length() || to > length() || from > to)
            return MCIERR_OUTOFRANGE;
        stopAll();
        position = from;
        if (from == to)
            return 0;
        if (tailWithin(from, to))
            awaitTails();
        try {
            stream = output.start(std::make_shared<WaveSource>(wave, from, to));
        } catch (const std::bad_alloc&) {
            return MCIERR_OUT_OF_MEMORY;
        } catch (...) {
            return MCIERR_NO_AUDIO_OUTPUT;
        }
        if (!stream)
            return MCIERR_NO_AUDIO_OUTPUT;
        QObject::connect(stream.get(), &OutputStream::finished, stream.get(), [this] { finishPlaying(); });
        QObject::connect(stream.get(), &OutputStream::failed, stream.get(), [this] { finishPlaying(); });
        playFrom = from;
        playTo = to;
        activity = Activity::Playing;
        return 0;
    }

    MCIERROR recordRequest(quint32 flags, MCI_RECORD_PARMS* parms)
    {
        if ((flags & (MCI_FROM | MCI_TO)) && !parms)
            return MCIERR_NULL_PARAMETER_BLOCK;
        if ((flags & MCI_RECORD_INSERT) && (flags & MCI_RECORD_OVERWRITE))
            return MCIERR_FLAGS_NOT_COMPATIBLE;
        settle();
        if (activity == Activity::RecordPaused && !(flags & (MCI_FROM | MCI_TO)))
            return startCapture();
        const std::int64_t from = (flags & MCI_FROM) ? framesOfMs(parms->dwFrom) : livePosition();
        const std::int64_t to = (flags & MCI_TO) ? framesOfMs(parms->dwTo) : -1;
        // An empty range would record nothing and still answer success.
        if (from > length() || (to >= 0 && to <= from))
            return MCIERR_OUTOFRANGE;
        stopAll();
        // A tail after the new take's start would be overwritten or moved by it.
        if (tailWithin(from))
            awaitTails();
        position = from;
        recordPos = from;
        recordEnd = to;
        inserting = flags & MCI_RECORD_INSERT;
        if (native)
            nativePos = from * native->sampleRate / Pcm::SampleRate;
        return startCapture();
    }

    MCIERROR pauseRequest()
    {
        settle();
        if (activity == Activity::Playing) {
            stream->pause();
            activity = Activity::PlayPaused;
        } else if (activity == Activity::Recording) {
            endCapture(Activity::RecordPaused);
        }
        return 0;
    }

    MCIERROR resumeRequest()
    {
        settle();
        if (activity == Activity::PlayPaused) {
            stream->resume();
            activity = Activity::Playing;
        } else if (activity == Activity::RecordPaused) {
            return startCapture();
        }
        return 0;
    }

    MCIERROR seekRequest(quint32 flags, MCI_SEEK_PARMS* parms)
    {
        quint32 where = 0;
        if (const MCIERROR e = seekTarget(flags, where))
            return e;
        if (where == MCI_TO && !parms)
            return MCIERR_NULL_PARAMETER_BLOCK;
        settle();
        if (where == MCI_TO && framesOfMs(parms->dwTo) > length())
            return MCIERR_OUTOFRANGE;
        // A seek ends a recording, so the end it finds lies behind everything recorded.
        stopAll();
        if (where == MCI_SEEK_TO_END)
            position = length();
        else if (where == MCI_TO)
            position = framesOfMs(parms->dwTo);
        else
            position = 0;
        return 0;
    }

    [[nodiscard]] quint32 mode() const
    {
        switch (activity) {
        case Activity::Playing:
            return MCI_MODE_PLAY;
        case Activity::Recording:
            return MCI_MODE_RECORD;
        case Activity::PlayPaused:
        case Activity::RecordPaused:
            return MCI_MODE_PAUSE;
        case Activity::Idle:
            break;
        }
        return MCI_MODE_STOP;
    }

    MCIERROR statusRequest(quint32 flags, MCI_STATUS_PARMS* parms)
    {
        if (const MCIERROR e = checkItemQuery(flags, MCI_STATUS_ITEM, parms))
            return e;
        settle();
        switch (parms->dwItem) {
        case MCI_STATUS_POSITION:
            parms->dwReturn = (flags & MCI_STATUS_START) ? 0 : msOfFrames(livePosition());
            return 0;
        case MCI_STATUS_LENGTH:
            parms->dwReturn = msOfFrames(length());
            return 0;
        case MCI_STATUS_MODE:
            parms->dwReturn = mode();
            return 0;
        case MCI_STATUS_TIME_FORMAT:
            parms->dwReturn = MCI_FORMAT_MILLISECONDS;
            return 0;
        case MCI_STATUS_READY:
        case MCI_STATUS_MEDIA_PRESENT:
        case MCI_STATUS_NUMBER_OF_TRACKS:
        case MCI_STATUS_CURRENT_TRACK:
            parms->dwReturn = 1;
            return 0;
        case MCI_WAVE_STATUS_DROPPED_BLOCKS:
            parms->dwReturn = quint32(droppedSoFar());
            return 0;
        default:
            return MCIERR_UNSUPPORTED_FUNCTION;
        }
    }

    static MCIERROR setRequest(quint32 flags, MCI_SET_PARMS* parms)
    {
        if (flags & (MCI_SET_DOOR_OPEN | MCI_SET_DOOR_CLOSED))
            return MCIERR_UNSUPPORTED_FUNCTION;
        if (flags & MCI_SET_TIME_FORMAT) {
            if (!parms)
                return MCIERR_NULL_PARAMETER_BLOCK;
            if (parms->dwTimeFormat != MCI_FORMAT_MILLISECONDS)
                return MCIERR_BAD_TIME_FORMAT;
        }
        return 0;
    }

    MCIERROR saveRequest(quint32 flags, MCI_SAVE_PARMS* parms)
    {
        if (!parms)
            return MCIERR_NULL_PARAMETER_BLOCK;
        if (!(flags & MCI_SAVE_FILE) || !parms->lpfilename || !*parms->lpfilename)
            return MCIERR_MISSING_PARAMETER;
        // Saving goes on beside a recording and keeps everything recorded so far.
        settle();
        mergeCaptured();
        awaitTails();
        const QString file = QString::fromUtf8(parms->lpfilename);
        if (!(native ? WaveFile::save(file, *native) : WaveFile::save(file, wave->data(), length())))
            return MCIERR_FILE_WRITE;
        return 0;
    }

    static MCIERROR capsRequest(quint32 flags, MCI_GETDEVCAPS_PARMS* parms)
    {
        DeviceRequests::Capabilities caps;
        caps.canPlay = true;
        caps.canRecord = true;
        caps.canSave = true;
        caps.usesFiles = true;
        caps.hasAudio = true;
        caps.compoundDevice = true;
        caps.deviceType = MCI_DEVTYPE_WAVEFORM_AUDIO;
        return DeviceRequests::answerCapabilities(caps, flags, parms);
    }
};

WaveAudioDevice::WaveAudioDevice(AudioOutput& output, AudioInput& input)
    : d(std::make_unique<Impl>(output, input))
{
}

WaveAudioDevice::~WaveAudioDevice() = default;

MCIERROR WaveAudioDevice::open(quint32 flags, MCI_OPEN_PARMS& parms)
{
    const bool named = (flags & MCI_OPEN_ELEMENT) && parms.lpstrElementName && *parms.lpstrElementName;
    if (!named)
        return 0; // a new, empty wave
    Samples samples;
    WaveFile::NativeWave native;
    switch (WaveFile::load(QString::fromUtf8(parms.lpstrElementName), samples, &native)) {
    case WaveFile::LoadResult::Loaded:
        break;
    case WaveFile::LoadResult::NotFound:
        return MCIERR_FILE_NOT_FOUND;
    case WaveFile::LoadResult::Unreadable:
        return MCIERR_FILE_READ;
    case WaveFile::LoadResult::NotAWave:
        return MCIERR_INVALID_FILE;
    }
    d->wave = std::make_shared<Samples>(std::move(samples));
    d->native = std::move(native);
    return 0;
}

MCIERROR WaveAudioDevice::command(quint32 command, quint32 flags, void* parms)
{
    switch (command) {
    case MCI_CLOSE:
        d->stopAll();
        d->tails.clear();
        return 0;
    case MCI_PLAY:
        return d->playRequest(flags, block<MCI_PLAY_PARMS>(parms));
    case MCI_RECORD:
        return d->recordRequest(flags, block<MCI_RECORD_PARMS>(parms));
    case MCI_PAUSE:
        return d->pauseRequest();
    case MCI_RESUME:
        return d->resumeRequest();
    case MCI_STOP:
        d->stopAll();
        return 0;
    case MCI_SEEK:
        return d->seekRequest(flags, block<MCI_SEEK_PARMS>(parms));
    case MCI_STATUS:
        return d->statusRequest(flags, block<MCI_STATUS_PARMS>(parms));
    case MCI_SET:
        return Impl::setRequest(flags, block<MCI_SET_PARMS>(parms));
    case MCI_SAVE:
        return d->saveRequest(flags, block<MCI_SAVE_PARMS>(parms));
    case MCI_GETDEVCAPS:
        return Impl::capsRequest(flags, block<MCI_GETDEVCAPS_PARMS>(parms));
    default:
        return MCIERR_UNRECOGNIZED_COMMAND;
    }
}

void registerWaveAudioDevice(AudioOutput& output, AudioInput& input)
{
    Mci::registerDeviceType(QStringLiteral("waveaudio"),
                            [&output, &input] { return std::make_unique<WaveAudioDevice>(output, input); });
}
