// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// audio/: how a song becomes sound. The output and input interfaces (this header), the
// audio server engine behind them, the decoders, the decoding thread with its hot cache and
// streaming sources, and the media player the main window plays files through. It uses
// platform/ for errors, guards and thread scheduling, and Qt Core only: it knows no window.

#include <QObject>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>

/// PCM inside the program is interleaved signed 16-bit stereo at 44.1 kHz.
namespace Pcm {
constexpr int SampleRate = 44100;
constexpr int Channels = 2;
constexpr int BytesPerFrame = Channels * 2;
} // namespace Pcm

/// Supplies sound to an output stream. `read` runs on the audio thread and must not block for long.
class PcmSource {
public:
    virtual ~PcmSource() = default;
    /// Writes up to `frames` frames into `out` and returns how many it wrote; 0 means the end
    /// unless `exhausted()` answers false.
    virtual std::size_t read(std::int16_t* out, std::size_t frames) = 0;
    /// Asked after a read of 0 frames: false when the source only fell behind (its producer
    /// will catch up) and the output should ask again shortly.
    [[nodiscard]] virtual bool exhausted() const { return true; }
};

/// One stream being played. Destroying it stops it at once.
class OutputStream : public QObject {
    Q_OBJECT
public:
    ~OutputStream() override = default;
    virtual void pause() = 0;
    virtual void resume() = 0;
    /// Stops without a `finished` signal.
    virtual void stop() = 0;
    [[nodiscard]] virtual bool isPaused() const = 0;
    /// Frames heard so far (as played out, not as read from the source).
    [[nodiscard]] virtual std::int64_t framesPlayed() const = 0;
    /// Linear gain 0..16 (above 1 a song is raised); changes are ramped over a few milliseconds.
    virtual void setGain(double gain) = 0;
    /// The board's own scaling on top of the gain (master level, ducking): linear, 1 at the
    /// start; reached over `rampSeconds`, or as fast as `setGain` when 0.
    virtual void setMixGain(double gain, double rampSeconds)
    {
        Q_UNUSED(gain);
        Q_UNUSED(rampSeconds);
    }

Q_SIGNALS:
    /// On the GUI thread, once, after the source ended and its last frame was played.
    void finished();
    /// On the GUI thread, once, instead of `finished`, when the sound server went away mid-stream.
    void failed(const QString& reason);
};

/// The sound output of the machine.
class AudioOutput {
public:
    virtual ~AudioOutput() = default;
    /// Starts `source` at once. Raises NoAudioOutput("No audio output: ...") without a server.
    virtual std::unique_ptr<OutputStream> start(std::shared_ptr<PcmSource> source) = 0;
    /// As `start`, with the stream's gain set before its first frame is heard.
    virtual std::unique_ptr<OutputStream> startWithGain(std::shared_ptr<PcmSource> source, double gain)
    {
        auto stream = start(std::move(source));
        stream->setGain(gain);
        return stream;
    }
    /// As `startWithGain`, with the mix gain (see OutputStream::setMixGain) set as well.
    virtual std::unique_ptr<OutputStream> startMixed(std::shared_ptr<PcmSource> source, double gain,
                                                     double mixGain)
    {
        auto stream = startWithGain(std::move(source), gain);
        if (mixGain != 1.0)
            stream->setMixGain(mixGain, 0.0);
        return stream;
    }
};

/// Receives recorded sound on the audio thread.
class PcmSink {
public:
    virtual ~PcmSink() = default;
    virtual void write(const std::int16_t* in, std::size_t frames) = 0;
    /// After `InputStream::finish`: the last frame of the take has been written. Runs once, on
    /// the audio thread or within `finish` itself; never after `stop`.
    virtual void ended() {}
};

/// One recording in progress (a take). Destroying it stops it.
class InputStream : public QObject {
    Q_OBJECT
public:
    ~InputStream() override = default;
    /// Ends the take at once: what the server still holds of it is lost.
    virtual void stop() = 0;
    /// Ends the take at this moment without waiting: what the server has captured but not yet
    /// delivered still comes, and `PcmSink::ended` follows the last of it. Returns the take's
    /// whole length in frames, delivered or still to come.
    virtual std::int64_t finish() = 0;
    /// Blocks of this take that the server dropped (each kept as silence of its length).
    [[nodiscard]] virtual int droppedBlocks() const { return 0; }
};

/// The sound input of the machine (the default source).
class AudioInput {
public:
    virtual ~AudioInput() = default;
    /// Starts a take. Raises DeviceError("No audio input: ...") without a server.
    virtual std::unique_ptr<InputStream> startCapture(std::shared_ptr<PcmSink> sink) = 0;
    /// Counted: while held, the input keeps a capture open and running, so that a take starts
    /// with the call that starts it instead of when the server has opened a capture for it.
    virtual void holdReady(bool hold) { (void)hold; }
};
