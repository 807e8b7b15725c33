// SPDX-License-Identifier: GPL-3.0-or-later
#include "MainFormLayout.h"

#include "app/MasterLevelControl.h"
#include "app/MenuShortcuts.h"
#include "app/PlayingStrip.h"
#include "app/SheetTabControl.h"
#include "app/ShowGridControl.h"
#include "app/StatusNews.h"
#include "app/frmMain.h"
#include "controls/MPanel.h"
#include "controls/Tranbtn.h"
#include "platform/Fonts.h"
#include "platform/Guard.h"
#include "platform/Pictures.h"
#include "platform/WindowFrame.h"
#include "songs/SongStruc.h"

#include <QAction>
#include <QActionGroup>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QStatusBar>
#include <QTabBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

constexpr int ButtonColumns = 6;

/// The screen's pixels to a point: 2 on a dense screen.
int density()
{
    return qGuiApp && qGuiApp->devicePixelRatio() > 1.0 ? 2 : 1;
}

/// A picture drawn at build time (":/app/<name>-<size>.pixels") at each of `sizes`, and at twice
/// it on a dense screen only: each picture is read at once, and the start reads no more than
/// the screen shows.
void addDrawn(QIcon& icon, const QString& name, std::initializer_list<int> sizes, QIcon::Mode mode)
{
    for (const int size : sizes) {
        QPixmap drawn = Pictures::drawn(QStringLiteral(":/app/%1-%2.pixels").arg(name).arg(size * density()));
        drawn.setDevicePixelRatio(density());
        icon.addPixmap(drawn, mode);
    }
}

QIcon glyph(const QString& name, bool withDisabled)
{
    QIcon icon;
    addDrawn(icon, QStringLiteral("tb-") + name, {32}, QIcon::Normal);
    if (withDisabled)
        addDrawn(icon, QStringLiteral("tb-%1-disabled").arg(name), {32}, QIcon::Disabled);
    return icon;
}

} // namespace

void MainFormLayout::build(TMainForm& f)
{
    f.setWindowTitle(QStringLiteral("Sonavex"));
    QIcon windowIcon;
    addDrawn(windowIcon, QStringLiteral("sonavex"), {32, 64}, QIcon::Normal);
    f.setWindowIcon(windowIcon);
    f.setFont(Fonts::msSansSerif(11));
    WindowFrame::setOuterSize(&f, QSize(718, 464));
    WindowFrame::centre(&f);

    buildMenus(f);

    auto* central = new QWidget(&f);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    f.WavePlayerSlot = new QWidget(central);
    f.WavePlayerSlot->setFixedHeight(1);
    layout->addWidget(f.WavePlayerSlot);
    buildToolBar(f);
    f.ToolBar->setParent(central);
    layout->addWidget(f.ToolBar);
    buildTabControl(f);
    f.TabControl->setParent(central);
    layout->addWidget(f.TabControl, 1);
    // What plays, above the status bar: in the board view and the show view alike.
    f.Playing = new PlayingStrip(f.m_show, central);
    layout->addWidget(f.Playing);
    f.setCentralWidget(central);
    buildStatusBar(f);
    // The show view: the shown sheet as tiles that fill the window, on and off from Options.
    new ShowGridControl(f.m_show, *f.m_keys,
                        {&f, qobject_cast<QMenu*>(f.mnuKeys->parent()), f.mnuUseSongTimes, f.mnuShowKeys,
                         f.TabControl, f.Tabs, f.ToolBar, [&f](int slot, const QPoint& at) {
                             f.Tag = slot; // the menu's items act on its button
                             f.openTabPopup(at);
                         }});
}

void MainFormLayout::buildMenus(TMainForm& f)
{
    auto add = [&f](QMenu* menu, const QString& text, const QKeySequence& key, void (TMainForm::*handler)()) {
        auto* action = menu->addAction(text);
        action->setProperty("menuShortcut", key);
        if (handler)
            connectGuarded(action, &QAction::triggered, &f, [&f, handler] { (f.*handler)(); });
        return action;
    };

    QMenu* file = f.menuBar()->addMenu(QStringLiteral("&File"));
    f.mnuOpen = add(file, QStringLiteral("&Open Tab Editor"), QKeySequence(Qt::CTRL | Qt::Key_O),
                    &TMainForm::mnuOpenClick);
    add(file, QStringLiteral("&Collect Show..."), QKeySequence(), &TMainForm::mnuCollectShowClick);
    file->addSeparator();
    f.mnuPlaySong = add(file, QStringLiteral("&Play Song"), QKeySequence(Qt::CTRL | Qt::Key_P), nullptr);
    f.mnuStopSong = add(file, QStringLiteral("&Stop Song"), QKeySequence(Qt::CTRL | Qt::Key_S),
                        &TMainForm::mnuStopSongClick);
    f.mnuStopAll = add(file, QStringLiteral("Stop &All"), QKeySequence(Qt::CTRL | Qt::Key_A),
                       &TMainForm::mnuStopAllClick);
    file->addSeparator();
    f.Exit1 = add(file, QStringLiteral("E&xit"), QKeySequence(Qt::CTRL | Qt::Key_X), &TMainForm::Exit1Click);

    QMenu* options = f.menuBar()->addMenu(QStringLiteral("&Options"));
    f.FadeControl1 = add(options, QStringLiteral("&Fade Control"), QKeySequence(Qt::CTRL | Qt::Key_F),
                         &TMainForm::FadeControl1Click);
    f.mnuFadeAll = add(options, QStringLiteral("Fade A&ll"), QKeySequence(), &TMainForm::btnFadeAllClick);
    options->addSeparator();
    f.mnuStayOnTop = add(options, QStringLiteral("&Stay On Top"), QKeySequence(Qt::CTRL | Qt::Key_S),
                         &TMainForm::mnuStayOnTopClick);
    f.mnuStayOnTop->setCheckable(true);
    options->addSeparator();
    f.mnuIEStyle = add(options, QStringLiteral("I&E Style"), QKeySequence(Qt::CTRL | Qt::Key_E),
                       &TMainForm::mnuIEStyleClick);
    f.mnuIEStyle->setCheckable(true);
    f.mnuIEStyle->setChecked(true);
    auto* radio = new QActionGroup(&f);                                          // drawn as a radio item
    radio->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional); // it can still be unchecked
    radio->addAction(f.mnuIEStyle);
    options->addSeparator();
    f.mnuOutputDevice =
        add(options, QStringLiteral("&Output Device..."), QKeySequence(), &TMainForm::mnuOutputDeviceClick);
    f.mnuOutputDevice->setEnabled(f.m_show.outputs() != nullptr);
    f.mnuEvenLevels =
        add(options, QStringLiteral("E&ven Levels"), QKeySequence(), &TMainForm::mnuEvenLevelsClick);
    f.mnuEvenLevels->setCheckable(true);
    f.mnuEvenLevels->setEnabled(f.m_show.levels() != nullptr);
    f.mnuRemoteControl = add(options, QStringLiteral("&Remote Control..."), QKeySequence(), nullptr);
    f.mnuRemoteControl->setEnabled(false);
    f.mnuBackup = add(options, QStringLiteral("&Backup..."), QKeySequence(), nullptr);
    f.mnuBackup->setEnabled(false);
    f.mnuFollow = add(options, QStringLiteral("&Follow"), QKeySequence(), nullptr);
    f.mnuFollow->setEnabled(false);
    f.mnuCopyShow = add(options, QStringLiteral("&Copy Show from Main"), QKeySequence(), nullptr);
    f.mnuCopyShow->setEnabled(false);
    options->addSeparator();
    f.mnuShowKeys = add(options, QStringLiteral("Show &Keys"), QKeySequence(), &TMainForm::mnuShowKeysClick);
    f.mnuShowKeys->setCheckable(true);
    f.mnuShowKeys->setChecked(true);
    f.mnuShowTimeLeft =
        add(options, QStringLiteral("Show &Time Left"), QKeySequence(), &TMainForm::mnuShowTimeLeftClick);
    f.mnuShowTimeLeft->setCheckable(true);
    f.mnuUseSongTimes =
        add(options, QStringLiteral("&Use Song Times"), QKeySequence(), &TMainForm::mnuUseSongTimesClick);
    f.mnuUseSongTimes->setCheckable(true);
    f.mnuLogPlays = add(options, QStringLiteral("Keep a &Log of What Plays"), QKeySequence(),
                        &TMainForm::mnuLogPlaysClick);
    f.mnuLogPlays->setCheckable(true);
    f.mnuKeys = add(options, QStringLiteral("Ke&ys..."), QKeySequence(), &TMainForm::mnuKeysClick);

    QMenu* help = f.menuBar()->addMenu(QStringLiteral("&Help"));
    f.About1 = add(help, QStringLiteral("&About"), QKeySequence(), &TMainForm::About1Click);
    help->addSeparator();
    f.Contents1 = add(help, QStringLiteral("Contents"), QKeySequence(), &TMainForm::Contents1Click);

    for (QAction* a : {f.mnuPlaySong, f.mnuStopSong, f.mnuStopAll})
        a->setEnabled(false);

    f.TabPopup = new QMenu(&f);
    f.mnuChgTabName = f.TabPopup->addAction(QStringLiteral("Change Tab Name"));
    f.TabPopup->addSeparator();
    f.mnuClearTab = f.TabPopup->addAction(QStringLiteral("Clear Tab"));
    f.TabPopup->addSeparator();
    f.mnuSongAttributes = f.TabPopup->addAction(QStringLiteral("Song &Attributes..."));
    f.mnuButtonSettings = f.TabPopup->addAction(QStringLiteral("&Button Settings..."));
    f.TabPopup->addSeparator();
    f.mnuAssignKey = f.TabPopup->addAction(QStringLiteral("Assign &Key..."));
    f.mnuClearKey = f.TabPopup->addAction(QStringLiteral("Clear K&ey"));
    connectGuarded(f.mnuChgTabName, &QAction::triggered, &f, [&f] { f.mnuChgTabNameClick(); });
    connectGuarded(f.mnuClearTab, &QAction::triggered, &f, [&f] { f.mnuClearTabClick(); });
    connectGuarded(f.mnuSongAttributes, &QAction::triggered, &f, [&f] { f.EditSongStats1Click(); });
    connectGuarded(f.mnuButtonSettings, &QAction::triggered, &f, [&f] { f.mnuButtonSettingsClick(); });
    connectGuarded(f.mnuAssignKey, &QAction::triggered, &f, [&f] { f.mnuAssignKeyClick(); });
    connectGuarded(f.mnuClearKey, &QAction::triggered, &f, [&f] { f.mnuClearKeyClick(); });

    MenuShortcuts::install(&f, f.menuBar());
}

void MainFormLayout::buildToolBar(TMainForm& f)
{
    f.ToolBar = new TMPanel(&f);
    f.ToolBar->setFixedHeight(47);
    f.ToolBar->setColor(QColor(78, 139, 139));
    f.ToolBar->setBevelInner(TPanelBevel::bvLowered);
    f.ToolBar->setBorderSides(sideBit(TSide::sdRight) | sideBit(TSide::sdBottom));
    f.ToolBar->setBorderColor(QColor(0, 128, 128));

    auto make = [&f](int left, const QString& hint, const QString& glyphName, bool withDisabled, bool enabled,
                     void (TMainForm::*handler)()) {
        auto* b = new QToolButton(f.ToolBar);
        b->setGeometry(left, 4, 38, 38);
        b->setIcon(glyph(glyphName, withDisabled));
        b->setIconSize(QSize(32, 32));
        b->setAutoRaise(true);
        b->setFocusPolicy(Qt::NoFocus);
        b->setCursor(Qt::PointingHandCursor);
        b->setToolTip(hint);
        b->setEnabled(enabled);
        connectGuarded(b, &QToolButton::clicked, &f, [&f, handler] { (f.*handler)(); });
        return b;
    };
    f.tbtnOpen = make(5, QStringLiteral("Open the song sheet"), QStringLiteral("open"), false, true,
                      &TMainForm::tbtnOpenClick);
    f.btnPlay = make(46, QStringLiteral("Play scheduled songs"), QStringLiteral("play"), true, false,
                     &TMainForm::btnPlayClick);
    f.btnStop = make(88, QStringLiteral("Stop the currently running song"), QStringLiteral("stop"), true,
                     false, &TMainForm::btnStopClick);
    f.btnPause = make(129, QStringLiteral("pause the song"), QStringLiteral("pause"), true, false,
                      &TMainForm::btnPauseClick);
    f.btnFade = make(171, QStringLiteral("start fading the song"), QStringLiteral("fade"), true, true,
                     &TMainForm::btnFadeClick);
    f.btnFadeAll = make(212, QStringLiteral("Fade out everything that plays"), QStringLiteral("fadeall"),
                        false, true, &TMainForm::btnFadeAllClick);
    f.btnRecord = make(254, QStringLiteral("Record a wave file"), QStringLiteral("record"), true, true,
                       &TMainForm::btnRecordClick);
    f.btnHelp =
        make(662, QStringLiteral("Get help"), QStringLiteral("help"), true, true, &TMainForm::btnHelpClick);
    f.MasterLevel = new MasterLevelControl(f.m_show, f.ToolBar);
}

void MainFormLayout::buildTabControl(TMainForm& f)
{
    auto* tabs = new SheetTabControl(&f);
    f.TabControl = tabs;
    f.Tabs = tabs->tabBar;
    f.TabControl->setCursor(Qt::PointingHandCursor);
    f.TabControl->setContextMenuPolicy(Qt::NoContextMenu); // the menu key reaches the window
    // Coloured, then named, once all are in: the bar measures every tab again at each tab added
    // and at each colour set after a name, while names set last are measured once, when the
    // bar first lays itself out.
    for (int i = 0; i < SheetCount; ++i)
        f.Tabs->addTab(QString());
    for (int i = 0; i < SheetCount; ++i)
        f.Tabs->setTabTextColor(i, QColor(255, 0, 0));
    for (int i = 0; i < SheetCount; ++i)
        f.Tabs->setTabText(i, QStringLiteral("Music Sheet %1").arg(i + 1));
    f.Tabs->setCurrentIndex(0);
    f.Tabs->installEventFilter(&f);
    f.TabControl->installEventFilter(&f);
    connectGuarded(f.Tabs, &QTabBar::currentChanged, &f, &TMainForm::TabControlChange);

    for (int k = 0; k < SlotCount; ++k) {
        auto* b = new TMTranBtn(f.TabControl);
        b->setObjectName(QStringLiteral("MTranBtn%1").arg(k + 1));
        b->setGeometry(40 + 105 * (k % ButtonColumns), 47 + 42 * (k / ButtonColumns), 105, 42);
        b->setFont(Fonts::arial(12));
        b->setContextMenuPolicy(Qt::NoContextMenu);
        connectGuarded(b, &TMTranBtn::OnMouseDown, &f, &TMainForm::MTranBtn1MouseDown);
        QObject::connect(
            b, &TMTranBtn::OnMouseUp, &f,
            [&f](TMTranBtn* sender, Qt::MouseButton button, Qt::KeyboardModifiers, int x, int y) {
                guard([&] { f.board().release(f.shownTab(), sender->BtnNumber(), PressedBy::Mouse); });
                if (button == Qt::RightButton)
                    f.openTabPopup(sender->mapToGlobal(QPoint(x, y)));
            });
    }
}

void MainFormLayout::buildStatusBar(TMainForm& f)
{
    QStatusBar* bar = f.statusBar();
    bar->setFixedHeight(23);
    bar->setSizeGripEnabled(false);
    const int widths[3] = {75, 75, 0};
    for (int i = 0; i < 3; ++i) {
        auto* panel = new QLabel(bar);
        panel->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        panel->setFont(Fonts::transistor(19, true));
        QPalette green = panel->palette();
        green.setColor(QPalette::WindowText, QColor(0, 128, 0));
        panel->setPalette(green);
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        if (widths[i] > 0) {
            panel->setFixedWidth(widths[i]);
            bar->addWidget(panel);
        } else {
            bar->addWidget(panel, 1);
        }
        f.StatusPanels[i] = panel;
    }
    // The third panel holds a path. A segment face with letters (fourteen segments) needs
    // about 15 pixels a character at 19 pixels bold, so the panel would show "NOW PLAYING"
    // and two dozen characters of the path, all in capitals; a text face shows it whole.
    f.StatusPanels[2]->setFont(Fonts::arial(13));
    // News that arrives by itself shares the rest of the bar with the path while there is any.
    f.NewsPanel = new StatusNews(bar);
    f.NewsPanel->setFont(Fonts::arial(13));
    bar->addWidget(f.NewsPanel, 2);
}
