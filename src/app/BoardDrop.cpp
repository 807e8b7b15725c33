// SPDX-License-Identifier: GPL-3.0-or-later
#include "BoardDrop.h"

#include "controls/Tranbtn.h"
#include "platform/Dialogs.h"
#include "platform/Guard.h"
#include "songs/SheetHost.h"
#include "songs/SongFiles.h"
#include "songs/SongStruc.h"

#include <QDir>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QTimer>

#include <algorithm>

namespace {

/// Only local files and folders are taken.
bool carriesFiles(const QMimeData* mime)
{
    if (!mime || !mime->hasUrls())
        return false;
    const QList<QUrl> urls = mime->urls();
    return std::any_of(urls.cbegin(), urls.cend(), [](const QUrl& url) { return url.isLocalFile(); });
}

QString listed(const QStringList& names)
{
    return QLatin1String("\n") + names.join(QLatin1Char('\n'));
}

} // namespace

BoardDrop::BoardDrop(QWidget* window, TSongInfo& songs, SheetHost& host, Dialogs& dialogs,
                     const std::array<TMTranBtn*, 36>& buttons)
    : QObject(window)
    , m_window(window)
    , m_songs(songs)
    , m_host(host)
    , m_dialogs(dialogs)
    , m_buttons(buttons)
{
    for (TMTranBtn* button : m_buttons) {
        if (!button)
            continue;
        button->setAcceptDrops(true);
        button->installEventFilter(this);
    }
}

int BoardDrop::slotOf(const QObject* button) const
{
    const auto it = std::find(m_buttons.cbegin(), m_buttons.cend(), button);
    return it == m_buttons.cend() ? -1 : static_cast<int>(it - m_buttons.cbegin());
}

bool BoardDrop::eventFilter(QObject* watched, QEvent* event)
{
    const int slot = slotOf(watched);
    if (slot < 0)
        return QObject::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDragMoveEvent*>(event);
        if (!carriesFiles(drag->mimeData()) || !acceptAsCopy(drag))
            drag->ignore();
        return true;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        if (!carriesFiles(drop->mimeData()) || !acceptAsCopy(drop)) {
            drop->ignore(); // the source learns that nothing was taken
            return true;
        }
        // The drop is answered first; the question and the message come after it, so the file
        // manager is not left waiting on a box.
        const QList<QUrl> urls = drop->mimeData()->urls();
        QTimer::singleShot(0, this, [this, urls, slot] { guard([&] { dropped(urls, slot); }); });
        return true;
    }
    default:
        return QObject::eventFilter(watched, event);
    }
}

void BoardDrop::dropped(const QList<QUrl>& urls, int Slot)
{
    const int sheet = m_host.shownTab();
    if (sheet < 0 || sheet >= SheetCount || Slot < 0 || Slot >= SlotCount)
        return;

    QStringList songs;
    QStringList refused;
    bool folder = false;
    for (const QUrl& url : urls) {
        if (!url.isLocalFile()) {
            refused << url.toDisplayString();
            continue;
        }
        const QFileInfo info(url.toLocalFile());
        const QString path = QDir::cleanPath(info.absoluteFilePath());
        if (info.isDir()) {
            folder = true;
            const QStringList found = songsIn(path);
            if (found.isEmpty())
                refused << path + QLatin1Char('/');
            songs << found;
        } else if (info.isFile() && info.isReadable() && isSongFile(path)) {
            songs << path;
        } else {
            refused << path;
        }
    }

    QStringList unplaced;
    bool changed = false;
    if (songs.size() == 1 && urls.size() == 1 && !folder) {
        // One file: the button it landed on, whatever that holds.
        const QFileInfo file(songs.first());
        TSongRecord old;
        const bool replaces = m_songs.GetSong(sheet, Slot, old);
        if (replaces) {
            const QString question = QStringLiteral("Replace %1 with %2, are you sure?")
                                         .arg(m_songs.title(sheet, Slot),
                                              newSongTexts(file.absolutePath(), file.fileName()).Title);
            if (m_dialogs.messageBox(m_window, question, Dialogs::Style::Confirmation,
                                     Dialogs::Buttons::YesNo) != Dialogs::Answer::Yes)
                return;
        }
        addSong(m_songs, sheet, Slot, file.absolutePath(), file.fileName());
        changed = true;
    } else {
        // Several: the free buttons from here on, then those of the following sheets.
        qsizetype next = 0;
        for (int s = sheet; s < SheetCount && next < songs.size(); ++s) {
            for (int n = s == sheet ? Slot : 0; n < SlotCount && next < songs.size(); ++n) {
                TSongRecord rec;
                if (m_songs.GetSong(s, n, rec))
                    continue;
                const QFileInfo file(songs[next++]);
                addSong(m_songs, s, n, file.absolutePath(), file.fileName());
                changed = true;
            }
        }
        unplaced = songs.mid(next);
    }
    if (changed)
        m_host.RefreshButtons(m_host.shownTab());

    QString message;
    if (!refused.isEmpty())
        message = (refused.size() == 1 ? QStringLiteral("Cannot play %1.").arg(refused.first())
                                       : QStringLiteral("Cannot play these:") + listed(refused));
    if (!unplaced.isEmpty()) {
        if (!message.isEmpty())
            message += QLatin1String("\n\n");
        message += QStringLiteral("No free button left for these:") + listed(unplaced);
    }
    if (!message.isEmpty())
        m_dialogs.messageBox(m_window, message, Dialogs::Style::Information, Dialogs::Buttons::Ok);
}
