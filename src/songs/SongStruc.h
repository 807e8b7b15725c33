// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "songs/ButtonSettings.h"
#include "songs/SlotsFile.h"
#include "songs/SongLocator.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QtEndian>

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>

class AtomicFileWriter;
class Dialogs;
class Registry;

/// A length-prefixed string of capacity N: one length byte, then N bytes of
/// Windows-1252 text of which the first `length` count.
template <int N> struct ShortString {
    std::uint8_t length;
    char chars[N];

    [[nodiscard]] QString str() const;
    /// Stores `text`, cut to N characters.
    void set(const QString& text);
};

#pragma pack(push, 1)
/// One song slot: the same 416-byte image in memory and in the info file.
struct TSongRecord {
    ShortString<40> Artist;
    ShortString<40> Album;
    ShortString<40> Title;
    ShortString<255> FileName;
    ShortString<6> StartTime;
    ShortString<6> StopTime;
    ShortString<6> FadeStart;
    ShortString<6> FadeDuration;
    std::uint8_t pad;
    qint32_le Sheet;
    qint32_le Slot;
};
#pragma pack(pop)

static_assert(sizeof(TSongRecord) == 416);
static_assert(offsetof(TSongRecord, Artist) == 0);
static_assert(offsetof(TSongRecord, Album) == 41);
static_assert(offsetof(TSongRecord, Title) == 82);
static_assert(offsetof(TSongRecord, FileName) == 123);
static_assert(offsetof(TSongRecord, StartTime) == 379);
static_assert(offsetof(TSongRecord, StopTime) == 386);
static_assert(offsetof(TSongRecord, FadeStart) == 393);
static_assert(offsetof(TSongRecord, FadeDuration) == 400);
static_assert(offsetof(TSongRecord, Sheet) == 408);
static_assert(offsetof(TSongRecord, Slot) == 412);

/// Fills `Rec` with the defaults: "New Artist", "New Album", "<empty>", no file,
/// "00:00" four times, sheet 0, slot 0. Unused bytes are zero.
void InitSongRecord(TSongRecord& Rec);

/// A song's texts in full, in any script and of any length; the record holds the nearest
/// text it can of each (see standIn) and the song file's companion the rest.
struct SongTexts {
    QString Artist;
    QString Album;
    QString Title;
    QString FileName;
    friend bool operator==(const SongTexts&, const SongTexts&) = default;
};

/// The text of a free slot.
inline const QString EmptyTitle = QStringLiteral("<empty>");

constexpr int SheetCount = 10;
constexpr int SlotCount = 36;

/// All songs of the ten sheets. Loads the info file when built, saves it when destroyed;
/// every other change lives in memory. Callers only ever receive copies.
class TSongInfo {
    struct SlotData;

public:
    /// Everything a slot holds (record, texts in full, companion entries), kept to be put back
    /// as it was; nothing for a free slot.
    class SlotContent {
    public:
        [[nodiscard]] bool filled() const { return m_data != nullptr; }
        /// Both hold the same (or both nothing).
        friend bool operator==(const SlotContent& a, const SlotContent& b);

    private:
        friend class TSongInfo;
        std::shared_ptr<const SlotData> m_data;
    };

    /// Now: the constructor reads the info file. Later: it does not touch the file's drive at
    /// all; readFile on another thread and takeFile bring the songs in.
    enum class Load { Now, Later };
    /// What readFile found.
    struct FileContent {
        enum class Kind { FolderMissing, Missing, Failed, Read } kind = Kind::Missing;
        QString folder; ///< the folder the file really lives in (links followed)
        QByteArray data;
        QString reason; ///< why it failed
        /// The companion of the file (SlotsFile), beside the file it really is.
        QString slotsPath;
        Kind slotsKind = Kind::Missing;
        QByteArray slotsData;
        QString slotsReason;
    };

    TSongInfo(Registry& registry, Dialogs& dialogs, Load load = Load::Now);
    /// The same, with the writer that replaces the info file (tests make it fail).
    TSongInfo(Registry& registry, Dialogs& dialogs, std::unique_ptr<AtomicFileWriter> writer,
              Load load = Load::Now);
    ~TSongInfo();

    TSongInfo(const TSongInfo&) = delete;
    TSongInfo& operator=(const TSongInfo&) = delete;

    /// Copies all 416 bytes of `Rec` into (Sheet, Slot); its own Sheet/Slot fields are kept as passed.
    /// A text the slot held in full stays so while its record's text is not changed.
    void SetSong(int Sheet, int Slot, const TSongRecord& Rec);
    /// The same with the texts in full: `Rec`'s artist, album, title and file name become the
    /// nearest texts a record can hold of them.
    void SetSong(int Sheet, int Slot, TSongRecord Rec, const SongTexts& Texts);
    /// The texts in full of a filled slot; those of the record where it holds them whole.
    /// Empty texts for a free slot.
    [[nodiscard]] SongTexts texts(int Sheet, int Slot) const;
    /// The file name in full: what a press plays and the queue holds. Empty for a free slot.
    [[nodiscard]] QString fileName(int Sheet, int Slot) const;
    /// The title in full, or "<empty>" for a free slot.
    [[nodiscard]] QString title(int Sheet, int Slot) const;
    /// True and a copy in `Rec` when the slot is filled; false and `Rec` untouched otherwise.
    bool GetSong(int Sheet, int Slot, TSongRecord& Rec) const;
    void ClearSong(int Sheet, int Slot);
    /// A copy of the slot's record, or the default record (sheet 0, slot 0) for a free slot.
    [[nodiscard]] TSongRecord GetSongOrDefault(int Sheet, int Slot) const;
    /// How the slot's button plays its song (kept in the companion); the defaults for a free slot.
    [[nodiscard]] ButtonSettings buttonSettings(int Sheet, int Slot) const;
    /// Stores how a filled slot's button plays; a free slot keeps nothing.
    void setButtonSettings(int Sheet, int Slot, const ButtonSettings& Settings);
    /// Swaps the two slots' contents; the records get their new Sheet, their Slot stays.
    void ExchangeSongs(int SheetA, int SlotA, int SheetB, int SlotB);
    /// A copy of all the slot holds, for restoreSlot.
    [[nodiscard]] SlotContent slotContent(int Sheet, int Slot) const;
    /// Makes the slot hold exactly what `Content` kept (free when it kept nothing).
    void restoreSlot(int Sheet, int Slot, const SlotContent& Content);

    /// The path a stored `FileName` plays from: where the song was found below the info
    /// file's folder when it is not where it was stored, the stored path otherwise.
    /// Looked up when the path enters the store, so asking costs nothing.
    [[nodiscard]] QString playPath(const QString& FileName) const;
    /// How a stored `FileName` was found; an empty path when it plays as stored.
    [[nodiscard]] SongLocator::Found found(const QString& FileName) const;
    /// For a song that is neither where it was stored nor found: " (not found within the first
    /// 5,000 files of <folder>)" when the search stopped at its bound before reading all of the
    /// folder; empty otherwise.
    [[nodiscard]] QString notFoundNote(const QString& FileName) const;
    /// The songs of `Sheet` that play from a found path.
    [[nodiscard]] int foundCount(int Sheet) const;
    /// Stores the found paths as the file names of the songs of `Sheet`.
    void useFoundPaths(int Sheet);

    [[nodiscard]] const QString& infoPath() const { return InfoPath; }
    /// Reads the info file `infoPath`; safe on any thread, touches nothing but the file system.
    [[nodiscard]] static FileContent readFile(const QString& infoPath);
    /// Brings in what readFile found: the records go to the slots still free. Says what is
    /// wrong with the file in a message box, or, when `inBox` is false, returns it instead.
    QString takeFile(const FileContent& content, bool inBox = true);
    /// Saves the songs to a new rescue file instead of the info file, whose drive does not
    /// answer, and says where; the store is then not saved again when it ends.
    void saveToRescueFile();
    /// The store ends without saving: a look at the show that changes nothing (from a shell,
    /// while the board itself may hold the file).
    void leaveFileAsIs() { m_saved = true; }
    /// Whether the info file was read (or found missing) yet.
    [[nodiscard]] bool fileTaken() const { return m_taken; }
    /// Where the damaged original was kept at load, empty when the file was sound.
    [[nodiscard]] const QString& damagedCopy() const { return m_damagedCopy; }
    /// The song file's companion, beside the file it really is.
    [[nodiscard]] QString slotsPath() const;
    /// What the load could not use of the companion and where the file was kept aside; empty
    /// when every entry was used. News of the start: the status bar says it once, the About box
    /// keeps it.
    [[nodiscard]] const QString& unusedSlotsNote() const { return m_unusedSlotsNote; }

    /// The song file and its companion as a save would write them, with each stored file name
    /// that `renamed` holds replaced by its new name (in the record as near as it can hold it,
    /// in full in the companion). The store itself stays as it is.
    [[nodiscard]] std::pair<QByteArray, QByteArray>
    imagesRenamed(const QHash<QString, QString>& renamed) const;

    /// Where the info file lives when the registry names none.
    [[nodiscard]] static QString defaultInfoPath();

private:
    /// A slot's record with what it holds beyond it: each text in full where the record's is
    /// not the whole of it (empty otherwise), and the companion's keys this version does not know.
    struct SlotData {
        TSongRecord rec;
        SongTexts full;
        SlotsFile::Keys more;
    };

    using Slots = std::array<std::unique_ptr<SlotData>, SheetCount * SlotCount>;

    void LoadFromFile();
    void SaveToFile();
    /// Gives the slots filled from the file their texts in full from the companion, where its
    /// entry still belongs to the record; says what is wrong with the companion, if anything.
    QString takeSlots(const FileContent& content, const QSet<std::size_t>& fromFile);
    [[nodiscard]] QByteArray songData() const { return songDataOf(Songs); }
    /// The companion's text; empty when no slot holds anything beyond its record.
    [[nodiscard]] QByteArray slotsData() const { return slotsDataOf(Songs); }
    [[nodiscard]] static QByteArray songDataOf(const Slots& songs);
    [[nodiscard]] static QByteArray slotsDataOf(const Slots& songs);
    /// Why the companion there must not be replaced (it is then written beside it); empty when
    /// it may be.
    [[nodiscard]] QString slotsKeptBecause(const QString& path) const;
    /// Writes this run's names beside the companion, which `because` stays as it is.
    void saveSlotsBeside(const QByteArray& slots, const QString& because);
    /// Keeps aside a companion of which `unused` of `total` entries were not used, before the
    /// next save replaces it, and says so in the note.
    void keepUnusedSlots(const FileContent& content, qsizetype unused, qsizetype total);
    [[nodiscard]] QString keepDamagedOriginal(qint64 goodRecords, qint64 badRecords, qint64 strayBytes);
    /// Writes `data` to a new file under the default data folder after the info file
    /// could not be written, and tells the operator where and why.
    /// `slots`, when not empty, goes beside it under the companion's name; with `songs` false,
    /// only `slots` is rescued (the song file was written).
    void rescue(const QByteArray& data, const QByteArray& slots, const QString& why, bool songs = true);
    /// Saves a non-empty `data` as "<info file>.saved-<time>" (and `slots` as its companion),
    /// leaving the info file as it is, and tells the operator that the info file `because`
    /// and where the songs went.
    void saveBeside(const QByteArray& data, const QByteArray& slots, const QString& because);
    [[nodiscard]] bool isDefaultPath() const;
    /// Looks for a stored path once a run, when it first enters the store.
    void locate(const QString& FileName);

    [[nodiscard]] static std::size_t index(int Sheet, int Slot);

    Slots Songs;
    QString InfoPath;
    Dialogs& m_dialogs;
    std::unique_ptr<AtomicFileWriter> m_writer;
    QString m_damagedCopy;
    /// Why the info file that is there could not be read; it is then never replaced.
    QString m_unreadable;
    /// A song file was there at the start and read: only then may it be replaced.
    bool m_read = false;
    bool m_taken = false;
    bool m_saved = false; ///< saved elsewhere already: not again at the end
    /// Why the companion that is there could not be taken; it is then never replaced.
    QString m_slotsUnreadable;
    /// The companion was read (or kept aside as damaged): only then may it be replaced.
    bool m_slotsRead = false;
    QString m_unusedSlotsNote; ///< see unusedSlotsNote()
    std::unique_ptr<SongLocator> m_locator;
    QHash<QString, SongLocator::Found> m_found; ///< every stored path looked for, found or not
};
