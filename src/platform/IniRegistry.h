// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Registry.h"

#include <QList>

#include <QHash>

#include <memory>

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
};
