// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/frmMain.h"
#include "controls/Tranbtn.h"
#include "fakes/FakeDriveList.h"
#include "fakes/ShowFixture.h"

#include <QColor>

#include <memory>

/// The main window over the show of ShowFixture. `setUp()` before each test, `tearDown()`
/// after it.
struct BoardFixture : ShowFixture {
    static inline const QColor Black{0, 0, 0};
    static inline const QColor Green{0, 128, 0};
    static inline const QColor Yellow{255, 255, 0};
    static inline const QColor Red{255, 0, 0};

    FakeDriveList m_drives;
    std::unique_ptr<TMainForm> m_form;

    void setUp()
    {
        ShowFixture::setUp();
        m_form = std::make_unique<TMainForm>(*m_core, *m_dialogs, m_drives);
    }

    /// The window closed and the show ended, as at Exit: the song file and the settings saved.
    void closeBoard()
    {
        m_form.reset();
        closeShow();
    }

    /// A new show over `store` and its window, after the one before ended.
    void openBoard(std::unique_ptr<TSongInfo> store, SongLevels* levels = nullptr)
    {
        closeBoard();
        openShow(std::move(store), levels);
        m_form = std::make_unique<TMainForm>(*m_core, *m_dialogs, m_drives);
    }

    /// The show and its window again, over the songs of `setUp()`.
    void createForm() { openBoard(defaultStore()); }

    void tearDown()
    {
        m_form.reset();
        ShowFixture::tearDown();
    }

    [[nodiscard]] TMTranBtn* button(int slot) const
    {
        return m_form->SongButtons[static_cast<std::size_t>(slot)];
    }

    /// A press of the mouse on a button of the shown sheet.
    void press(int slot, bool shift = false, Qt::MouseButton which = Qt::LeftButton)
    {
        TMTranBtn* b = button(slot);
        Q_EMIT b->OnMouseDown(b, which, shift ? Qt::ShiftModifier : Qt::NoModifier, 5, 5);
        settle();
    }

    [[nodiscard]] QList<QColor> colours(int count) const
    {
        QList<QColor> out;
        for (int k = 0; k < count; ++k)
            out << button(k)->fontColor();
        return out;
    }
};
