// SPDX-License-Identifier: GPL-3.0-or-later
#include "SongFileWatch.h"

#include "app/frmMain.h"
#include "platform/DriveProbe.h"
#include "platform/Guard.h"
#include "songs/SongFileLoad.h"
#include "songs/SongStruc.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPushButton>
#include <QStatusBar>

namespace {
const QString SongFileNews = QStringLiteral("songfile");     // the song file's drive does not answer
const QString UnusedSlotsNews = QStringLiteral("songslots"); // names the companion held for no song
} // namespace

SongFileWatch::SongFileWatch(TMainForm& form, TSongInfo& store)
    : QObject(&form)
    , m_form(form)
    , m_store(store)
{
}

void SongFileWatch::loadSongs()
{
    m_onThread = true;
    auto* load = new SongFileLoad(m_store, this);
    connectGuarded(load, &SongFileLoad::slow, this, [this] {
        m_form.sayNews(
            SongFileNews,
            QStringLiteral("The song file's drive does not answer; the songs show when it does (%1).")
                .arg(QDir::toNativeSeparators(m_store.infoPath())));
    });
    connectGuarded(load, &SongFileLoad::loaded, this, [this, load](const QString& problem) {
        if (problem.isEmpty())
            m_form.clearNews(SongFileNews);
        else
            m_form.sayNews(SongFileNews, problem);
        if (const QString& unused = m_store.unusedSlotsNote(); !unused.isEmpty())
            m_form.sayNews(UnusedSlotsNews, unused);
        load->deleteLater();
        m_form.RefreshButtons(m_form.shownTab());
    });
    load->start();
}

bool SongFileWatch::readyToClose()
{
    if (!m_onThread || m_answered)
        return true;
    // The songs are saved when the window goes: not before their drive answers.
    m_waiting = true;
    if (findChild<DriveProbe*>())
        return false; // waiting already
    auto* probe = new DriveProbe(QFileInfo(m_store.infoPath()).absolutePath(), this);
    connectGuarded(probe, &DriveProbe::slow, this, &SongFileWatch::offerRescueFile);
    connectGuarded(probe, &DriveProbe::answered, this, [this, probe] {
        probe->deleteLater();
        m_form.clearNews(SongFileNews);
        end();
    });
    probe->start();
    return false;
}

void SongFileWatch::offerRescueFile()
{
    m_form.sayNews(
        SongFileNews,
        QStringLiteral("Waiting for the song file's drive to save the songs before Sonavex ends (%1).")
            .arg(QDir::toNativeSeparators(m_store.infoPath())));
    if (!m_rescue) {
        m_rescue = new QPushButton(QStringLiteral("Save to a Rescue File"), m_form.statusBar());
        m_rescue->setObjectName(QStringLiteral("btnRescue"));
        m_form.statusBar()->addPermanentWidget(m_rescue);
        connectGuarded(m_rescue, &QPushButton::clicked, this, [this] {
            m_store.saveToRescueFile();
            end();
        });
    }
    m_rescue->show();
}

void SongFileWatch::end()
{
    m_answered = true;
    if (m_form.close())
        QCoreApplication::quit();
}
