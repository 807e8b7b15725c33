// SPDX-License-Identifier: GPL-3.0-or-later
#include "SongLevels.h"

#include "AudioDecoder.h"
#include "AudioOutput.h"
#include "platform/AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include <pthread.h>
#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

constexpr int CacheVersion = 1;
// The thread sees that it must stop between pieces; at idle priority on a busy machine a
// piece may take a hundred times its own time, so they are kept short.
constexpr std::size_t ChunkFrames = 4096;

/// The measuring thread runs only when a core has nothing else to do, and reads the disk only
/// when nothing else does: a press, a playing song and the hot heads always go first.
void lowerPriority()
{
    sched_param none{};
    pthread_setschedparam(pthread_self(), SCHED_IDLE, &none);
    constexpr int IoprioWhoProcess = 1; // with id 0: the calling thread
    constexpr int IoprioClassIdle = 3;
    constexpr int IoprioClassShift = 13;
    syscall(SYS_ioprio_set, IoprioWhoProcess, 0, IoprioClassIdle << IoprioClassShift);
}

/// JSON has no infinities: a silent song's figures are stored as null.
QJsonValue number(double v)
{
    return std::isfinite(v) ? QJsonValue(v) : QJsonValue();
}

double numberOf(const QJsonValue& v)
{
    return v.isDouble() ? v.toDouble() : -std::numeric_limits<double>::infinity();
}

} // namespace

SongLevels::SongLevels(const QString& cacheFile)
    : m_cacheFile(cacheFile)
{
    load();
    m_thread = std::thread([this] { run(); });
}

SongLevels::~SongLevels()
{
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_wake.notify_all();
    // At idle priority on a busy machine it could take long to see that it must stop. Only a
    // privileged program may leave idle priority (RLIMIT_NICE): otherwise it ends its piece.
    sched_param none{};
    pthread_setschedparam(m_thread.native_handle(), SCHED_OTHER, &none);
    m_thread.join();
    save();
}

QString SongLevels::defaultCacheFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           QStringLiteral("/Sonavex/levels.json");
}

double SongLevels::gainDb(const Loudness& loudness)
{
    if (!std::isfinite(loudness.integratedLufs))
        return 0.0;
    double gain = std::min(TargetLufs - loudness.integratedLufs, MaxBoostDb);
    if (std::isfinite(loudness.truePeakDb))
        gain = std::min(gain, CeilingDbtp - loudness.truePeakDb);
    return gain;
}

void SongLevels::setEnabled(bool on)
{
    {
        std::lock_guard lock(m_mutex);
        exchangeLocked();
        if (on && !m_enabled)
            m_first.assign(m_hot.cbegin(), m_hot.cend()); // what was left when it went off
        m_enabled = on;
    }
    m_wake.notify_all();
}

bool SongLevels::enabled() const
{
    return m_enabled;
}

std::optional<Loudness> SongLevels::find(const QString& path) const
{
    const FileStamp now = FileStamp::of(path);
    std::lock_guard lock(m_mutex);
    const auto it = m_entries.constFind(path);
    if (it == m_entries.cend() || !now.valid() || !(it->stamp == now))
        return std::nullopt;
    return it->loudness;
}

double SongLevels::gainFor(const QString& path)
{
    if (!m_enabled)
        return 1.0;
    const FileStamp now = FileStamp::of(path);
    tryExchange();
    const auto it = m_seen.constFind(path);
    if (it != m_seen.cend() && now.valid() && it->stamp == now)
        return std::pow(10.0, gainDb(it->loudness) / 20.0);
    if (std::find(m_pendingAsked.cbegin(), m_pendingAsked.cend(), path) == m_pendingAsked.cend())
        m_pendingAsked.push_back(path);
    tryExchange();
    return 1.0;
}

void SongLevels::measureFirst(const QStringList& paths)
{
    m_pendingHot = paths;
    tryExchange();
}

void SongLevels::tryExchange()
{
    std::unique_lock lock(m_mutex, std::try_to_lock);
    if (!lock.owns_lock())
        return;
    const bool news = m_pendingHot || !m_pendingAsked.empty();
    exchangeLocked();
    lock.unlock();
    if (news)
        m_wake.notify_all();
}

void SongLevels::exchangeLocked()
{
    m_seen = m_entries;
    if (m_pendingHot) {
        m_hot = std::move(*m_pendingHot);
        m_pendingHot.reset();
        m_first.assign(m_hot.cbegin(), m_hot.cend());
    }
    for (QString& path : m_pendingAsked) {
        if (std::find(m_asked.cbegin(), m_asked.cend(), path) == m_asked.cend())
            m_asked.push_back(std::move(path));
    }
    m_pendingAsked.clear();
}

bool SongLevels::waitIdle(int msecs)
{
    std::unique_lock lock(m_mutex);
    exchangeLocked();
    m_wake.notify_all();
    return m_idle.wait_for(lock, std::chrono::milliseconds(msecs), [this] {
        return !m_busy && (!m_enabled || (m_first.empty() && m_asked.empty())) && !m_dirty;
    });
}

std::size_t SongLevels::measuredCount() const
{
    std::lock_guard lock(m_mutex);
    return m_measured;
}

bool SongLevels::takeNextLocked(QString& path)
{
    if (!m_enabled)
        return false;
    for (std::deque<QString>* queue : {&m_first, &m_asked}) {
        if (!queue->empty()) {
            path = queue->front();
            queue->pop_front();
            return true;
        }
    }
    return false;
}

void SongLevels::run()
{
    lowerPriority();
    for (;;) {
        QString path;
        bool saveNow = false;
        {
            std::unique_lock lock(m_mutex);
            for (;;) {
                if (m_quit)
                    return;
                if (takeNextLocked(path))
                    break;
                if (m_dirty) {
                    saveNow = true;
                    break;
                }
                m_busy = false;
                m_idle.notify_all();
                m_wake.wait(lock);
            }
            m_busy = true;
        }
        if (saveNow) {
            save();
            continue;
        }

        const FileStamp stamp = FileStamp::of(path);
        if (!stamp.valid())
            continue; // missing: the press says so
        {
            std::lock_guard lock(m_mutex);
            const auto known = m_entries.constFind(path);
            const auto failed = m_failed.constFind(path);
            if ((known != m_entries.cend() && known->stamp == stamp) ||
                (failed != m_failed.cend() && *failed == stamp))
                continue;
        }
        const std::optional<Loudness> loudness = measure(path);
        std::lock_guard lock(m_mutex);
        if (loudness) {
            m_entries.insert(path, Entry{stamp, *loudness});
            m_failed.remove(path);
            m_dirty = true;
            ++m_measured;
        } else if (!m_quit && m_enabled) {
            m_failed.insert(path, stamp); // not tried again until the file changes
        }
    }
}

std::optional<Loudness> SongLevels::measure(const QString& path)
{
    try {
        const std::unique_ptr<AudioDecoder> decoder = openAudioDecoder(path);
        LoudnessMeter meter;
        std::vector<std::int16_t> chunk(ChunkFrames * Pcm::Channels);
        for (;;) {
            if (m_quit || !m_enabled)
                return std::nullopt; // measured again when it is asked for again
            const std::size_t got = decoder->read(chunk.data(), ChunkFrames);
            if (got == 0)
                break;
            meter.add(chunk.data(), got);
        }
        return meter.result();
    } catch (...) {
        return std::nullopt; // it shows its error when it is pressed
    }
}

void SongLevels::load()
{
    if (m_cacheFile.isEmpty())
        return;
    const QFileInfo info(m_cacheFile);
    if (!info.exists() && !info.isSymLink())
        return; // none yet
    // Anything but a file (a folder, a pipe that would block the start) is not read.
    QFile file(m_cacheFile);
    if (!info.isFile()) {
        noteCacheProblem(QStringLiteral("read"), QStringLiteral("it is not a file"));
        return;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        noteCacheProblem(QStringLiteral("read"), file.errorString());
        return;
    }
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll());
    const QJsonObject top = doc.object();
    if (top.value(QLatin1String("version")).toInt() != CacheVersion)
        return; // damaged or of another kind: measured anew
    const QJsonArray songs = top.value(QLatin1String("songs")).toArray();
    for (const QJsonValue& v : songs) {
        const QJsonObject song = v.toObject();
        const QString path = song.value(QLatin1String("path")).toString();
        const QJsonValue size = song.value(QLatin1String("size"));
        const QJsonValue modified = song.value(QLatin1String("modified"));
        if (path.isEmpty() || !size.isString() || !modified.isString())
            continue;
        bool sizeOk = false;
        bool modifiedOk = false;
        Entry entry;
        entry.stamp.size = size.toString().toLongLong(&sizeOk);
        entry.stamp.modifiedNs = modified.toString().toLongLong(&modifiedOk);
        entry.loudness.integratedLufs = numberOf(song.value(QLatin1String("lufs")));
        entry.loudness.truePeakDb = numberOf(song.value(QLatin1String("peak")));
        if (sizeOk && modifiedOk && entry.stamp.valid())
            m_entries.insert(path, entry);
    }
}

bool SongLevels::save()
{
    QHash<QString, Entry> entries;
    {
        // Only a shared copy is taken under the lock: a press looks songs up under it.
        std::lock_guard lock(m_mutex);
        if (!m_dirty)
            return true;
        m_dirty = false;
        entries = m_entries;
    }
    if (m_cacheFile.isEmpty())
        return true;
    QJsonArray songs;
    // The copy shares the measuring thread's table and goes before its next insert: no deep copy.
    for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
        // Sizes and nanosecond times are kept as text: a JSON number loses digits past 2^53.
        songs.append(QJsonObject{{QStringLiteral("path"), it.key()},
                                 {QStringLiteral("size"), QString::number(it->stamp.size)},
                                 {QStringLiteral("modified"), QString::number(it->stamp.modifiedNs)},
                                 {QStringLiteral("lufs"), number(it->loudness.integratedLufs)},
                                 {QStringLiteral("peak"), number(it->loudness.truePeakDb)}});
    }
    const QJsonObject top{{QStringLiteral("version"), CacheVersion}, {QStringLiteral("songs"), songs}};
    // A cache that cannot be written costs only a measurement next run.
    QDir().mkpath(QFileInfo(m_cacheFile).absolutePath());
    AtomicFileWriter writer;
    if (writer.replace(m_cacheFile, QJsonDocument(top).toJson(QJsonDocument::Compact)))
        return true;
    noteCacheProblem(QStringLiteral("written"), writer.errorString());
    return false;
}

void SongLevels::noteCacheProblem(const QString& what, const QString& reason)
{
    std::lock_guard lock(m_problemMutex);
    if (m_cacheProblem.isEmpty())
        m_cacheProblem =
            QStringLiteral("The level cache %1 cannot be %2 (%3): songs are measured again in each "
                           "run.")
                .arg(QDir::toNativeSeparators(m_cacheFile), what, reason);
}

QString SongLevels::cacheProblem() const
{
    std::lock_guard lock(m_problemMutex);
    return m_cacheProblem;
}
