// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QtGlobal>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

/// CD sectors ("frames", 75 a second) hold 588 stereo sample frames of audio.
namespace CdAudio {
constexpr int SectorsPerSecond = 75;
constexpr int FramesPerSector = 588;
constexpr int SamplesPerSector = FramesPerSector * 2;
} // namespace CdAudio

/// One track of a disc's table of contents; sectors are counted from the start of the disc.
struct CdTrackInfo {
    int number = 0;
    qint32 start = 0;
    /// First sector after the track (the next track's start, or the lead-out).
    qint32 end = 0;
    bool audio = true;
};

struct CdToc {
    std::vector<CdTrackInfo> tracks;

    [[nodiscard]] const CdTrackInfo* track(int number) const;
    /// The track that holds `sector` (the first track for sectors before it).
    [[nodiscard]] const CdTrackInfo* trackAt(qint32 sector) const;
    [[nodiscard]] qint32 start() const { return tracks.empty() ? 0 : tracks.front().start; }
    [[nodiscard]] qint32 leadOut() const { return tracks.empty() ? 0 : tracks.back().end; }
};

/// Reads a disc's audio sector after sector. Used by one thread at a time.
class CdSectorReader {
public:
    virtual ~CdSectorReader() = default;
    /// Prepares reading from `sector`. False when the disc holds no audio that can be read.
    virtual bool startAudio(qint32 sector) = 0;
    /// Reads the next sector into `out` (CdAudio::SamplesPerSector samples, host order).
    /// May take long on a damaged disc (it retries); false when the sector cannot be read.
    virtual bool readAudioSector(std::int16_t* out) = 0;
};

/// A CD drive or a disc image opened through libcdio. Not thread-safe: each thread that
/// reads keeps a drive object of its own.
class CdDrive final : public CdSectorReader {
public:
    enum class OpenResult { Opened, NoDrive, SourceMissing, Unreadable };

    /// The drive or image named by SONAVEX_CDAUDIO; empty for the default drive.
    [[nodiscard]] static QString configuredSource();
    /// Opens `source` (a drive's device file, a .cue/.bin, .toc or .nrg image, or empty for the
    /// default drive). Returns nullptr and sets `result` on failure.
    [[nodiscard]] static std::unique_ptr<CdDrive> open(const QString& source, OpenResult& result);

    ~CdDrive() override;
    CdDrive(const CdDrive&) = delete;
    CdDrive& operator=(const CdDrive&) = delete;

    [[nodiscard]] bool isImage() const;
    /// What was opened: the image file or the drive's device file.
    [[nodiscard]] QString source() const;

    /// The disc's table of contents; nullopt without a disc.
    [[nodiscard]] std::optional<CdToc> readToc();
    /// True once after the disc was changed; always false for an image.
    [[nodiscard]] bool mediaChanged();
    /// 1 tray open, 0 closed, -1 unknown (and always 0 for an image).
    [[nodiscard]] int trayStatus();
    bool eject();
    bool closeTray();

    /// Digital reading of audio sectors with error correction.
    bool startAudio(qint32 sector) override;
    bool readAudioSector(std::int16_t* out) override;

private:
    struct Impl;
    explicit CdDrive(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> d;
};
