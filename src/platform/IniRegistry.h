// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Registry.h"

#include <QList>

#include <QHash>

#include <memory>
#include <mutex>
#include <optional>

/// Registry over INI files: the key "Software\<Name>" is the file <dir>/<Name>.ini,
/// its subkeys are the file's sections. What one opening of a key writes reaches the
/// file as one atomic replace at CloseKey (or when another file's key is opened, or
/// the object ends), so a program killed meanwhile leaves the old file or the new one,
/// never a mix. Every read sees the file as it is now plus this opening's own writes,
/// so two objects share one store.
/// Files are read as people write them by hand: blanks around names, "=" and values,
/// "#" and ";" comments (kept when the file is written again), a byte-order mark, CRLF lines.
/// A file that cannot be read is never replaced, and one that cannot be written
/// does not stop the program: from then on that file's values live in memory for
/// the run, and the operator is told once, through the error reporter.
class IniRegistry : public Registry {
public:
    /// `configDir` defaults to $XDG_CONFIG_HOME (or ~/.config).
    explicit IniRegistry(QString configDir = {});
    ~IniRegistry() override;
    IniRegistry(const IniRegistry&) = delete;
    IniRegistry& operator=(const IniRegistry&) = delete;

    bool OpenKey(const QString& key, bool canCreate) override;
    void CloseKey() override;
    [[nodiscard]] QString ReadString(const QString& name) const override;
    void WriteString(const QString& name, const QString& value) override;
    [[nodiscard]] bool ValueExists(const QString& name) const override;
    bool DeleteValue(const QString& name) override;
    [[nodiscard]] QStringList GetValueNames() const override;

    [[nodiscard]] static QString defaultConfigDir();
    /// The file that holds `key`, for tests and the installer.
    [[nodiscard]] QString fileForKey(const QString& key) const;
    /// Removes the temporary files that a write of `key`'s file killed part-way left
    /// behind, whatever their age: only for a program that knows no other copy of it runs.
    void removeLeftoverTemporaries(const QString& key) const;

private:
    struct Value {
        QString name;
        QString value;
        /// A comment or a line that is no value, kept as it was written; name and value unused.
        QString note;
    };
    struct Section {
        QString name;
        QList<Value> values;
    };
    using Document = QList<Section>;
    /// One write of the open key that waits for CloseKey; replayed on the file as it is then.
    struct Change {
        enum class Kind { CreateSection, Set, Delete } kind;
        QString section;
        QString name;
        QString value;
    };

    /// What a file or folder was when it was last read: any write in between changes it (an atomic
    /// replace makes a new file; an edit in place its size or times).
    struct Stamp {
        quint64 device = 0;
        quint64 inode = 0;
        qint64 size = 0;
        qint64 modifiedNs = 0;
        qint64 changedNs = 0;
        bool operator==(const Stamp&) const = default;
    };
    /// The stamp of `path`; nothing when it is not there.
    [[nodiscard]] static std::optional<Stamp> stampOf(const QString& path);
    /// Whether nothing has changed `stamp`'s file for a while. The system's clock for file times
    /// moves in steps of up to 10 ms (a tick): a file changed twice within one step, to the same
    /// size, keeps its stamp, so what changed within two steps of now is read again rather than
    /// trusted.
    [[nodiscard]] static bool settled(const Stamp& stamp);
    static constexpr qint64 SettledAfterNs = 20'000'000;
    /// A file as it was parsed, and the folder's settings files as they were listed: each read
    /// again only when its stamp changed. The start reads a hundred values.
    struct ReadCache {
        std::mutex mutex;
        QHash<QString, std::pair<Stamp, Document>> documents;
        Stamp folderStamp;
        QStringList folderFiles;
        bool folderListed = false;
    };

    /// Files whose values live in memory for this run, shared by every copy.
    struct Fallback {
        QHash<QString, Document> documents;
        bool told = false;
    };

    /// `file` as it is now, with this opening's changes when it is the open key's file.
    [[nodiscard]] Document load(const QString& file) const;
    [[nodiscard]] Document loadStored(const QString& file) const;
    void save(const QString& file, const Document& doc) const;
    void keepInMemory(const QString& file, const Document& doc, const QString& why) const;
    void commit();
    static void apply(Document& doc, const Change& change);
    [[nodiscard]] static Document parse(const QByteArray& bytes);
    [[nodiscard]] static Section* findSection(Document& doc, const QString& name);
    [[nodiscard]] static const Section* findSection(const Document& doc, const QString& name);
    [[nodiscard]] const Section* openSection(const Document& doc) const;

    QString m_configDir;
    bool m_open = false;
    QString m_file;          // the key's file while a key is open
    QString m_section;       // "" for the key itself, else the subkey path
    QList<Change> m_changes; // to m_file, since it was opened
    std::shared_ptr<Fallback> m_fallback = std::make_shared<Fallback>();
    std::unique_ptr<ReadCache> m_cache = std::make_unique<ReadCache>();
};
