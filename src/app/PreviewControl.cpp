// SPDX-License-Identifier: GPL-3.0-or-later
#include "PreviewControl.h"

#include "audio/OutputDevices.h"
#include "audio/PreviewPlayer.h"
#include "core/SongTexts.h"
#include "platform/Errors.h"
#include "platform/Guard.h"

#include <QAction>
#include <QMenu>
#include <QScopeGuard>

PreviewControl::PreviewControl(PreviewPlayer& player, OutputDevices& outputs, Registry& registry,
                               QObject* parent)
    : QObject(parent)
    , m_player(player)
    , m_outputs(outputs)
    , m_settings(registry)
{
    connectGuarded(&m_player, &PreviewPlayer::stopped, this, [this] { updateMenuItems(); });
}

PreviewControl::~PreviewControl()
{
    m_outputs.setOutputMissingHandler({});
    guard([this] { m_player.stop(); });
}

void PreviewControl::load(News news)
{
    m_news = std::move(news);
    m_outputs.setOutputMissingHandler(
        [self = QPointer<PreviewControl>(this)](const QString& output, bool missing) {
            if (self)
                self->outputMissing(output, missing);
        });
    m_outputs.setOutputDevice(m_settings.previewDevice());
    Q_EMIT availabilityChanged();
}

QString PreviewControl::output() const
{
    return m_outputs.outputDevice();
}

void PreviewControl::setOutput(const QString& name)
{
    if (name == m_outputs.outputDevice())
        return;
    m_player.stop();
    m_missing.clear();
    if (m_news)
        m_news(QString());
    m_outputs.setOutputDevice(name);
    m_settings.savePreviewDevice(name);
    updateMenuItems();
    Q_EMIT availabilityChanged();
}

void PreviewControl::outputMissing(const QString& output, bool missing)
{
    m_missing = missing ? QStringLiteral("The preview output \"%1\" is not there: nothing is previewed "
                                         "until it returns.")
                              .arg(output)
                        : QString();
    if (m_news)
        m_news(m_missing);
    updateMenuItems();
    Q_EMIT availabilityChanged();
}

void PreviewControl::addMenuItems(QMenu* menu, std::function<QString()> song)
{
    m_song = std::move(song);
    menu->setToolTipsVisible(true);
    menu->addSeparator();
    m_preview = menu->addAction(QStringLiteral("&Preview"));
    m_stop = menu->addAction(QStringLiteral("Stop Pre&view"));
    connectGuarded(m_preview.data(), &QAction::triggered, this, [this] {
        const QString path = m_song ? m_song() : QString();
        if (!path.isEmpty())
            playFrom(path, 0.0);
    });
    connectGuarded(m_stop.data(), &QAction::triggered, this, [this] { stopPreview(); });
    connectGuarded(menu, &QMenu::aboutToShow, this, [this] { updateMenuItems(); });
    updateMenuItems();
}

void PreviewControl::updateMenuItems()
{
    if (m_preview) {
        const QString why = unavailable();
        const bool song = m_song && !m_song().isEmpty();
        m_preview->setEnabled(why.isEmpty() && song);
        const QString hint = !why.isEmpty() ? why
                             : song         ? QStringLiteral("Plays the song on the preview output only.")
                                            : QStringLiteral("The button holds no song.");
        m_preview->setToolTip(hint);
        m_preview->setStatusTip(hint);
    }
    if (m_stop)
        m_stop->setEnabled(m_player.isPlaying());
}

QString PreviewControl::unavailable() const
{
    if (m_outputs.outputDevice().isEmpty())
        return NoOutputHint;
    return m_missing;
}

void PreviewControl::playFrom(const QString& path, double seconds)
{
    const auto settle = qScopeGuard([this] { updateMenuItems(); });
    if (!unavailable().isEmpty())
        throw DeviceError(unavailable());
    if (IsCdTrack(path))
        throw DeviceError(QStringLiteral("Unable to preview ") + path +
                          QStringLiteral(": a CD track plays only in the CD player"));
    m_player.play(path, seconds);
}

void PreviewControl::stopPreview()
{
    m_player.stop();
    updateMenuItems();
}

std::optional<double> PreviewControl::previewPosition() const
{
    if (!m_player.isPlaying())
        return std::nullopt;
    return m_player.position();
}
