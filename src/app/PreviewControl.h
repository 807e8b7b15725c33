// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/BoardSettings.h"
#include "songs/SongPreview.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

class OutputDevices;
class PreviewPlayer;
class QAction;
class QMenu;
class Registry;

/// The preview: a song played on the preview output for the operator's ears only, beside
/// whatever the show plays and never on the show's output. It is not the show's: no queue, no
/// colours, no status panels. Without a preview output chosen (the start), nothing previews and
/// the items that would say why.
class PreviewControl : public QObject, public SongPreview {
    Q_OBJECT
public:
    /// Says `text` in the status bar, once; an empty text: what was said no longer holds.
    using News = std::function<void(const QString& text)>;

    /// `outputs` is the preview player's own output, which plays on its chosen output only.
    PreviewControl(PreviewPlayer& player, OutputDevices& outputs, Registry& registry,
                   QObject* parent = nullptr);
    ~PreviewControl() override;
    PreviewControl(const PreviewControl&) = delete;
    PreviewControl& operator=(const PreviewControl&) = delete;

    static inline const QString NoOutputHint =
        QStringLiteral("Choose a preview output in Options, Output Device...");

    /// Chooses the stored preview output; from now on its absence is said through `news`.
    void load(News news);
    /// The server's name of the preview output; empty for none.
    [[nodiscard]] QString output() const;
    /// Chooses and stores it; a preview that plays stops.
    void setOutput(const QString& name);

    /// Adds "Preview" and "Stop Preview" to the button menu; `song` answers the path of the
    /// song of the menu's button (empty: a free slot).
    void addMenuItems(QMenu* menu, std::function<QString()> song);
    /// Enables the items and gives their hints as things are now.
    void updateMenuItems();
    [[nodiscard]] QAction* previewAction() const { return m_preview; }
    [[nodiscard]] QAction* stopAction() const { return m_stop; }

    [[nodiscard]] QString unavailable() const override;
    /// Raises an error for a CD track, a file that cannot play or an output that cannot.
    void playFrom(const QString& path, double seconds) override;
    void stopPreview() override;
    [[nodiscard]] std::optional<double> previewPosition() const override;

Q_SIGNALS:
    /// The preview output was chosen, went away or came back: unavailable() may say otherwise.
    void availabilityChanged();

private:
    void outputMissing(const QString& output, bool missing);

    PreviewPlayer& m_player;
    OutputDevices& m_outputs;
    BoardSettings m_settings;
    News m_news;
    QString m_missing; ///< what is said of the preview output being gone; empty while it is there
    std::function<QString()> m_song;
    QPointer<QAction> m_preview;
    QPointer<QAction> m_stop;
};
