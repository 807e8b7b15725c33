// SPDX-License-Identifier: GPL-3.0-or-later
#include "ShowDigest.h"

#include "platform/Guard.h"
#include "songs/ButtonSettings.h"
#include "songs/SongStruc.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

constexpr qint64 SampleBytes = 16 * 1024;

QByteArray sampleOf(const QString& path, qint64 size)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(file.read(SampleBytes));
    if (size > SampleBytes && file.seek(std::max(SampleBytes, size - SampleBytes)))
        hash.addData(file.read(SampleBytes));
    return hash.result();
}

} // namespace

/// What the digest's thread and the object share: the object may end first.
struct ShowDigest::Shared {
    std::mutex mutex;
    std::condition_variable finished;
    bool running = false;
    ShowDigest* owner = nullptr;
    Samples samples; ///< used by one thread at a time
};

ShowDigest::ShowDigest(const TSongInfo& songs, QObject* parent)
    : QObject(parent)
    , m_songs(songs)
    , m_shared(std::make_shared<Shared>())
{
    m_shared->owner = this;
}

ShowDigest::~ShowDigest()
{
    std::unique_lock lock(m_shared->mutex);
    m_shared->owner = nullptr;
    // A digest that reads on is waited for a while, so that it does not outlive the program's
    // end as it is taken down; a drive that does not answer is not waited for longer.
    m_shared->finished.wait_for(lock, std::chrono::seconds(2), [this] { return !m_shared->running; });
}

void ShowDigest::request()
{
    if (m_running) {
        m_again = true;
        return;
    }
    start();
}

void ShowDigest::start()
{
    m_running = true;
    m_again = false;
    {
        const std::lock_guard lock(m_shared->mutex);
        m_shared->running = true;
    }
    // Detached: at the end a drive that does not answer holds the board up two seconds at most.
    std::thread([shared = m_shared, slots = slotsOf(m_songs)] {
        Samples samples;
        {
            const std::lock_guard lock(shared->mutex);
            samples = shared->samples;
        }
        const QStringList digest = of(slots, samples);
        const std::lock_guard lock(shared->mutex);
        shared->samples = std::move(samples);
        shared->running = false;
        shared->finished.notify_all();
        if (ShowDigest* owner = shared->owner)
            QMetaObject::invokeMethod(
                owner,
                [owner, digest] {
                    guard([&] {
                        owner->m_running = false;
                        Q_EMIT owner->digestTaken(digest);
                        if (owner->m_again)
                            owner->start();
                    });
                },
                Qt::QueuedConnection);
    }).detach();
}

QList<ShowDigest::Slot> ShowDigest::slotsOf(const TSongInfo& songs)
{
    QList<Slot> slots;
    slots.reserve(SheetCount * SlotCount);
    for (int sheet = 0; sheet < SheetCount; ++sheet) {
        for (int slot = 0; slot < SlotCount; ++slot) {
            TSongRecord rec;
            if (!songs.GetSong(sheet, slot, rec)) {
                slots.append(Slot{});
                continue;
            }
            const SongTexts texts = songs.texts(sheet, slot);
            QStringList parts{texts.Artist, texts.Album, texts.Title, QFileInfo(texts.FileName).fileName()};
            for (const auto* time : {&rec.StartTime, &rec.StopTime, &rec.FadeStart, &rec.FadeDuration})
                parts << time->str();
            SlotsFile::Keys keys;
            songs.buttonSettings(sheet, slot).writeTo(keys);
            for (const auto& [key, value] : std::as_const(keys))
                parts << key + QLatin1Char('=') + value;
            slots.append({parts.join(QLatin1Char('\n')).toUtf8(), songs.playPath(texts.FileName)});
        }
    }
    return slots;
}

QStringList ShowDigest::of(const QList<Slot>& slots, Samples& samples)
{
    QStringList digests;
    digests.reserve(slots.size());
    for (const Slot& slot : slots) {
        if (slot.record.isEmpty()) {
            digests << QStringLiteral("-");
            continue;
        }
        QCryptographicHash hash(QCryptographicHash::Sha256);
        hash.addData(slot.record);
        const QFileInfo info(slot.file);
        if (info.isFile()) {
            FileSample& sample = samples[slot.file];
            const qint64 modified = info.lastModified().toMSecsSinceEpoch();
            if (sample.size != info.size() || sample.modified != modified)
                sample = {info.size(), modified, sampleOf(slot.file, info.size())};
            hash.addData(QByteArray::number(sample.size));
            hash.addData(sample.content);
        } else {
            hash.addData(QByteArrayView("missing"));
        }
        digests << QString::fromLatin1(hash.result().toHex().left(12));
    }
    return digests;
}

QStringList ShowDigest::of(const TSongInfo& songs)
{
    Samples samples;
    return of(slotsOf(songs), samples);
}

QList<int> ShowDigest::differing(const QStringList& here, const QStringList& there)
{
    QList<int> slots;
    for (int i = 0; i < SheetCount * SlotCount; ++i)
        if (i >= here.size() || i >= there.size() || here[i] != there[i])
            slots << i;
    return slots;
}

QString ShowDigest::slotsText(const QList<int>& slots, qsizetype total, int listed)
{
    total = std::max(total, slots.size());
    QStringList parts;
    for (qsizetype i = 0; i < slots.size() && i < listed; ++i)
        parts << QStringLiteral("sheet %1 button %2")
                     .arg(slots[i] / SlotCount + 1)
                     .arg(slots[i] % SlotCount + 1);
    if (total > listed)
        parts << QStringLiteral("and %1 more").arg(total - std::min<qsizetype>(listed, slots.size()));
    return parts.join(QStringLiteral(", "));
}
