// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

/// The per-user key-value store with subkeys and string values: open a key,
/// read or write its values, close.
/// Key paths use "\" between names; names compare without regard to case.
/// A path without a leading "\" is relative to the key that is open.
class Registry {
public:
    virtual ~Registry() = default;

    /// Opens `key`. When it is missing it is created if `canCreate`, otherwise
    /// false is returned and the previously open key stays open.
    virtual bool OpenKey(const QString& key, bool canCreate) = 0;
    virtual void CloseKey() = 0;

    /// The string value `name` of the open key; a missing value reads as empty.
    [[nodiscard]] virtual QString ReadString(const QString& name) const = 0;
    /// Writes the value (the store keeps what one opening writes together and has it at
    /// CloseKey); raises a GeneralError when no key is open. A store that cannot
    /// be written keeps the value for the run and says so once.
    virtual void WriteString(const QString& name, const QString& value) = 0;
    [[nodiscard]] virtual bool ValueExists(const QString& name) const = 0;
    /// Removes the value `name` of the open key; false when there was none. Raises as WriteString does.
    virtual bool DeleteValue(const QString& name) = 0;
    /// Value names of the open key, in the order the store holds them.
    [[nodiscard]] virtual QStringList GetValueNames() const = 0;
};
