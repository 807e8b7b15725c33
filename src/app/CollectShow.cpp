// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CollectShow.h"

#include "platform/Dialogs.h"
#include "platform/Guard.h"
#include "songs/SongStruc.h"

#include <QFileDialog>
#include <QProgressDialog>
#include <QThread>
#include <QTimer>

namespace {
/// The progress bar counts in kilobytes: a show of gigabytes overflows an int of bytes.
int kilobytes(qint64 bytes)
{
    return static_cast<int>(bytes / 1024);
}
} // namespace

CollectShow::CollectShow(QWidget* window, Dialogs& dialogs, ShowCollector::Plan plan)
    : QObject(window)
    , m_window(window)
    , m_dialogs(dialogs)
    , m_plan(std::move(plan))
{
    m_progress =
        new QProgressDialog(QStringLiteral("Collecting the show into %1").arg(m_plan.folder),
                            QStringLiteral("Cancel"), 0, std::max(1, kilobytes(2 * m_plan.bytes)), window);
    m_progress->setWindowTitle(QStringLiteral("Collect Show"));
    m_progress->setWindowModality(Qt::NonModal);
    m_progress->setMinimumDuration(0);
    m_progress->setAutoClose(false);
    m_progress->setAutoReset(false);
    connectGuarded(m_progress.data(), &QProgressDialog::canceled, this, [this] {
        m_cancel = true;
        m_progress->setLabelText(QStringLiteral("Cancelling: removing what was copied..."));
    });
    m_tick = new QTimer(this);
    connectGuarded(m_tick, &QTimer::timeout, this, [this] {
        if (m_progress && !m_cancel)
            m_progress->setValue(kilobytes(m_done));
    });
    m_tick->start(100);

    m_thread = QThread::create([this] {
        m_report = ShowCollector().run(
            m_plan, [this](qint64 done, qint64) { m_done = done; }, &m_cancel);
    });
    connectGuarded(m_thread, &QThread::finished, this, &CollectShow::finished);
    m_thread->start();
    m_progress->show();
}

CollectShow::~CollectShow()
{
    m_cancel = true;
    if (m_thread) {
        m_thread->wait();
        delete m_thread;
    }
    delete m_progress.data();
}

void CollectShow::finished()
{
    m_tick->stop();
    if (m_progress)
        m_progress->hide();
    deleteLater();
    const bool done = m_report.outcome == ShowCollector::Report::Outcome::Done;
    QString text = m_report.text(m_plan, ListedInBox);
    if (done)
        text += QStringLiteral("\nOn the other computer: sonavex --open-show <the folder>.");
    m_dialogs.messageBox(m_window, text.trimmed(),
                         done && m_report.complete(m_plan) ? Dialogs::Style::Information
                                                           : Dialogs::Style::Error,
                         Dialogs::Buttons::Ok);
}

void CollectShow::start(QWidget* window, Dialogs& dialogs, TSongInfo& store, Registry& registry)
{
    if (window->findChild<CollectShow*>())
        return; // one at a time: its progress window is open
    if (!store.fileTaken()) {
        dialogs.messageBox(
            window, QStringLiteral("The song file is still being read: collect the show when it is in."),
            Dialogs::Style::Information, Dialogs::Buttons::Ok);
        return;
    }
    const QString folder =
        QFileDialog::getExistingDirectory(window, QStringLiteral("Collect Show into an empty folder"));
    if (folder.isEmpty())
        return;
    new CollectShow(window, dialogs, ShowCollector::plan(store, registry, folder));
}
