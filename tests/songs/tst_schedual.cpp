// SPDX-License-Identifier: GPL-3.0-or-later
#include "fakes/FakeCdTrackCatalog.h"
#include "fakes/FakeDialogs.h"
#include "fakes/FakeDriveList.h"
#include "fakes/FakeSheetHost.h"
#include "fakes/RecordingErrorReporter.h"
#include "fakes/SongFixtures.h"
#include "fakes/StoreFixture.h"
#include "fakes/TestEnvironment.h"
#include "platform/IniRegistry.h"
#include "songs/DirectoryListBox.h"
#include "songs/DriveComboBox.h"
#include "songs/FileListBox.h"
#include "songs/SongStruc.h"
#include "songs/schedual.h"

#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>
#include <QUrl>

#include <algorithm>
#include <memory>

namespace {

void touch(const QString& dir, const QStringList& names)
{
    QDir().mkpath(dir);
    for (const QString& name : names) {
        QFile f(dir + QLatin1Char('/') + name);
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
}

QStringList numbered(const QString& pattern, int count)
{
    QStringList names;
    for (int i = 1; i <= count; ++i)
        names << pattern.arg(i, 2, 10, QLatin1Char('0'));
    return names;
}

} // namespace

class TestSchedual : public QObject, StoreFixture {
    Q_OBJECT

    std::unique_ptr<RecordingErrorReporter> m_errors;
    FakeSheetHost m_host;
    FakeCdTrackCatalog m_cd;
    FakeDriveList m_drives;
    QString m_sounds;

    std::unique_ptr<TfrmSchedual> openEditor()
    {
        auto editor = std::make_unique<TfrmSchedual>(nullptr, *m_store, m_host, m_dialogs, m_cd, m_drives);
        editor->show();
        if (!QTest::qWaitForWindowExposed(editor.get()))
            qWarning("editor not exposed");
        return editor;
    }

    QString title(int sheet, int slot) const
    {
        return filled(sheet, slot) ? m_store->title(sheet, slot) : QString();
    }

    bool filled(int sheet, int slot) const
    {
        TSongRecord rec;
        return m_store->GetSong(sheet, slot, rec);
    }

    QRect cellRect(TfrmSchedual& editor, int col, int row)
    {
        QTableWidgetItem* item = editor.StringGrid->item(row - 1, col);
        editor.StringGrid->scrollToItem(item);
        return editor.StringGrid->visualItemRect(item);
    }

    void clickCell(TfrmSchedual& editor, int col, int row)
    {
        QTest::mouseClick(editor.StringGrid->viewport(), Qt::LeftButton, {},
                          cellRect(editor, col, row).center());
    }

    /// The editor open in the current cell, if any.
    static QLineEdit* cellEditor(TfrmSchedual& editor)
    {
        return qobject_cast<QLineEdit*>(editor.StringGrid->indexWidget(editor.StringGrid->currentIndex()));
    }

    /// Drags onto the grid's cells, or onto its header when `onHeader`.
    void sendDrag(TfrmSchedual& editor, QMimeData* mime, const QPoint& pos, Qt::DropActions actions,
                  bool* enterAccepted, bool* dropAccepted, Qt::DropAction* dropAction = nullptr,
                  bool onHeader = false)
    {
        QWidget* viewport =
            onHeader ? editor.StringGrid->horizontalHeader()->viewport() : editor.StringGrid->viewport();
        QDragEnterEvent enter(pos, actions, mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &enter);
        *enterAccepted = enter.isAccepted();
        QDragMoveEvent move(pos, actions, mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &move);
        QDropEvent drop(QPointF(pos), actions, mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &drop);
        *dropAccepted = drop.isAccepted();
        if (dropAction)
            *dropAction = drop.dropAction();
    }

    /// What the editor may change: each slot's record, texts in full, button settings, cell and
    /// hint and key; the captions and the sheets as the main window's keys follow them.
    QStringList editorState(const TfrmSchedual& editor) const
    {
        QStringList lines;
        for (int s = 0; s < SheetCount; ++s) {
            lines << QStringLiteral("%1 %2 %3")
                         .arg(editor.cellText(s, 0), m_host.captions[s])
                         .arg(m_host.sheetOrder[s]);
            for (int n = 0; n < SlotCount; ++n) {
                TSongRecord rec;
                const QByteArray bytes =
                    m_store->GetSong(s, n, rec) ? bytesOf(rec).toHex() : QByteArray("free");
                const SongTexts t = m_store->texts(s, n);
                const ButtonSettings b = m_store->buttonSettings(s, n);
                lines << QStringList{editor.cellText(s, n + 1),
                                     t.Artist,
                                     t.Album,
                                     t.Title,
                                     t.FileName,
                                     QString::number(b.volumeDb),
                                     ButtonSettings::modeName(b.mode),
                                     QString::number(b.loop),
                                     m_host.keys.value({s, n}),
                                     editor.StringGrid->item(n, s)->toolTip(),
                                     QString::fromLatin1(bytes)}
                             .join(QLatin1Char('|'));
            }
        }
        return lines;
    }

    /// Songs in sheet 2 with texts a record cannot hold, button settings and a found path;
    /// files to add in the sounds folder.
    QString setUpUndoSheets()
    {
        for (int s = 0; s < SheetCount; ++s)
            m_host.captions[s] = QStringLiteral("Tab %1").arg(s);
        const QString found = m_env->dataDir() + QLatin1String("/sfx/bell.wav");
        touch(QFileInfo(found).absolutePath(), {QFileInfo(found).fileName()});
        TSongRecord rec = makeSong(QString(), 2, 0);
        m_store->SetSong(2, 0, rec,
                         {QStringLiteral("Группа"), QStringLiteral("Album"), QStringLiteral("Колокол"),
                          QStringLiteral("C:\\SHOW\\SFX\\BELL.WAV")});
        m_store->setButtonSettings(2, 0, buttonPlaying(-6.0, ButtonSettings::Mode::Toggle, true));
        m_host.keys.insert({2, 0}, QStringLiteral("F1"));
        m_store->SetSong(2, 2, makeSong(QStringLiteral("Third"), 2, 2));
        m_store->SetSong(5, 1, makeSong(QStringLiteral("Other"), 5, 1));
        touch(m_sounds, {QStringLiteral("One.wav"), QStringLiteral("Two.wav"), QStringLiteral("Three.wav")});
        return found;
    }

    static void pressKeys(TfrmSchedual& editor, Qt::KeyboardModifiers modifiers, Qt::Key key)
    {
        QTest::keyClick(editor.StringGrid, key, modifiers);
    }

    static void addAnswers()
    {
        QTest::addColumn<Dialogs::Answer>("answer");
        QTest::newRow("yes") << Dialogs::Answer::Yes;
        QTest::newRow("no") << Dialogs::Answer::No;
    }

private Q_SLOTS:
    void init()
    {
        setUpStore();
        m_host = FakeSheetHost();
        m_cd.tracks = 0;
        m_errors = std::make_unique<RecordingErrorReporter>();

        const QString drive = m_env->root() + QLatin1String("/drive");
        m_sounds = drive + QLatin1String("/sounds");
        QDir().mkpath(m_sounds);
        m_drives.list = {{QStringLiteral("Test drive"), drive}};
        m_drives.start = m_sounds;
    }

    void cleanup()
    {
        QVERIFY2(m_errors->messages.isEmpty(), qPrintable(m_errors->messages.join(QLatin1Char('\n'))));
        m_errors.reset();
        tearDownStore();
    }

    void opensWithCaptionsTitlesAndStartState()
    {
        m_host.captions[4] = QStringLiteral("Encores");
        m_store->SetSong(4, 10, makeSong(QStringLiteral("Finale"), 4, 10));
        // The list is sorted regardless of letter case, without hidden files or folders.
        touch(m_sounds, {QStringLiteral("b.WAV"), QStringLiteral("a.wav"), QStringLiteral("C.wav"),
                         QStringLiteral(".hidden.wav"), QStringLiteral("b.mp3")});
        QDir().mkpath(m_sounds + QLatin1String("/folder.wav"));
        auto editor = openEditor();

        QCOMPARE(editor->windowTitle(), QStringLiteral("Song Editor"));
        QCOMPARE(editor->StringGrid->columnCount(), 10);
        QCOMPARE(editor->StringGrid->rowCount(), 36);
        QCOMPARE(editor->cellText(0, 0), QStringLiteral("Music Sheet 1"));
        QCOMPARE(editor->cellText(4, 0), QStringLiteral("Encores"));
        QCOMPARE(editor->cellText(4, 11), QStringLiteral("Finale"));
        QCOMPARE(editor->cellText(4, 10), EmptyTitle);
        QCOMPARE(editor->cellText(9, 36), EmptyTitle);

        QCOMPARE(editor->Col(), 0);
        QCOMPARE(editor->Row(), 1);
        QVERIFY(!editor->btnAddFiles->isEnabled());
        QCOMPARE(editor->lbFiles->directory(), m_sounds);
        QCOMPARE(editor->lbFiles->names(),
                 (QStringList{QStringLiteral("a.wav"), QStringLiteral("b.WAV"), QStringLiteral("C.wav")}));

        QStringList captions;
        QStringList masks;
        for (int i = 0; i < editor->cboFilter->count(); ++i) {
            captions << editor->cboFilter->itemText(i);
            masks << editor->cboFilter->itemData(i).toString();
        }
        QCOMPARE(captions, (QStringList{QStringLiteral("Wave Files"), QStringLiteral("AU Files"),
                                        QStringLiteral("MIDI Files"), QStringLiteral("MPEG Files"),
                                        QStringLiteral("CD Audio"), QStringLiteral("Audio Video Files")}));
        QCOMPARE(masks,
                 (QStringList{QStringLiteral("*.wav"), QStringLiteral("*.au"), QStringLiteral("*.mid"),
                              QStringLiteral("*.mp3"), QStringLiteral("*.cda"), QStringLiteral("*.avi")}));
        editor->cboFilter->setCurrentIndex(3);
        QCOMPARE(editor->lbFiles->names(), QStringList{QStringLiteral("b.mp3")});
        QVERIFY(!editor->btnAddFiles->icon().isNull());
        QVERIFY(!editor->btnErase->icon().isNull());

        // The cells are written in a bold face: heavier strokes than the regular one's.
        QFont regular = editor->StringGrid->font();
        regular.setBold(false);
        const auto ink = [](const QFont& font) {
            QImage img(400, 40, QImage::Format_RGB32);
            img.fill(Qt::white);
            QPainter p(&img);
            p.setFont(font);
            p.setPen(Qt::black);
            p.drawText(img.rect(), Qt::AlignCenter, QStringLiteral("Chime <empty> Rising Sweep"));
            p.end();
            int dark = 0;
            for (int y = 0; y < img.height(); ++y)
                for (int x = 0; x < img.width(); ++x)
                    dark += qGray(img.pixel(x, y)) < 128 ? 1 : 0;
            return dark;
        };
        QCOMPARE(editor->StringGrid->font().pixelSize(), 16);
        QVERIFY2(ink(editor->StringGrid->font()) > ink(regular) * 5 / 4,
                 qPrintable(
                     QStringLiteral("%1 against %2").arg(ink(editor->StringGrid->font())).arg(ink(regular))));
    }

    void addButtonFollowsTheSelection()
    {
        touch(m_sounds, {QStringLiteral("a.wav"), QStringLiteral("b.wav")});
        QDir().mkpath(m_sounds + QLatin1String("/sub"));
        auto editor = openEditor();
        editor->lbFiles->selectNames({QStringLiteral("b.wav")});
        QVERIFY(editor->btnAddFiles->isEnabled());
        editor->lbFiles->clearSelection();
        QVERIFY(!editor->btnAddFiles->isEnabled());

        // A new folder drops the selection, and the button goes with it.
        editor->lbFiles->selectNames({QStringLiteral("a.wav")});
        QVERIFY(editor->btnAddFiles->isEnabled());
        editor->lbDir->setDirectory(m_sounds + QLatin1String("/sub"));
        QCOMPARE(editor->lbFiles->directory(), m_sounds + QLatin1String("/sub"));
        QVERIFY(!editor->btnAddFiles->isEnabled());
    }

    void addStartsAtTheTopOfTheCurrentColumn()
    {
        touch(m_sounds, {QStringLiteral("One.wav"), QStringLiteral("Two.wav")});
        auto editor = openEditor();
        editor->setCurrentCell(3, 20);
        editor->lbFiles->selectNames({QStringLiteral("Two.wav"), QStringLiteral("One.wav")});
        QTest::mouseClick(editor->btnAddFiles, Qt::LeftButton);

        QCOMPARE(editor->cellText(3, 1), QStringLiteral("One.wav"));
        QCOMPARE(editor->cellText(3, 2), QStringLiteral("Two.wav"));
        QCOMPARE(editor->cellText(3, 3), EmptyTitle);
        QCOMPARE(editor->Row(), 20);
        TSongRecord rec;
        QVERIFY(m_store->GetSong(3, 1, rec));
        QCOMPARE(rec.FileName.str(), m_sounds + QLatin1String("/Two.wav"));
        QCOMPARE(rec.Title.str(), QStringLiteral("Two"));
        QCOMPARE(rec.Artist.str(), QStringLiteral("New Artist"));
        QCOMPARE(rec.Album.str(), QStringLiteral("New Album"));
        QCOMPARE(rec.StartTime.str(), QStringLiteral("00:00"));
        QCOMPARE(rec.FadeDuration.str(), QStringLiteral("00:00"));
        QCOMPARE(int(rec.Sheet), 3);
        QCOMPARE(int(rec.Slot), 1);

        // Opened again, the grid shows titles instead of file names.
        editor.reset();
        editor = openEditor();
        QCOMPARE(editor->cellText(3, 1), QStringLiteral("One"));
    }

    void addSkipsFilledCellsSpillsIntoTheNextColumnsAndDropsWhatDoesNotFit()
    {
        // Sheet 8 is full; sheet 9 has room at slots 4 and 30 only.
        const QStringList names = numbered(QStringLiteral("f%1.wav"), 5);
        touch(m_sounds, names);
        for (int n = 0; n < SlotCount; ++n) {
            m_store->SetSong(8, n, makeSong(QStringLiteral("Full"), 8, n));
            if (n != 4 && n != 30)
                m_store->SetSong(9, n, makeSong(QStringLiteral("Kept"), 9, n));
        }
        auto editor = openEditor();
        editor->setCurrentCell(8, 17);
        editor->lbFiles->selectNames(names);
        editor->btnAddFilesClick();

        QCOMPARE(title(9, 4), QStringLiteral("f01"));
        QCOMPARE(title(9, 30), QStringLiteral("f02"));
        QCOMPARE(title(9, 0), QStringLiteral("Kept"));
        QCOMPARE(title(8, 0), QStringLiteral("Full"));
        for (int sheet = 0; sheet < 8; ++sheet)
            for (int slot = 0; slot < SlotCount; ++slot)
                QVERIFY(!filled(sheet, slot));
    }

    void songTitledEmptyCountsAsFree()
    {
        touch(m_sounds, {QStringLiteral("New.wav")});
        m_store->SetSong(2, 0, makeSong(EmptyTitle, 2, 0, QStringLiteral("/music/old.wav")));
        m_store->SetSong(2, 1, makeSong(QStringLiteral("Real"), 2, 1));
        auto editor = openEditor();

        clickCell(*editor, 2, 1);
        QCOMPARE(editor->Col(), 2);
        QVERIFY(!cellEditor(*editor));
        clickCell(*editor, 2, 2);
        QVERIFY(cellEditor(*editor));

        editor->lbFiles->selectNames({QStringLiteral("New.wav")});
        editor->btnAddFilesClick();
        TSongRecord rec;
        QVERIFY(m_store->GetSong(2, 0, rec));
        QCOMPARE(rec.FileName.str(), m_sounds + QLatin1String("/New.wav"));
        QCOMPARE(title(2, 1), QStringLiteral("Real"));
    }

    void titleIsTheNamePartBeforeItsFirstDot_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("title");
        const QString long45 = QString(45, QLatin1Char('L')) + QLatin1String(".wav");
        QTest::newRow("Linux folder")
            << QStringLiteral("sounds") << QStringLiteral("Intro.Theme.wav") << QStringLiteral("Intro");
        QTest::newRow("folder named C:\\Sounds")
            << QStringLiteral("C:\\Sounds") << QStringLiteral("Intro.Theme.wav") << QStringLiteral("Intro");
        QTest::newRow("colon in the name")
            << QStringLiteral("sounds") << QStringLiteral("Act 1: Opening.wav") << QStringLiteral(" Opening");
        QTest::newRow("no dot in the first 40")
            << QStringLiteral("sounds") << long45 << QString(40, QLatin1Char('L'));
    }

    void titleIsTheNamePartBeforeItsFirstDot()
    {
        QFETCH(QString, folder);
        QFETCH(QString, name);
        QFETCH(QString, title);
        const QString dir = m_env->root() + QLatin1String("/drive/") + folder;
        touch(dir, {name});
        auto editor = openEditor();
        editor->setDirectory(dir);
        QCOMPARE(editor->lbFiles->names(), QStringList{name});
        editor->lbFiles->selectNames({name});
        editor->btnAddFilesClick();
        TSongRecord rec;
        QVERIFY(m_store->GetSong(0, 0, rec));
        QCOMPARE(rec.FileName.str(), dir + QLatin1Char('/') + name);
        QCOMPARE(rec.Title.str(), title);
        QCOMPARE(editor->cellText(0, 1), name);
    }

    void namesAndTitlesInAnyScriptAreTaken()
    {
        QString deep = m_sounds;
        while (deep.size() < 250)
            deep += QLatin1String("/nested-folder");
        touch(deep, {QStringLiteral("long.wav")});
        touch(m_sounds,
              {QStringLiteral("Аплодисменты.wav"), QStringLiteral("Χειροκρότημα.wav"),
               QStringLiteral("拍手.wav"), QStringLiteral("تصفيق.wav"), QStringLiteral("🎉 Finale.wav")});
        QStringList names;
        {
            auto editor = openEditor();
            QMimeData mime;
            mime.setUrls({QUrl::fromLocalFile(deep + QLatin1String("/long.wav"))});
            editor->StringGridDragDrop(&mime, QPoint(-1, -1));
            editor->lbFiles->selectNames(editor->lbFiles->names());
            names = editor->lbFiles->selectedNames();
            QCOMPARE(names.size(), 5);
            editor->btnAddFilesClick();
            QVERIFY(m_dialogs.messages.isEmpty());
            QCOMPARE(editor->cellText(0, 2), names[0]);

            // A title typed in any script is taken; moving the sheet keeps each name with its song.
            editor->StringGrid->item(0, 0)->setText(QStringLiteral("Μακρύ"));
            QVERIFY(m_dialogs.messages.isEmpty());
            editor->StringGrid->horizontalHeader()->moveSection(0, 2);
        }
        reloadStore();
        QCOMPARE(m_store->fileName(2, 0), deep + QLatin1String("/long.wav"));
        QCOMPARE(m_store->title(2, 0), QStringLiteral("Μακρύ"));
        for (int i = 0; i < names.size(); ++i) {
            QCOMPARE(m_store->fileName(2, i + 1), m_sounds + QLatin1Char('/') + names[i]);
            QCOMPARE(m_store->title(2, i + 1), QFileInfo(names[i]).completeBaseName());
        }
        auto editor = openEditor();
        QCOMPARE(editor->cellText(2, 1), QStringLiteral("Μακρύ"));
        QCOMPARE(editor->StringGrid->item(1, 2)->toolTip(), m_sounds + QLatin1Char('/') + names[0]);
    }

    void audioCdIsADriveWhileTheDiscHasTracks()
    {
        {
            auto editor = openEditor();
            for (const DriveInfo& drive : editor->cboDrive->drives())
                QVERIFY(drive.caption != DriveComboBox::audioCdCaption());
        }
        m_cd.tracks = 3;
        auto editor = openEditor();
        const int cdIndex = editor->cboDrive->findText(QStringLiteral("Audio CD"));
        QVERIFY(cdIndex >= 0);
        editor->cboDrive->setCurrentIndex(cdIndex);
        QVERIFY(editor->lbFiles->names().isEmpty()); // still showing wave files
        editor->cboFilter->setCurrentIndex(editor->cboFilter->findText(QStringLiteral("CD Audio")));
        QCOMPARE(editor->lbFiles->names(),
                 (QStringList{QStringLiteral("Track01.cda"), QStringLiteral("Track02.cda"),
                              QStringLiteral("Track03.cda")}));

        // The CD's folder already ends with "/": no separator is added twice.
        editor->lbFiles->selectNames({QStringLiteral("Track02.cda")});
        editor->btnAddFilesClick();
        TSongRecord rec;
        QVERIFY(m_store->GetSong(0, 0, rec));
        QCOMPARE(rec.FileName.str(), QStringLiteral("cdda://Track02.cda"));
        QCOMPARE(rec.Title.str(), QStringLiteral("Track02"));

        // The disc goes; opening the list takes the drives again.
        m_cd.tracks = 0;
        editor->cboDrive->refreshDrives();
        QCOMPARE(editor->cboDrive->findText(QStringLiteral("Audio CD")), -1);
        QCOMPARE(editor->lbDir->drive().root, m_drives.list.first().root);
    }

    void typingIntoAnEmptyCellCreatesADefaultRecord()
    {
        auto editor = openEditor();
        editor->setCurrentCell(5, 8);
        editor->StringGrid->setFocus();
        QTest::keyClick(editor->StringGrid, 'H', Qt::ShiftModifier);
        auto* edit = cellEditor(*editor);
        QVERIFY(edit);
        const QString tail = QStringLiteral("ello, a title of more than forty characters");
        QTest::keyClicks(edit, tail);
        QTest::keyClick(edit, Qt::Key_Return);
        QTRY_VERIFY(!cellEditor(*editor));

        const QString typed = QLatin1String("H") + tail;
        QCOMPARE(editor->cellText(5, 8), typed);
        QTest::keyClick(editor->StringGrid, Qt::Key_Tab);
        QCOMPARE(editor->Col(), 6);
        QCOMPARE(editor->Row(), 8);
        reloadStore();
        TSongRecord rec;
        QVERIFY(m_store->GetSong(5, 7, rec));
        QCOMPARE(rec.Title.str(), typed.left(40));
        QCOMPARE(rec.FileName.str(), QString());
        QCOMPARE(rec.Artist.str(), QStringLiteral("New Artist"));
        QCOMPARE(rec.Album.str(), QStringLiteral("New Album"));
        QCOMPARE(rec.StopTime.str(), QStringLiteral("00:00"));
        QCOMPARE(int(rec.Sheet), 5);
        QCOMPARE(int(rec.Slot), 7);
    }

    void retitlingKeepsTheRestOfTheRecord()
    {
        TSongRecord original = makeSong(QStringLiteral("Old"), 1, 3, QStringLiteral("/music/keep.wav"));
        original.Artist.set(QStringLiteral("Band"));
        m_store->SetSong(1, 3, original);
        auto editor = openEditor();
        clickCell(*editor, 1, 4);
        auto* edit = cellEditor(*editor);
        QVERIFY(edit);
        edit->setText(QStringLiteral("New"));
        // A click elsewhere commits the edit.
        clickCell(*editor, 0, 1);
        TSongRecord rec;
        QVERIFY(m_store->GetSong(1, 3, rec));
        QCOMPARE(rec.Title.str(), QStringLiteral("New"));
        QCOMPARE(rec.FileName.str(), QStringLiteral("/music/keep.wav"));
        QCOMPARE(rec.Artist.str(), QStringLiteral("Band"));

        // Esc leaves the store alone.
        clickCell(*editor, 1, 4);
        edit = cellEditor(*editor);
        QVERIFY(edit);
        QTest::keyClicks(edit, QStringLiteral("Discarded"));
        QTest::keyClick(edit, Qt::Key_Escape);
        QTRY_VERIFY(!cellEditor(*editor));
        QCOMPARE(title(1, 3), QStringLiteral("New"));
        QVERIFY(editor->isVisible());
    }

    void deleteAsksFirst_data() { addAnswers(); }

    void deleteAsksFirst()
    {
        QFETCH(Dialogs::Answer, answer);
        m_store->SetSong(6, 2, makeSong(QStringLiteral("Gone"), 6, 2));
        auto editor = openEditor();
        // The context menu acts on the cell it was opened on.
        QWidget* viewport = editor->StringGrid->viewport();
        const QPoint pos = cellRect(*editor, 6, 3).center();
        QTest::mouseClick(viewport, Qt::RightButton, {}, pos);
        QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, pos, viewport->mapToGlobal(pos));
        QApplication::sendEvent(viewport, &menuEvent);
        QTRY_VERIFY(editor->PopupMenu1->isVisible());
        editor->PopupMenu1->hide();
        m_dialogs.answers = {answer};
        editor->Delete1->trigger();

        QCOMPARE(m_dialogs.messages.size(), 1);
        QCOMPARE(m_dialogs.messages[0].text, QStringLiteral("Delete Gone are you sure?"));
        QCOMPARE(m_dialogs.messages[0].style, Dialogs::Style::Information);
        QCOMPARE(m_dialogs.messages[0].buttons, Dialogs::Buttons::YesNo);
        const bool yes = answer == Dialogs::Answer::Yes;
        QCOMPARE(filled(6, 2), !yes);
        QCOMPARE(editor->cellText(6, 3), yes ? EmptyTitle : QStringLiteral("Gone"));
        QCOMPARE(m_host.cleared, yes ? QList<QPoint>{QPoint(6, 2)} : QList<QPoint>{});

        // A free cell is asked about too.
        editor->setCurrentCell(6, 4);
        editor->Delete1->trigger();
        QCOMPARE(m_dialogs.messages.last().text, QStringLiteral("Delete <empty> are you sure?"));
    }

    void useFoundPathsAsksThenStoresThemForTheCurrentSheetOnly_data() { addAnswers(); }

    void useFoundPathsAsksThenStoresThemForTheCurrentSheetOnly()
    {
        QFETCH(Dialogs::Answer, answer);
        const QString found = m_env->dataDir() + QLatin1String("/sfx/bell.wav");
        touch(QFileInfo(found).absolutePath(), {QFileInfo(found).fileName()});
        const QString stored = QStringLiteral("C:\\SHOW\\SFX\\BELL.WAV");
        m_store->SetSong(2, 0, makeSong(QStringLiteral("Bell"), 2, 0, stored));
        m_store->SetSong(2, 1, makeSong(QStringLiteral("Lost"), 2, 1, QStringLiteral("C:\\SHOW\\LOST.WAV")));
        m_store->SetSong(3, 0, makeSong(QStringLiteral("Bell"), 3, 0, stored));
        auto editor = openEditor();
        QCOMPARE(editor->StringGrid->item(0, 2)->toolTip(),
                 QStringLiteral("Found at %1\nStored as %2").arg(found, stored));
        editor->setCurrentCell(2, 5);
        m_dialogs.answers = {answer};
        editor->UseFoundPaths1->trigger();

        QCOMPARE(m_dialogs.messages.size(), 1);
        QCOMPARE(m_dialogs.messages[0].style, Dialogs::Style::Confirmation);
        QCOMPARE(m_dialogs.messages[0].buttons, Dialogs::Buttons::YesNo);
        const bool yes = answer == Dialogs::Answer::Yes;
        TSongRecord rec;
        QVERIFY(m_store->GetSong(2, 0, rec));
        QCOMPARE(rec.FileName.str(), yes ? found : stored);
        QVERIFY(m_store->GetSong(3, 0, rec));
        QCOMPARE(rec.FileName.str(), stored);
        QCOMPARE(editor->StringGrid->item(0, 2)->toolTip(),
                 yes ? found : editor->StringGrid->item(0, 3)->toolTip());

        // Nothing left to store: said, not asked.
        m_dialogs.messages.clear();
        editor->setCurrentCell(5, 1);
        editor->UseFoundPaths1->trigger();
        QCOMPARE(m_dialogs.messages.size(), 1);
        QCOMPARE(m_dialogs.messages[0].buttons, Dialogs::Buttons::Ok);
    }

    void eraseClearsTheWholeColumn_data() { addAnswers(); }

    void eraseClearsTheWholeColumn()
    {
        QFETCH(Dialogs::Answer, answer);
        for (int n = 0; n < SlotCount; ++n) {
            m_store->SetSong(4, n, makeSong(QStringLiteral("S4"), 4, n));
            m_store->SetSong(5, n, makeSong(QStringLiteral("S5"), 5, n));
        }
        auto editor = openEditor();
        editor->setCurrentCell(4, 12);
        m_dialogs.answers = {answer};
        QTest::mouseClick(editor->btnErase, Qt::LeftButton);

        QCOMPARE(m_dialogs.messages.size(), 1);
        QCOMPARE(m_dialogs.messages[0].text, QStringLiteral("Delete all, are you sure?"));
        QCOMPARE(m_dialogs.messages[0].style, Dialogs::Style::Confirmation);
        const bool yes = answer == Dialogs::Answer::Yes;
        for (int n = 0; n < SlotCount; ++n) {
            QCOMPARE(filled(4, n), !yes);
            QCOMPARE(editor->cellText(4, n + 1), yes ? EmptyTitle : QStringLiteral("S4"));
            QVERIFY(filled(5, n));
        }
        QCOMPARE(m_host.cleared.size(), yes ? SlotCount : 0);
        QVERIFY(
            std::all_of(m_host.cleared.cbegin(), m_host.cleared.cend(), [](QPoint p) { return p.x() == 4; }));
    }

    void movingAColumnMovesSheetsAndCaptions_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::addColumn<QString>("order"); // sheet that ends up in each column
        QTest::newRow("2 onto 3") << 2 << 3 << QStringLiteral("0132456789");
        QTest::newRow("1 onto 6") << 1 << 6 << QStringLiteral("0234561789");
        QTest::newRow("9 onto 0") << 9 << 0 << QStringLiteral("9012345678");
    }

    void movingAColumnMovesSheetsAndCaptions()
    {
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(QString, order);
        for (int s = 0; s < SheetCount; ++s) {
            m_host.captions[s] = QStringLiteral("Tab %1").arg(s);
            m_store->SetSong(s, 0, makeSong(QStringLiteral("Song %1").arg(s), s, 0));
            if (s % 2 == 0)
                m_store->SetSong(s, 35, makeSong(QStringLiteral("Last %1").arg(s), s, 35));
        }
        {
            auto editor = openEditor();
            editor->setCurrentCell(from, 5);
            editor->StringGrid->horizontalHeader()->moveSection(from, to);

            QHeaderView* header = editor->StringGrid->horizontalHeader();
            for (int c = 0; c < SheetCount; ++c) {
                const int sheet = order.at(c).digitValue();
                QCOMPARE(header->logicalIndex(c), c);
                QCOMPARE(m_host.sheetOrder[c], sheet); // what belongs to a sheet outside the store follows it
                QCOMPARE(m_host.captions[c], QStringLiteral("Tab %1").arg(sheet));
                QCOMPARE(editor->cellText(c, 0), m_host.captions[c]);
                QCOMPARE(editor->cellText(c, 1), QStringLiteral("Song %1").arg(sheet));
                QCOMPARE(editor->cellText(c, 36),
                         sheet % 2 == 0 ? QStringLiteral("Last %1").arg(sheet) : EmptyTitle);
            }
            // The moved column is still the current one.
            QCOMPARE(editor->Col(), to);
            QCOMPARE(editor->Row(), 5);
        }
        reloadStore();
        for (int c = 0; c < SheetCount; ++c) {
            const int sheet = order.at(c).digitValue();
            TSongRecord rec;
            QVERIFY(m_store->GetSong(c, 0, rec));
            QCOMPARE(rec.Title.str(), QStringLiteral("Song %1").arg(sheet));
            QCOMPARE(int(rec.Sheet), c);
            QCOMPARE(filled(c, 35), sheet % 2 == 0);
        }
    }

    void draggingAHeaderSectionMovesTheSheet()
    {
        m_store->SetSong(0, 3, makeSong(QStringLiteral("Moved"), 0, 3));
        auto editor = openEditor();
        QHeaderView* header = editor->StringGrid->horizontalHeader();
        const int y = header->height() / 2;
        const QPoint start(header->sectionViewportPosition(0) + 20, y);
        const QPoint end(header->sectionViewportPosition(2) + 100, y);
        QTest::mousePress(header->viewport(), Qt::LeftButton, {}, start);
        for (int i = 1; i <= 10; ++i)
            QTest::mouseMove(header->viewport(), start + (end - start) * i / 10);
        QTest::mouseRelease(header->viewport(), Qt::LeftButton, {}, end);

        QCOMPARE(title(2, 3), QStringLiteral("Moved"));
        QCOMPARE(m_host.captions[2], QStringLiteral("Music Sheet 1"));
        QCOMPARE(editor->cellText(2, 4), QStringLiteral("Moved"));
        QCOMPARE(header->logicalIndex(2), 2);
    }

    void dragFromTheFileListFillsTheColumnUnderThePointer_data()
    {
        QTest::addColumn<bool>("onHeader");
        QTest::newRow("a cell of the column") << false;
        QTest::newRow("the column's header") << true;
    }

    void dragFromTheFileListFillsTheColumnUnderThePointer()
    {
        QFETCH(bool, onHeader);
        const QStringList names = numbered(QStringLiteral("d%1.wav"), 3);
        touch(m_sounds, names);
        m_store->SetSong(4, 0, makeSong(QStringLiteral("Busy"), 4, 0));
        for (int n = 2; n < SlotCount; ++n)
            m_store->SetSong(4, n, makeSong(QStringLiteral("Busy"), 4, n));
        auto editor = openEditor();
        editor->setCurrentCell(0, 7);
        editor->lbFiles->selectNames(names);
        std::unique_ptr<QMimeData> mime(editor->lbFiles->dragMimeData());

        bool entered = false;
        bool dropped = false;
        QPoint at = cellRect(*editor, 4, 30).center();
        if (onHeader)
            at.setY(editor->StringGrid->horizontalHeader()->height() / 2);
        sendDrag(*editor, mime.get(), at, Qt::CopyAction, &entered, &dropped, nullptr, onHeader);
        QVERIFY(entered);
        QVERIFY(dropped);
        QCOMPARE(editor->Col(), 4);
        QCOMPARE(editor->Row(), 7);
        QCOMPARE(title(4, 1), QStringLiteral("d01"));
        QCOMPARE(title(5, 0), QStringLiteral("d02"));
        QCOMPARE(title(5, 1), QStringLiteral("d03"));
        QCOMPARE(editor->cellText(5, 2), QStringLiteral("d03.wav"));
    }

    void dropOfFileUrlsAddsTheFiles()
    {
        const QString other = m_env->root() + QLatin1String("/desktop");
        touch(m_sounds, {QStringLiteral("here.wav")});
        touch(other, {QStringLiteral("There.Live.mp3")});
        auto editor = openEditor();
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(m_sounds + QLatin1String("/here.wav")), QUrl::fromLocalFile(other),
                      QUrl(QStringLiteral("https://example.org/x.wav")),
                      QUrl::fromLocalFile(other + QLatin1String("/There.Live.mp3"))});

        bool entered = false;
        bool dropped = false;
        Qt::DropAction action = Qt::IgnoreAction;
        // A file manager offering to move must not be told to delete its files.
        sendDrag(*editor, &mime, cellRect(*editor, 7, 3).center(), Qt::MoveAction | Qt::CopyAction, &entered,
                 &dropped, &action);
        QVERIFY(entered);
        QVERIFY(dropped);
        QCOMPARE(action, Qt::CopyAction);
        TSongRecord rec;
        QVERIFY(m_store->GetSong(7, 0, rec));
        QCOMPARE(rec.FileName.str(), m_sounds + QLatin1String("/here.wav"));
        QVERIFY(m_store->GetSong(7, 1, rec));
        QCOMPARE(rec.FileName.str(), other + QLatin1String("/There.Live.mp3"));
        QCOMPARE(rec.Title.str(), QStringLiteral("There"));
        QCOMPARE(editor->cellText(7, 2), QStringLiteral("There.Live.mp3"));
        QVERIFY(!filled(7, 2));
    }

    void otherDragsAreRefused()
    {
        auto editor = openEditor();
        QMimeData text;
        text.setText(QStringLiteral("/tmp/a.wav"));
        QMimeData web;
        web.setUrls({QUrl(QStringLiteral("https://example.org/a.wav"))});
        for (QMimeData* mime : {&text, &web}) {
            bool entered = true;
            bool dropped = true;
            sendDrag(*editor, mime, cellRect(*editor, 3, 1).center(), Qt::CopyAction, &entered, &dropped);
            QVERIFY(!entered);
            QVERIFY(!dropped);
        }
        for (int s = 0; s < SheetCount; ++s)
            QVERIFY(!filled(s, 0));
    }

    void undoAndRedoTakeEachChangeAsOneStep_data()
    {
        QTest::addColumn<QString>("change");
        for (const char* change : {"fill by button", "drop of several files", "retitle",
                                   "retitle a free cell", "delete", "erase", "move", "use found paths"})
            QTest::newRow(change) << QString::fromLatin1(change);
    }

    void undoAndRedoTakeEachChangeAsOneStep()
    {
        QFETCH(QString, change);
        setUpUndoSheets();
        auto editor = openEditor();
        editor->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(editor.get()));
        editor->setCurrentCell(2, 7);
        const QStringList before = editorState(*editor);

        m_dialogs.answers = {Dialogs::Answer::Yes};
        if (change == QLatin1String("fill by button")) {
            editor->lbFiles->selectNames({QStringLiteral("One.wav"), QStringLiteral("Two.wav")});
            QTest::mouseClick(editor->btnAddFiles, Qt::LeftButton);
        } else if (change == QLatin1String("drop of several files")) {
            QMimeData mime;
            mime.setUrls({QUrl::fromLocalFile(m_sounds + QLatin1String("/One.wav")),
                          QUrl::fromLocalFile(m_sounds + QLatin1String("/Two.wav")),
                          QUrl::fromLocalFile(m_sounds + QLatin1String("/Three.wav"))});
            bool entered = false;
            bool dropped = false;
            sendDrag(*editor, &mime, cellRect(*editor, 2, 9).center(), Qt::CopyAction, &entered, &dropped);
            QVERIFY(dropped);
        } else if (change == QLatin1String("retitle")) {
            editor->StringGrid->item(0, 2)->setText(QStringLiteral("Renamed"));
        } else if (change == QLatin1String("retitle a free cell")) {
            editor->StringGrid->item(1, 2)->setText(QStringLiteral("Typed"));
        } else if (change == QLatin1String("delete")) {
            editor->setCurrentCell(2, 1);
            editor->Delete1->trigger();
        } else if (change == QLatin1String("erase")) {
            editor->btnErase->click();
        } else if (change == QLatin1String("move")) {
            editor->StringGrid->horizontalHeader()->moveSection(2, 5);
        } else {
            editor->UseFoundPaths1->trigger();
        }
        const QStringList after = editorState(*editor);
        QVERIFY(after != before);
        const QList<QPoint> told = m_host.cleared;

        pressKeys(*editor, Qt::ControlModifier, Qt::Key_Z);
        QCOMPARE(editorState(*editor), before);
        QVERIFY(!editor->canUndo());
        pressKeys(*editor, Qt::ControlModifier | Qt::ShiftModifier, Qt::Key_Z);
        QCOMPARE(editorState(*editor), after);
        // A redo tells the main window of emptied slots again.
        QCOMPARE(m_host.cleared, told + told);
        pressKeys(*editor, Qt::ControlModifier, Qt::Key_Z);
        pressKeys(*editor, Qt::ControlModifier, Qt::Key_Y);
        QCOMPARE(editorState(*editor), after);
        QCOMPARE(m_dialogs.messages.size(), change.startsWith(QLatin1String("delete")) ||
                                                    change == QLatin1String("erase") ||
                                                    change == QLatin1String("use found paths")
                                                ? 1
                                                : 0);
    }

    void undoGoesBackToTheOpeningAndANewChangeDropsTheRedo()
    {
        setUpUndoSheets();
        auto editor = openEditor();
        editor->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(editor.get()));
        const QStringList opening = editorState(*editor);

        editor->setCurrentCell(2, 1);
        editor->lbFiles->selectNames({QStringLiteral("One.wav")});
        editor->btnAddFilesClick();
        editor->StringGrid->item(1, 2)->setText(QStringLiteral("Renamed"));
        const QStringList renamed = editorState(*editor);
        editor->StringGrid->horizontalHeader()->moveSection(2, 0);
        for (int i = 0; i < 5; ++i)
            pressKeys(*editor, Qt::ControlModifier, Qt::Key_Z);
        QCOMPARE(editorState(*editor), opening);

        pressKeys(*editor, Qt::ControlModifier, Qt::Key_Y);
        pressKeys(*editor, Qt::ControlModifier, Qt::Key_Y);
        QCOMPARE(editorState(*editor), renamed);
        editor->StringGrid->item(4, 4)->setText(QStringLiteral("New"));
        const QStringList latest = editorState(*editor);
        QVERIFY(!editor->canRedo());
        pressKeys(*editor, Qt::ControlModifier, Qt::Key_Y);
        QCOMPARE(editorState(*editor), latest);

        // A new editor starts with nothing to take back.
        editor.reset();
        editor = openEditor();
        QVERIFY(!editor->canUndo());
    }

    void escapeClosesAsTheCloseBoxDoesAndClosingRedrawsTheShownSheet()
    {
        m_host.shown = 6;
        auto editor = openEditor();
        QTest::keyClick(editor->StringGrid, Qt::Key_Escape);
        QVERIFY(!editor->isVisible());
        QVERIFY(m_host.refreshed.isEmpty());
        editor.reset();
        QCOMPARE(m_host.refreshed, QList<int>{6});
    }
};

QTEST_MAIN(TestSchedual)
#include "tst_schedual.moc"
