// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class Registry;
class SlotKeys;

/// The board's own settings under the per-user key: the tab names ("Tabs", Tab0..Tab9), the
/// output songs play on, the preview output, even levels, key captions, the time left, the log of what
/// plays and the master level ("System"), and the slot keys ("Keys"). Each reading or writing opens the key
/// once and closes it after, so what one change writes is stored together.
class BoardSettings {
public:
    explicit BoardSettings(Registry& registry);

    /// The ten stored tab names; empty where none is stored.
    [[nodiscard]] QStringList tabNames() const;
    void saveTabNames(const QStringList& names);
    void saveTabName(int index, const QString& name);

    /// The server's name of the chosen output; empty for the default one.
    [[nodiscard]] QString outputDevice() const;
    void saveOutputDevice(const QString& name);
    /// The server's name of the output previews play on; empty for none.
    [[nodiscard]] QString previewDevice() const;
    void savePreviewDevice(const QString& name);

    [[nodiscard]] bool evenLevels() const;
    void saveEvenLevels(bool on);
    /// Key captions on the buttons; on unless stored off.
    [[nodiscard]] bool showKeys() const;
    void saveShowKeys(bool on);
    /// The time left instead of the position; off unless stored on.
    [[nodiscard]] bool showTimeLeft() const;
    void saveShowTimeLeft(bool on);
    /// Songs play from their record's start time to its stop time; off unless stored on.
    [[nodiscard]] bool useSongTimes() const;
    void saveUseSongTimes(bool on);
    /// A log of what plays is kept; off unless stored on.
    [[nodiscard]] bool logPlays() const;
    void saveLogPlays(bool on);
    /// The shown sheet as a grid of tiles that fills the window; off unless stored on.
    [[nodiscard]] bool showView() const;
    void saveShowView(bool on);

    /// The master level in dB, held within -60 and 0; 0 when missing or unreadable.
    [[nodiscard]] double masterLevel() const;
    void saveMasterLevel(double db);

    void loadKeys(SlotKeys& keys) const;
    void saveKeys(const SlotKeys& keys);

private:
    /// Runs `use` with the board's key open (made when missing), and closes it after.
    void withKey(const std::function<void(Registry&)>& use) const;
    /// A "0" or "1" of [System]; `otherwise` when missing or anything else.
    [[nodiscard]] bool systemFlag(const QString& name, bool otherwise) const;
    void saveSystemFlag(const QString& name, bool on);
    /// A text of [System], trimmed; empty when missing.
    [[nodiscard]] QString systemText(const QString& name) const;
    void saveSystemText(const QString& name, const QString& text);

    Registry& m_registry;
};
