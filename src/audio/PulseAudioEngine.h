// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "AudioOutput.h"
#include "OutputDevices.h"

#include <QString>

#include <functional>

#include <memory>

/// The machine's sound output and input through the audio server: one connection for the
/// process, on the chosen sink (the default one unless another was chosen) and the default source. A playback
/// stream is kept open and corked ahead, so a start is an uncork and a write. When the server goes away the
/// engine keeps running, starts raise DeviceError, and it connects again by itself once the server is back.
/// The engine must outlive every stream it started.
/// A chosen sink that is missing is not an error: songs play on the default sink meanwhile,
/// unless the engine plays on its chosen sink only.
class PulseAudioEngine : public AudioOutput, public AudioInput, public OutputDevices {
public:
    enum class Routing {
        FollowDefault, ///< the chosen sink, or the default one while it is missing or none is chosen
        /// The chosen sink and no other: with none chosen or the chosen one missing a start raises
        /// NoAudioOutput, and a stream whose sink goes away fails instead of moving elsewhere.
        ChosenOnly,
    };

    /// `server` empty: the default server of the session.
    explicit PulseAudioEngine(const QString& clientName = QStringLiteral("Sonavex"),
                              const QString& server = {}, Routing routing = Routing::FollowDefault);
    ~PulseAudioEngine() override;
    PulseAudioEngine(const PulseAudioEngine&) = delete;
    PulseAudioEngine& operator=(const PulseAudioEngine&) = delete;

    std::unique_ptr<OutputStream> start(std::shared_ptr<PcmSource> source) override;
    std::unique_ptr<OutputStream> startWithGain(std::shared_ptr<PcmSource> source, double gain) override;
    std::unique_ptr<OutputStream> startMixed(std::shared_ptr<PcmSource> source, double gain,
                                             double mixGain) override;
    std::unique_ptr<InputStream> startCapture(std::shared_ptr<PcmSink> sink) override;
    void holdReady(bool hold) override;

    QList<Device> outputDevices() override;
    void setOutputDevice(const QString& name) override;
    [[nodiscard]] QString outputDevice() const override;
    void setOutputMissingHandler(std::function<void(const QString& output, bool missing)> handler) override;
    void setServerLostHandler(std::function<void(const QString& message)> handler) override;

    [[nodiscard]] bool isConnected() const;
    /// Waits up to `msecs` for the connection to the server; true when it is up.
    bool waitConnected(int msecs);
    /// An output on the sink `sink` (empty: the one the show plays on) of this connection: on
    /// its channels `firstChannel` (counted from 1) and the next when `channelCount` is 2, or on
    /// that one channel with the song's two sides mixed; 0: the sink's own stereo. The sound is
    /// put on those channels and mixed onto no other. While the sink or the channels are not
    /// there, songs play on the show's output, and a song whose sink goes moves there; the
    /// handler hears of it (on the GUI thread) once when found missing and once when back. It
    /// must go before the engine, and its streams before it.
    [[nodiscard]] std::unique_ptr<AudioOutput>
    routeOutput(const QString& sink, int firstChannel, int channelCount,
                std::function<void(const QString& message, bool missing)> missingHandler);
    /// The highest sample level (1 = full scale) sent to the server since the last call.
    [[nodiscard]] double takePeak();
    /// How often a playing stream ran dry before its end (a dropout heard), since the start.
    [[nodiscard]] int underflowCount() const;

    struct Impl;

private:
    std::unique_ptr<Impl> d;
};
