// SPDX-License-Identifier: GPL-3.0-or-later
#include "CdDrive.h"

#include <QFileInfo>

#include <cdio/cdio.h>
#include <cdio/logging.h>
#include <cdio/mmc.h>
#include <cdio/mmc_hl_cmds.h>
#include <cdio/paranoia/cdda.h>
#include <cdio/paranoia/paranoia.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <sys/stat.h>

namespace {

/// libcdio writes its complaints to stderr; the program reports failures itself.
void quietLog(cdio_log_level_t, const char*) {}

void installQuietLog()
{
    static std::once_flag once;
    std::call_once(once, [] { cdio_log_set_handler(quietLog); });
}

void ignoreProgress(long, paranoia_cb_mode_t) {}

/// Whether the kernel says it has no CD drive: every drive it knows is listed under its CD
/// layer's settings, which exist only while there is one. libcdio's own search looks at a
/// hundred device names before it says the same. False when the kernel's settings cannot be
/// seen at all (no /proc): then libcdio searches.
bool kernelHasNoCdDrive()
{
    return QFileInfo::exists(QStringLiteral("/proc/sys/dev")) &&
           !QFileInfo::exists(QStringLiteral("/proc/sys/dev/cdrom/info"));
}

/// Retries of one sector before paranoia gives up on it and moves on.
constexpr int MaxSectorRetries = 20;

driver_id_t imageDriver(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("cue") || suffix == QLatin1String("bin"))
        return DRIVER_BINCUE;
    if (suffix == QLatin1String("toc"))
        return DRIVER_CDRDAO;
    if (suffix == QLatin1String("nrg"))
        return DRIVER_NRG;
    return DRIVER_UNKNOWN;
}

} // namespace

const CdTrackInfo* CdToc::track(int number) const
{
    for (const CdTrackInfo& t : tracks) {
        if (t.number == number)
            return &t;
    }
    return nullptr;
}

const CdTrackInfo* CdToc::trackAt(qint32 sector) const
{
    const CdTrackInfo* found = tracks.empty() ? nullptr : &tracks.front();
    for (const CdTrackInfo& t : tracks) {
        if (t.start <= sector)
            found = &t;
    }
    return found;
}

struct CdDrive::Impl {
    CdIo_t* cdio = nullptr;
    bool image = false;
    bool binCue = false;
    QString source;
    cdrom_drive_t* cdda = nullptr;
    cdrom_paranoia_t* paranoia = nullptr;

    void closeAudio()
    {
        if (paranoia)
            cdio_paranoia_free(paranoia);
        paranoia = nullptr;
        if (cdda)
            cdio_cddap_close_no_free_cdio(cdda);
        cdda = nullptr;
    }

    ~Impl()
    {
        closeAudio();
        if (cdio)
            cdio_destroy(cdio);
    }
};

QString CdDrive::configuredSource()
{
    return qEnvironmentVariable("SONAVEX_CDAUDIO");
}

std::unique_ptr<CdDrive> CdDrive::open(const QString& source, OpenResult& result)
{
    installQuietLog();
    auto impl = std::make_unique<Impl>();
    if (source.isEmpty()) {
        if (kernelHasNoCdDrive()) {
            result = OpenResult::NoDrive;
            return nullptr;
        }
        driver_id_t driver = DRIVER_DEVICE;
        char* device = cdio_get_default_device_driver(&driver);
        if (device) {
            impl->source = QString::fromLocal8Bit(device);
            impl->cdio = cdio_open(device, driver);
            std::free(device);
        }
        if (!impl->cdio) {
            result = OpenResult::NoDrive;
            return nullptr;
        }
    } else {
        const QFileInfo info(source);
        if (!info.exists()) {
            result = OpenResult::SourceMissing;
            return nullptr;
        }
        const QByteArray path = QFile::encodeName(source);
        impl->source = source;
        impl->image = info.isFile();
        if (impl->image) {
            const driver_id_t driver = imageDriver(source);
            impl->binCue = driver == DRIVER_BINCUE;
            impl->cdio = cdio_open(path.constData(), driver);
            if (!impl->cdio) {
                result = OpenResult::Unreadable;
                return nullptr;
            }
        } else {
            // Only a block device can be a CD drive; anything else would open and show no disc.
            struct stat st {};
            if (::stat(path.constData(), &st) != 0 || !S_ISBLK(st.st_mode)) {
                result = OpenResult::NoDrive;
                return nullptr;
            }
            impl->cdio = cdio_open(path.constData(), DRIVER_DEVICE);
            if (!impl->cdio) {
                result = OpenResult::NoDrive;
                return nullptr;
            }
        }
    }
    result = OpenResult::Opened;
    return std::unique_ptr<CdDrive>(new CdDrive(std::move(impl)));
}

CdDrive::CdDrive(std::unique_ptr<Impl> impl)
    : d(std::move(impl))
{
}

CdDrive::~CdDrive() = default;

bool CdDrive::isImage() const
{
    return d->image;
}

QString CdDrive::source() const
{
    return d->source;
}

std::optional<CdToc> CdDrive::readToc()
{
    const track_t first = cdio_get_first_track_num(d->cdio);
    const track_t count = cdio_get_num_tracks(d->cdio);
    if (first == CDIO_INVALID_TRACK || count == CDIO_INVALID_TRACK || count == 0)
        return std::nullopt;
    CdToc toc;
    for (int i = first; i < first + count; ++i) {
        const auto number = track_t(i);
        CdTrackInfo t;
        t.number = i;
        t.start = cdio_get_track_lsn(d->cdio, number);
        const track_t next = i + 1 < first + count ? track_t(i + 1) : track_t(CDIO_CDROM_LEADOUT_TRACK);
        t.end = cdio_get_track_lsn(d->cdio, next);
        t.audio = cdio_get_track_format(d->cdio, number) == TRACK_FORMAT_AUDIO;
        if (t.start == CDIO_INVALID_LSN || t.end == CDIO_INVALID_LSN || t.end < t.start)
            return std::nullopt;
        toc.tracks.push_back(t);
    }
    return toc;
}

bool CdDrive::mediaChanged()
{
    return !d->image && cdio_get_media_changed(d->cdio) == 1;
}

int CdDrive::trayStatus()
{
    if (d->image)
        return 0;
    const int status = mmc_get_tray_status(d->cdio);
    return status == 0 || status == 1 ? status : -1;
}

bool CdDrive::eject()
{
    if (d->image)
        return false;
    d->closeAudio();
    return mmc_eject_media(d->cdio) == DRIVER_OP_SUCCESS;
}

bool CdDrive::closeTray()
{
    if (d->image)
        return false;
    return mmc_close_tray(d->cdio) == DRIVER_OP_SUCCESS;
}

bool CdDrive::startAudio(qint32 sector)
{
    if (!d->paranoia) {
        d->cdda = cdio_cddap_identify_cdio(d->cdio, CDDA_MESSAGE_FORGETIT, nullptr);
        if (!d->cdda)
            return false;
        // A BIN/CUE image holds its samples little-endian; drives and other images have
        // their byte order guessed from the sound.
        if (d->binCue)
            d->cdda->bigendianp = 0;
        if (cdio_cddap_open(d->cdda) != 0) {
            d->closeAudio();
            return false;
        }
        d->paranoia = cdio_paranoia_init(d->cdda);
        if (!d->paranoia) {
            d->closeAudio();
            return false;
        }
        cdio_paranoia_modeset(d->paranoia, PARANOIA_MODE_FULL ^ PARANOIA_MODE_NEVERSKIP);
    }
    cdio_paranoia_seek(d->paranoia, sector, SEEK_SET);
    return true;
}

bool CdDrive::readAudioSector(std::int16_t* out)
{
    if (!d->paranoia)
        return false;
    const std::int16_t* data = cdio_paranoia_read_limited(d->paranoia, ignoreProgress, MaxSectorRetries);
    if (!data)
        return false;
    std::memcpy(out, data, sizeof(std::int16_t) * CdAudio::SamplesPerSector);
    return true;
}
