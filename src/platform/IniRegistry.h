// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Registry.h"

#include <QList>
#include <QPair>

/// Registry over INI files: the key "Software\<Name>" is the file <dir>/<Name>.ini,
/// its subkeys are the file's sections. Every write replaces the file atomically,
/// and every read sees the file as it is now, so two objects share one store.
class IniRegistry : public Registry {
public:
    /// `configDir` defaults to $XDG_CONFIG_HOME (or ~/.config).
    explicit IniRegistry(QString configDir = {});

    bool OpenKey(const QString& key, bool canCreate) override;
    void CloseKey() override;
    [[nodiscard]] QString ReadString(const QString& name) const override;
    void WriteString(const QString& name, const QString& value) override;
    [[nodiscard]] bool ValueExists(const QString& name) const override;
    [[nodiscard]] QStringList GetValueNames() const override;

    [[nodiscard]] static QString defaultConfigDir();
    /// The file that holds `key`, for tests and the installer.
    [[nodiscard]] QString fileForKey(const QString& key) const;

private:
    struct Section {
        QString name;
        QList<QPair<QString, QString>> values;
    };
    using Document = QList<Section>;

    [[nodiscard]] Document load() const;
    void save(const Document& doc) const;
    [[nodiscard]] static Section* findSection(Document& doc, const QString& name);
    [[nodiscard]] static const Section* findSection(const Document& doc, const QString& name);
    [[nodiscard]] const Section* openSection(const Document& doc) const;

    QString m_configDir;
    bool m_open = false;
    QString m_file;    // the key's file while a key is open
    QString m_section; // "" for the key itself, else the subkey path
};
