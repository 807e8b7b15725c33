// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <optional>

class QDateTime;
class TSongInfo;

/// A whole show as one board sends it to another: every filled slot's texts, times and button
/// settings, and the sheet names. The board that takes it keeps its own show aside first.
class ShowCopy {
public:
    /// {"t":"showcopy","sheets":[...],"slots":[{"at":sheet*36+slot,...}, ...]}.
    [[nodiscard]] static QJsonObject toJson(const TSongInfo& songs, const QStringList& sheetNames);
    /// Makes `songs` the show of `frame`: its slots filled as there, every other one cleared, the
    /// song files looked for under this board's show folder as for a show that moved. The sheet
    /// names it carries (ten); none, and `songs` untouched, when `frame` is no show.
    static std::optional<QStringList> apply(const QJsonObject& frame, TSongInfo& songs);
    /// Writes `songs` as a save would, beside its song file and companion, each with
    /// ".before-copy-<time>" added. The song file's copy, or empty when it could not be written.
    [[nodiscard]] static QString keepAside(const TSongInfo& songs, const QDateTime& now);
};
