// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

class QPushButton;
class TMainForm;
class TSongInfo;

/// The song file's drive, as the main window waits on it and never longer: the songs come in
/// from a thread of their own while the status bar says that the drive does not answer, and at
/// Exit the window stays up until the drive answers, offering the rescue file meanwhile.
class SongFileWatch : public QObject {
    Q_OBJECT
public:
    SongFileWatch(TMainForm& form, TSongInfo& store);

    /// Brings in the songs of a store made with TSongInfo::Load::Later.
    void loadSongs();
    /// True when the window may close now. Otherwise the watch waits for the drive, and closes
    /// the window (ending the run) once it answers or the operator saves to the rescue file.
    [[nodiscard]] bool readyToClose();
    /// The operator chose to end, and the window waits for the drive.
    [[nodiscard]] bool waiting() const { return m_waiting; }

private:
    void offerRescueFile();
    void end();

    TMainForm& m_form;
    TSongInfo& m_store;
    bool m_onThread = false; ///< the songs are read on a thread: their drive may hang
    bool m_waiting = false;
    bool m_answered = false;
    QPushButton* m_rescue = nullptr;
};
