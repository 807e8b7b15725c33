// SPDX-License-Identifier: GPL-3.0-or-later
#include "frmMain.h"

#include "app/StatusNews.h"
#include "app/frmAssignKey.h"
#include "app/frmFade.h"
#include "app/frmOutputDevice.h"
#include "audio/MediaPlayer.h"
#include "audio/OutputDevices.h"
#include "audio/SongLevels.h"
#include "controls/MPanel.h"
#include "controls/Tranbtn.h"
#include "devices/Recorder.h"
#include "mci/CdTrackCatalog.h"
#include "platform/Dialogs.h"
#include "platform/DriveProbe.h"
#include "platform/ErrorReporter.h"
#include "platform/Errors.h"
#include "platform/Fonts.h"
#include "platform/Guard.h"
#include "platform/KeyRepeatGuard.h"
#include "platform/Registry.h"
#include "platform/Timer.h"
#include "platform/WindowFrame.h"
#include "songs/SongEdit.h"
#include "songs/SongFileLoad.h"
#include "songs/SongStruc.h"
#include "songs/schedual.h"
#include "windows/About.h"
#include "windows/help.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QStatusBar>
#include <QStyleOptionTabWidgetFrame>
#include <QTabBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>

namespace {

const QString RegistryKey = QStringLiteral("\\Software\\Brasswold");
const QString TabsKey = QStringLiteral("Tabs");
constexpr int ButtonColumns = 6;

/// A song whose file is not there (or is a folder): the message says which and why.
class SongMissing : public DeviceError {
public:
    using DeviceError::DeviceError;
};

// Topics of the status bar's news.
const QString OutputNews = QStringLiteral("output");   // the chosen output is missing
const QString ServerNews = QStringLiteral("server");   // no sound server answers
const QString SkippedNews = QStringLiteral("skipped"); // the queue skipped a song that cannot play
const QString SongFileNews = QStringLiteral("songfile"); // the song file's drive does not answer

/// Rounds half to the even neighbour, as the display of times does.
long long roundHalfEven(double value)
{
    return static_cast<long long>(std::nearbyint(value)); // the default rounding mode is to-nearest-even
}

QString tabValueName(int index)
{
    return QStringLiteral("Tab") + QString::number(index);
}

QIcon glyph(const QString& name, bool withDisabled)
{
    QIcon icon;
    const QString normal = QStringLiteral(":/app/tb-%1.svg").arg(name);
    icon.addFile(normal, QSize(32, 32), QIcon::Normal);
    if (withDisabled)
        icon.addFile(QStringLiteral(":/app/tb-%1-disabled.svg").arg(name), QSize(32, 32), QIcon::Disabled);
    return icon;
}

/// The tabs of the strip. The tab under the pointer lights up unless it is the shown one.
class SheetTabBar : public QTabBar {
public:
    using QTabBar::QTabBar;

    [[nodiscard]] int hoveredTab() const { return m_hover; }

protected:
    bool event(QEvent* event) override
    {
        bool handled = false;
        guard([&] {
            switch (event->type()) {
            case QEvent::HoverEnter:
            case QEvent::HoverMove:
                setHover(tabAt(static_cast<QHoverEvent*>(event)->position().toPoint()));
                break;
            case QEvent::HoverLeave:
                setHover(-1);
                break;
            default:
                break;
            }
            handled = QTabBar::event(event);
        });
        return handled;
    }

    void paintEvent(QPaintEvent* event) override
    {
        guard([&] {
            QTabBar::paintEvent(event);
            if (m_hover < 0 || m_hover == currentIndex() || m_hover >= count())
                return;
            QPainter p(this);
            QColor light = palette().color(QPalette::Highlight);
            light.setAlpha(56);
            p.fillRect(tabRect(m_hover).adjusted(2, 2, -2, 0), light);
        });
    }

private:
    void setHover(int index)
    {
        if (index == m_hover)
            return;
        if (m_hover >= 0)
            update(tabRect(m_hover));
        m_hover = index;
        if (m_hover >= 0)
            update(tabRect(m_hover));
    }

    int m_hover = -1;
};

/// The tab strip: the tabs on top and one page below them that holds the 36 buttons.
class SheetTabControl : public QWidget {
public:
    explicit SheetTabControl(QWidget* parent)
        : QWidget(parent)
        , tabBar(new SheetTabBar(this))
    {
        tabBar->setDrawBase(false);
        tabBar->setExpanding(false);
        tabBar->setUsesScrollButtons(true);
        tabBar->setCursor(Qt::PointingHandCursor);
        tabBar->setContextMenuPolicy(Qt::NoContextMenu);
        tabBar->setAttribute(Qt::WA_Hover);
        tabBar->move(2, 0);
    }

    QTabBar* tabBar;

protected:
    void resizeEvent(QResizeEvent*) override { tabBar->resize(width() - 4, tabBar->sizeHint().height()); }

    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        QStyleOptionTabWidgetFrame frame;
        frame.initFrom(this);
        frame.rect = rect().adjusted(0, tabBar->height() - 1, 0, 0);
        frame.shape = QTabBar::RoundedNorth;
        frame.tabBarSize = tabBar->size();
        style()->drawPrimitive(QStyle::PE_FrameTabWidget, &frame, &p, this);
    }
};

} // namespace

QString FormatSeconds(double seconds)
{
    const long long s = roundHalfEven(seconds);
    return QStringLiteral("%1:%2")
        .arg(s / 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'));
}

bool IsCdTrack(const QString& path)
{
    qsizetype sep = -1;
    for (const char c : {'\\', ':', '/'})
        sep = std::max(sep, path.lastIndexOf(QLatin1Char(c)));
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    if (dot <= sep)
        return false;
    return path.mid(dot).toUpper() == QLatin1String(".CDA");
}

int CdTrackNumber(const QString& path)
{
    const qsizetype dot = path.indexOf(QLatin1Char('.'));
    const qsizetype end = dot < 0 ? path.size() : dot;
    const qsizetype start = std::max<qsizetype>(0, end - 2);
    const QString digits = path.mid(start, end - start);
    bool ok = false;
    const int track = digits.trimmed().toInt(&ok, 10);
    if (!ok || digits.isEmpty() || digits.back().isSpace())
        throw ConvertError(QStringLiteral("'%1' is not a valid integer value").arg(digits));
    return track;
}

TMainForm::TMainForm(MainFormServices services, std::unique_ptr<TSongInfo> songInfo, QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                              Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint)
    , m_registry(services.registry)
    , m_dialogs(services.dialogs)
    , WavePlayer(services.WavePlayer)
    , m_cdTracks(services.cdTracks)
    , m_drives(services.drives)
    , m_outputs(services.outputs)
    , m_levels(services.levels)
    , SongInfo(std::move(songInfo))
    , m_keyRepeats(new KeyRepeatGuard(this))
{
    buildWindow();
    // An error in creation is reported and the window is still made and shown.
    guard([this] { FormCreate(); });
}

TMainForm::~TMainForm()
{
    FormDestroy();
}

void TMainForm::buildWindow()
{
    setWindowTitle(QStringLiteral("Sonavex"));
    setWindowIcon(QIcon(QStringLiteral(":/app/sonavex.svg")));
    setFont(Fonts::msSansSerif(11));
    WindowFrame::setOuterSize(this, QSize(718, 464));
    WindowFrame::centre(this);

    buildMenus();

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    WavePlayerSlot = new QWidget(central);
    WavePlayerSlot->setFixedHeight(1);
    layout->addWidget(WavePlayerSlot);
    buildToolBar();
    ToolBar->setParent(central);
    layout->addWidget(ToolBar);
    buildTabControl();
    TabControl->setParent(central);
    layout->addWidget(TabControl, 1);
    setCentralWidget(central);
    buildStatusBar();

    WaveTimer = new TTimer(this, 1000);
    FadeTimer = new TTimer(this, 500);
    connectGuarded(WaveTimer, &QTimer::timeout, this, &TMainForm::WaveTimerTimer);
    connectGuarded(FadeTimer, &QTimer::timeout, this, &TMainForm::FadeTimerTimer);
    connectGuarded(&WavePlayer, &MediaPlayer::PlayStateChange, this, &TMainForm::WavePlayerPlayStateChange);
    connectGuarded(&WavePlayer, &MediaPlayer::PlaybackLost, this, &TMainForm::WavePlayerPlaybackLost);
}

void TMainForm::buildMenus()
{
    auto add = [this](QMenu* menu, const QString& text, const QKeySequence& key, void (TMainForm::*handler)()) {
        auto* action = menu->addAction(text);
        action->setProperty("menuShortcut", key);
        if (handler)
            connectGuarded(action, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
        return action;
    };

    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    mnuOpen = add(file, QStringLiteral("&Open Tab Editor"), QKeySequence(Qt::CTRL | Qt::Key_O), &TMainForm::mnuOpenClick);
    file->addSeparator();
    mnuPlaySong = add(file, QStringLiteral("&Play Song"), QKeySequence(Qt::CTRL | Qt::Key_P), nullptr);
    mnuStopSong = add(file, QStringLiteral("&Stop Song"), QKeySequence(Qt::CTRL | Qt::Key_S), &TMainForm::mnuStopSongClick);
    mnuStopAll = add(file, QStringLiteral("Stop &All"), QKeySequence(Qt::CTRL | Qt::Key_A), &TMainForm::mnuStopAllClick);
    file->addSeparator();
    Exit1 = add(file, QStringLiteral("E&xit"), QKeySequence(Qt::CTRL | Qt::Key_X), &TMainForm::Exit1Click);

    QMenu* options = menuBar()->addMenu(QStringLiteral("&Options"));
    FadeControl1 = add(options, QStringLiteral("&Fade Control"), QKeySequence(Qt::CTRL | Qt::Key_F),
                       &TMainForm::FadeControl1Click);
    options->addSeparator();
    mnuStayOnTop = add(options, QStringLiteral("&Stay On Top"), QKeySequence(Qt::CTRL | Qt::Key_S),
                       &TMainForm::mnuStayOnTopClick);
    mnuStayOnTop->setCheckable(true);
    options->addSeparator();
    mnuIEStyle = add(options, QStringLiteral("I&E Style"), QKeySequence(Qt::CTRL | Qt::Key_E), &TMainForm::mnuIEStyleClick);
    mnuIEStyle->setCheckable(true);
    mnuIEStyle->setChecked(true);
    auto* radio = new QActionGroup(this); // drawn as a radio item
    radio->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional); // it can still be unchecked
    radio->addAction(mnuIEStyle);
    options->addSeparator();
    mnuOutputDevice =
        add(options, QStringLiteral("&Output Device..."), QKeySequence(), &TMainForm::mnuOutputDeviceClick);
    mnuOutputDevice->setEnabled(m_outputs != nullptr);
    mnuEvenLevels = add(options, QStringLiteral("E&ven Levels"), QKeySequence(), &TMainForm::mnuEvenLevelsClick);
    mnuEvenLevels->setCheckable(true);
    mnuEvenLevels->setEnabled(m_levels != nullptr);

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    About1 = add(help, QStringLiteral("&About"), QKeySequence(), &TMainForm::About1Click);
    help->addSeparator();
    Contents1 = add(help, QStringLiteral("Contents"), QKeySequence(), &TMainForm::Contents1Click);

    for (QAction* a : {mnuPlaySong, mnuStopSong, mnuStopAll})
        a->setEnabled(false);

    TabPopup = new QMenu(this);
    mnuChgTabName = TabPopup->addAction(QStringLiteral("Change Tab Name"));
    TabPopup->addSeparator();
    mnuClearTab = TabPopup->addAction(QStringLiteral("Clear Tab"));
    TabPopup->addSeparator();
    mnuSongAttributes = TabPopup->addAction(QStringLiteral("Song &Attributes..."));
    TabPopup->addSeparator();
    mnuAssignKey = TabPopup->addAction(QStringLiteral("Assign &Key..."));
    mnuClearKey = TabPopup->addAction(QStringLiteral("Clear K&ey"));
    connectGuarded(mnuChgTabName, &QAction::triggered, this, [this] { mnuChgTabNameClick(); });
    connectGuarded(mnuClearTab, &QAction::triggered, this, [this] { mnuClearTabClick(); });
    connectGuarded(mnuSongAttributes, &QAction::triggered, this, [this] { EditSongStats1Click(); });
    connectGuarded(mnuAssignKey, &QAction::triggered, this, [this] { mnuAssignKeyClick(); });
    connectGuarded(mnuClearKey, &QAction::triggered, this, [this] { mnuClearKeyClick(); });

    installMenuShortcuts();
}

void TMainForm::installMenuShortcuts()
{
    // The first item in menu order that carries a key gets it; later items only show it.
    // A disabled item then swallows the key, as its shortcut stays registered but inert.
    QList<QKeySequence> taken;
    for (QAction* top : menuBar()->actions()) {
        QMenu* menu = top->menu();
        if (!menu)
            continue;
        for (QAction* item : menu->actions()) {
            const auto key = item->property("menuShortcut").value<QKeySequence>();
            if (key.isEmpty())
                continue;
            if (taken.contains(key)) {
                item->setText(item->text() + QLatin1Char('\t') + key.toString(QKeySequence::NativeText));
                continue;
            }
            taken << key;
            item->setShortcut(key);
            item->setShortcutContext(Qt::WindowShortcut);
            addAction(item); // keys work while the menu bar is closed too
        }
    }
}

void TMainForm::buildToolBar()
{
    ToolBar = new TMPanel(this);
    ToolBar->setFixedHeight(47);
    ToolBar->setColor(QColor(78, 139, 139));
    ToolBar->setBevelInner(TPanelBevel::bvLowered);
    ToolBar->setBorderSides(sideBit(TSide::sdRight) | sideBit(TSide::sdBottom));
    ToolBar->setBorderColor(QColor(0, 128, 128));

    auto make = [this](int left, const QString& hint, const QString& glyphName, bool withDisabled, bool enabled,
                       void (TMainForm::*handler)()) {
        auto* b = new QToolButton(ToolBar);
        b->setGeometry(left, 4, 38, 38);
        b->setIcon(glyph(glyphName, withDisabled));
        b->setIconSize(QSize(32, 32));
        b->setAutoRaise(true);
        b->setFocusPolicy(Qt::NoFocus);
        b->setCursor(Qt::PointingHandCursor);
        b->setToolTip(hint);
        b->setEnabled(enabled);
        connectGuarded(b, &QToolButton::clicked, this, [this, handler] { (this->*handler)(); });
        return b;
    };
    tbtnOpen = make(5, QStringLiteral("Open the song sheet"), QStringLiteral("open"), false, true, &TMainForm::tbtnOpenClick);
    btnPlay = make(46, QStringLiteral("Play scheduled songs"), QStringLiteral("play"), true, false, &TMainForm::btnPlayClick);
    btnStop = make(88, QStringLiteral("Stop the currently running song"), QStringLiteral("stop"), true, false,
                   &TMainForm::btnStopClick);
    btnPause = make(129, QStringLiteral("pause the song"), QStringLiteral("pause"), true, false, &TMainForm::btnPauseClick);
    btnFade = make(171, QStringLiteral("start fading the song"), QStringLiteral("fade"), true, true, &TMainForm::btnFadeClick);
    btnRecord = make(212, QStringLiteral("Record a wave file"), QStringLiteral("record"), true, true,
                     &TMainForm::btnRecordClick);
    btnHelp = make(662, QStringLiteral("Get help"), QStringLiteral("help"), true, true, &TMainForm::btnHelpClick);
}

void TMainForm::buildTabControl()
{
    auto* tabs = new SheetTabControl(this);
    TabControl = tabs;
    Tabs = tabs->tabBar;
    TabControl->setCursor(Qt::PointingHandCursor);
    TabControl->setContextMenuPolicy(Qt::NoContextMenu); // the menu key reaches the window
    for (int i = 0; i < SheetCount; ++i) {
        Tabs->addTab(QStringLiteral("Music Sheet %1").arg(i + 1));
        Tabs->setTabTextColor(i, QColor(255, 0, 0));
    }
    Tabs->setCurrentIndex(0);
    Tabs->installEventFilter(this);
    TabControl->installEventFilter(this);
    connectGuarded(Tabs, &QTabBar::currentChanged, this, &TMainForm::TabControlChange);

    for (int k = 0; k < SlotCount; ++k) {
        auto* b = new TMTranBtn(TabControl);
        b->setObjectName(QStringLiteral("MTranBtn%1").arg(k + 1));
        b->setGeometry(40 + 105 * (k % ButtonColumns), 47 + 42 * (k / ButtonColumns), 105, 42);
        b->setFont(Fonts::arial(12));
        b->setContextMenuPolicy(Qt::NoContextMenu);
        connectGuarded(b, &TMTranBtn::OnMouseDown, this, &TMainForm::MTranBtn1MouseDown);
        connect(b, &TMTranBtn::OnMouseUp, this,
                [this](TMTranBtn* sender, Qt::MouseButton button, Qt::KeyboardModifiers, int x, int y) {
                    if (button == Qt::RightButton)
                        openTabPopup(sender->mapToGlobal(QPoint(x, y)));
                });
    }
}

void TMainForm::buildStatusBar()
{
    QStatusBar* bar = statusBar();
    bar->setFixedHeight(23);
    bar->setSizeGripEnabled(false);
    const int widths[3] = {75, 75, 0};
    for (int i = 0; i < 3; ++i) {
        auto* panel = new QLabel(bar);
        panel->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        panel->setFont(Fonts::transistor(19, true));
        panel->setStyleSheet(QStringLiteral("color: rgb(0, 128, 0);"));
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        if (widths[i] > 0) {
            panel->setFixedWidth(widths[i]);
            bar->addWidget(panel);
        } else {
            bar->addWidget(panel, 1);
        }
        StatusPanels[i] = panel;
    }
    // The third panel holds a path. A segment face with letters (fourteen segments) needs
    // about 15 pixels a character at 19 pixels bold, so the panel would show "NOW PLAYING"
    // and two dozen characters of the path, all in capitals; a text face shows it whole.
    StatusPanels[2]->setFont(Fonts::arial(13));
    // News that arrives by itself shares the rest of the bar with the path while there is any.
    NewsPanel = new StatusNews(bar);
    NewsPanel->setFont(Fonts::arial(13));
    bar->addWidget(NewsPanel, 2);
}

void TMainForm::sayNews(const QString& topic, const QString& text)
{
    NewsPanel->say(topic, text);
}

void TMainForm::clearNews(const QString& topic)
{
    NewsPanel->clear(topic);
}

void TMainForm::loadSongs()
{
    m_songsOnThread = true;
    auto* load = new SongFileLoad(*SongInfo, this);
    connectGuarded(load, &SongFileLoad::slow, this, [this] {
        sayNews(SongFileNews,
                QStringLiteral("The song file's drive does not answer; the songs show when it does (%1).")
                    .arg(QDir::toNativeSeparators(SongInfo->infoPath())));
    });
    connectGuarded(load, &SongFileLoad::loaded, this, [this, load](const QString& problem) {
        if (problem.isEmpty())
            clearNews(SongFileNews);
        else
            sayNews(SongFileNews, problem);
        load->deleteLater();
        if (!m_destroyed)
            RefreshButtons(shownTab());
    });
    load->start();
}

// --- creation, showing, shutdown ------------------------------------------------------------------------

void TMainForm::FormCreate()
{
    FadeSetting = 3;
    // Without a CD player the board still comes up whole; a CD song then explains why it cannot play.
    try {
        CDPlayer = std::make_unique<TCDPlayer>(0, *this, *this);
    } catch (const std::exception& e) {
        CDPlayer = std::make_unique<TNoCDPlayer>(QString::fromUtf8(e.what()), *this);
    }
    PlayQueue.clear();
    // A settings file that cannot be read is reported, and the board still gets its buttons.
    guard([this] { LoadTabNames(); });
    guard([this] { LoadSlotKeys(); });
    guard([this] { LoadOutputDevice(); });
    guard([this] { LoadEvenLevels(); });
    // The tab strip's buttons in the order they were made: MTranBtn1 is slot 0.
    const QList<TMTranBtn*> children = TabControl->findChildren<TMTranBtn*>(Qt::FindDirectChildrenOnly);
    if (children.size() != SlotCount)
        throw RangeError(QStringLiteral("Range check error"));
    for (int k = 0; k < SlotCount; ++k) {
        SongButtons[static_cast<std::size_t>(k)] = children[k];
        SongButtons[static_cast<std::size_t>(k)]->setBtnNumber(k);
        SongButtons[static_cast<std::size_t>(k)]->setBorder(BStyle::BsIe);
    }
    RefreshButtons(0);
}

void TMainForm::LoadTabNames()
{
    m_registry.OpenKey(RegistryKey, true);
    const auto release = qScopeGuard([this] { m_registry.CloseKey(); });
    if (!m_registry.OpenKey(TabsKey, false))
        return;
    // Tab i takes the value "Tab"i, so a caption never moves to another tab.
    for (int i = 0; i < SheetCount; ++i) {
        const QString caption = m_registry.ReadString(tabValueName(i));
        if (!caption.isEmpty())
            Tabs->setTabText(i, caption);
    }
}

void TMainForm::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!m_shownOnce) {
        m_shownOnce = true;
        guard([this] { FormShow(); });
    }
}

void TMainForm::FormShow()
{
    if (m_splash && m_splash->isVisible())
        m_splash->close();
}

void TMainForm::closeEvent(QCloseEvent* event)
{
    // Ending the program cuts the music: in the middle of a show it asks first.
    bool end = true;
    if (m_askBeforeExit && !m_destroyed && !m_exitDecided && showInProgress()) {
        guard([&] {
            end = m_dialogs.messageBox(this, QStringLiteral("A song is playing. Exit Sonavex?"),
                                       Dialogs::Style::Confirmation, Dialogs::Buttons::YesNoDefaultNo) ==
                  Dialogs::Answer::Yes;
        });
    }
    if (!end) {
        event->ignore();
        return;
    }
    if (m_songsOnThread && !m_songDriveAnswered && !m_destroyed) {
        // The songs are saved when the window goes: not before their drive answers.
        m_exitDecided = true;
        event->ignore();
        waitForSongDrive();
        return;
    }
    event->accept();
    QMainWindow::closeEvent(event);
}

void TMainForm::waitForSongDrive()
{
    if (findChild<DriveProbe*>())
        return; // waiting already
    auto* probe = new DriveProbe(QFileInfo(SongInfo->infoPath()).absolutePath(), this);
    connectGuarded(probe, &DriveProbe::slow, this, &TMainForm::offerRescueFile);
    connectGuarded(probe, &DriveProbe::answered, this, [this, probe] {
        probe->deleteLater();
        clearNews(SongFileNews);
        endAfterSongDrive();
    });
    probe->start();
}

void TMainForm::Exit1Click()
{
    if (close())
        QCoreApplication::quit();
}

void TMainForm::offerRescueFile()
{
    sayNews(SongFileNews,
            QStringLiteral("Waiting for the song file's drive to save the songs before Sonavex ends (%1).")
                .arg(QDir::toNativeSeparators(SongInfo->infoPath())));
    if (!btnRescue) {
        btnRescue = new QPushButton(QStringLiteral("Save to a Rescue File"), statusBar());
        btnRescue->setObjectName(QStringLiteral("btnRescue"));
        statusBar()->addPermanentWidget(btnRescue);
        connectGuarded(btnRescue, &QPushButton::clicked, this, [this] {
            SongInfo->saveToRescueFile();
            endAfterSongDrive();
        });
    }
    btnRescue->show();
}

void TMainForm::endAfterSongDrive()
{
    m_songDriveAnswered = true;
    if (close())
        QCoreApplication::quit();
}

bool TMainForm::endShowWithoutAsking()
{
    m_askBeforeExit = false;
    return close();
}

bool TMainForm::showInProgress() const
{
    return somethingPlays() || !PlayQueue.isEmpty();
}

void TMainForm::FormDestroy()
{
    m_destroyed = true;
    // No signal reaches the window's handlers from here on: not from the players, which
    // outlive it, nor from its children while they are destroyed after the song store.
    QObject::disconnect(&WavePlayer, nullptr, this, nullptr);
    for (QObject* child : findChildren<QObject*>())
        QObject::disconnect(child, nullptr, this, nullptr);
    // Each step goes on even when one before it failed: the song store must be saved.
    guard([this] {
        m_registry.OpenKey(RegistryKey, true);
        const auto release = qScopeGuard([this] { m_registry.CloseKey(); });
        m_registry.OpenKey(TabsKey, true);
        for (int i = 0; i < SheetCount; ++i)
            m_registry.WriteString(tabValueName(i), Tabs->tabText(i));
    });
    PlayQueue.clear();
    guard([this] {
        WavePlayer.setSendPlayStateChangeEvents(false);
        WavePlayer.stop();
    });
    guard([this] { CDPlayer.reset(); });
    if (m_outputs) {
        guard([this] { m_outputs->setOutputMissingHandler({}); });
        guard([this] { m_outputs->setServerLostHandler({}); });
    }
    FadeTimer->setEnabled(false);
    WaveTimer->setEnabled(false);
    guard([this] { SongInfo.reset(); });
}

// --- sheets and buttons ---------------------------------------------------------------------------------

QString TMainForm::tabCaption(int index) const
{
    checkRange(index, 0, SheetCount - 1);
    return Tabs->tabText(index);
}

void TMainForm::setTabCaption(int index, const QString& caption)
{
    checkRange(index, 0, SheetCount - 1);
    Tabs->setTabText(index, caption);
    Q_EMIT boardChanged();
}

int TMainForm::shownTab() const
{
    return Tabs->currentIndex();
}

void TMainForm::RefreshButtons(int Sheet)
{
    const QueueView view = queueView();
    for (int k = 0; k < SlotCount; ++k) {
        TMTranBtn* B = SongButtons[static_cast<std::size_t>(k)];
        TSongRecord rec;
        if (SongInfo->GetSong(Sheet, k, rec)) {
            B->setCaption(rec.Title.str());
            B->setFontColor(captionColour(slotStateOf(rec.FileName.str(), view)));
        } else {
            B->setCaption(EmptyTitle);
            B->setFontColor(captionColour(SlotState::Empty));
        }
        B->update();
    }
    showKeyHints(Sheet);
    updateHotList();
    Q_EMIT boardChanged();
}

QueueView TMainForm::queueView() const
{
    // Colours follow what plays: a playing song taken out of the queue is still green,
    // and the queue's head is then the next song, yellow.
    return {PlayQueue, PlayState == TPlayState::psPlaying, m_headDetached, m_playingPath};
}

std::optional<SlotRef> TMainForm::pressedSlotOf(const QString& file) const
{
    const auto it = m_pressedSlots.constFind(file.toCaseFolded());
    if (it == m_pressedSlots.cend())
        return std::nullopt;
    return *it;
}

double TMainForm::songPosition() const
{
    const QString song = currentSong();
    if (song.isEmpty())
        return 0.0;
    if (!IsCdTrack(song))
        return WavePlayer.currentPosition();
    const QString text = CDPlayer->PositionText(); // "mm:ss"
    return text.section(QLatin1Char(':'), 0, 0).toDouble() * 60 + text.section(QLatin1Char(':'), 1, 1).toDouble();
}

double TMainForm::songLength() const
{
    const QString song = currentSong();
    return song.isEmpty() || IsCdTrack(song) ? 0.0 : WavePlayer.duration();
}

void TMainForm::updateHotList()
{
    // Songs the operator may press next: the shown sheet and the queue.
    QStringList hot = PlayQueue;
    const int sheet = shownTab();
    for (int k = 0; k < SlotCount; ++k) {
        TSongRecord rec;
        if (sheet >= 0 && SongInfo->GetSong(sheet, k, rec)) {
            const QString file = rec.FileName.str();
            if (!file.isEmpty() && !IsCdTrack(file) && !hot.contains(file))
                hot << file;
        }
    }
    hot.removeIf([](const QString& f) { return IsCdTrack(f); });
    for (QString& file : hot)
        file = SongInfo->playPath(file); // found songs are decoded ahead where they play from
    hot.removeDuplicates();
    if (hot == m_hotList)
        return; // every press redraws; the decoder need not start over
    m_hotList = hot;
    WavePlayer.setHotList(hot);
}

void TMainForm::TabControlChange(int index)
{
    RefreshButtons(index);
}

void TMainForm::mnuChgTabNameClick()
{
    m_registry.OpenKey(RegistryKey, true);
    const auto release = qScopeGuard([this] { m_registry.CloseKey(); });
    const int i = Tabs->currentIndex();
    const QString Old = Tabs->tabText(i);
    const QString text = m_dialogs.inputBox(this, QStringLiteral("New Tab Name"),
                                            QStringLiteral("Change ") + Old + QStringLiteral(" to"), Old);
    if (text != Old) {
        m_registry.OpenKey(TabsKey, true);
        m_registry.WriteString(tabValueName(i), text);
    }
    Tabs->setTabText(i, text);
    Q_EMIT boardChanged();
}

void TMainForm::mnuClearTabClick()
{
    const int s = shownTab();
    for (int k = 0; k < SlotCount; ++k) {
        SongInfo->ClearSong(s, k);
        slotCleared(s, k);
        SongButtons[static_cast<std::size_t>(k)]->setFontColor(QColor(0, 0, 0));
        SongButtons[static_cast<std::size_t>(k)]->setCaption(EmptyTitle);
        SongButtons[static_cast<std::size_t>(k)]->update();
    }
}

void TMainForm::mnuIEStyleClick()
{
    // The action toggled its own check mark already.
    const BStyle style = mnuIEStyle->isChecked() ? BStyle::BsIe : BStyle::BsNormal;
    for (TMTranBtn* b : SongButtons)
        b->setBorder(style);
}

void TMainForm::mnuStayOnTopClick()
{
    const QRect geometryBefore = geometry();
    const bool wasVisible = isVisible();
    setWindowFlag(Qt::WindowStaysOnTopHint, mnuStayOnTop->isChecked());
    setGeometry(geometryBefore);
    if (wasVisible)
        show();
}

// --- context menu -----------------------------------------------------------------------------------------

void TMainForm::openTabPopup(const QPoint& globalPos)
{
    TabPopup->popup(globalPos);
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event)
{
    // The tab strip's menu opens when the right button is released over it.
    if ((watched == Tabs || watched == TabControl) && event->type() == QEvent::MouseButtonRelease) {
        auto* me = static_cast<QMouseEvent*>(event);
        if (me->button() == Qt::RightButton) {
            openTabPopup(me->globalPosition().toPoint());
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TMainForm::contextMenuEvent(QContextMenuEvent* event)
{
    // The menu key and Shift+F10 open the sheet menu over the button pressed last.
    if (event->reason() == QContextMenuEvent::Keyboard) {
        const int slot = (Tag >= 0 && Tag < SlotCount) ? Tag : 0;
        TMTranBtn* b = SongButtons[static_cast<std::size_t>(slot)];
        openTabPopup(b->mapToGlobal(b->rect().center()));
        event->accept();
        return;
    }
    QMainWindow::contextMenuEvent(event);
}

// --- other windows ----------------------------------------------------------------------------------------

void TMainForm::tbtnOpenClick()
{
    TfrmSchedual editor(this, *SongInfo, *this, m_dialogs, m_cdTracks, m_drives);
    editor.exec();
}

void TMainForm::mnuOpenClick()
{
    tbtnOpenClick();
}

void TMainForm::EditSongStats1Click()
{
    if (Tag < 0 || Tag >= SlotCount)
        return;
    TfrmSongEdit dialog(this, *SongInfo, shownTab(), Tag, m_levels);
    if (dialog.exec() == QDialog::Accepted)
        RefreshButtons(shownTab()); // a new title shows at once
}

void TMainForm::btnRecordClick()
{
    TRecForm recorder(this, m_dialogs);
    recorder.exec();
}

void TMainForm::btnHelpClick()
{
    TfrmHelp help(this, m_registry);
    help.exec();
}

void TMainForm::Contents1Click()
{
    btnHelpClick();
}

void TMainForm::About1Click()
{
    QStringList notes;
    if (m_levels)
        if (const QString problem = m_levels->cacheProblem(); !problem.isEmpty())
            notes << problem;
    TfrmAbout about(this, notes);
    about.exec();
}

void TMainForm::FadeControl1Click()
{
    TfrmFadeCtrl dialog(this);
    if (dialog.exec() == QDialog::Accepted)
        FadeSetting = dialog.tbFade->value();
}

// --- playback -----------------------------------------------------------------------------------------------

QString TMainForm::currentSong() const
{
    if (m_headDetached)
        return m_playingPath;
    return PlayQueue.isEmpty() ? QString() : PlayQueue.first();
}

void TMainForm::MTranBtn1MouseDown(TMTranBtn* Sender, Qt::MouseButton, Qt::KeyboardModifiers Shift, int, int)
{
    if (Shift.testFlag(Qt::ShiftModifier))
        QueueMode = true;
    const int n = Sender->BtnNumber();
    Tag = n;
    TSongRecord rec;
    if (n < 0 || n >= SlotCount || !SongInfo->GetSong(pressedSheet(), n, rec)) {
        QueueMode = false; // a Shift+press belongs to that press only
        return;
    }
    const QString file = rec.FileName.str();
    m_pressedSlots.insert(file.toCaseFolded(), {pressedSheet(), n});

    if (QueueMode) {
        QueueMode = false;
        qsizetype P = -1;
        for (qsizetype i = 0; i < PlayQueue.size(); ++i) {
            if (PlayQueue[i].compare(file, Qt::CaseInsensitive) == 0) {
                P = i;
                break;
            }
        }
        if (P >= 0) {
            // The playing song may leave the queue; it plays on, and the next one still follows it.
            if (P == 0 && !m_headDetached && PlayState != TPlayState::psStopped) {
                m_headDetached = true;
                m_playingPath = PlayQueue.first();
            }
            PlayQueue.removeAt(P);
        } else {
            if (PlayState == TPlayState::psStopped)
                btnPlay->setEnabled(true);
            PlayQueue.append(file);
            mnuPlaySong->setEnabled(false);
        }
        RefreshButtons(shownTab());
        return;
    }

    // What the board showed, to put back when the pressed song cannot start and the one
    // that played plays on.
    const QStringList queueBefore = PlayQueue;
    const bool detachedBefore = m_headDetached;
    const QString playingBefore = m_playingPath;
    const bool timerBefore = WaveTimer->Enabled();

    WaveTimer->setEnabled(false);
    // A press while paused starts the pressed song from its beginning.
    if (PlayState == TPlayState::psPaused)
        stopPausedSongSilently();
    m_headDetached = false;
    PlayQueue.clear();
    PlayQueue.append(file);
    clearNews(SkippedNews); // news of the show before this press
    // The sound first: the buttons' colours and the hot list follow once it is under way.
    try {
        if (startQueue(StartedBy::Press) || !somethingPlays()) {
            RefreshButtons(shownTab());
            return;
        }
    } catch (...) {
        // The pressed song cannot play. The board is put back first (the song that played
        // goes on, named in the status bar), then the operator is told.
        if (somethingPlays()) {
            PlayQueue = queueBefore;
            m_headDetached = detachedBefore;
            m_playingPath = playingBefore;
            WaveTimer->setEnabled(timerBefore);
        } else {
            PlayQueue.clear();
            PlayState = TPlayState::psStopped;
            showIdle();
        }
        RefreshButtons(shownTab());
        try {
            throw;
        } catch (const SongMissing& e) {
            m_dialogs.messageBox(this, e.message(), Dialogs::Style::Error, Dialogs::Buttons::Ok);
        }
        return; // any other error has gone on to the error reporter
    }
    PlayQueue = queueBefore;
    m_headDetached = detachedBefore;
    m_playingPath = playingBefore;
    WaveTimer->setEnabled(timerBefore);
    RefreshButtons(shownTab());
}

bool TMainForm::somethingPlays() const
{
    if (WavePlayer.playState() != MediaPlayer::Stopped)
        return true;
    return CDPlayer->State == TCDState::cdPlaying || CDPlayer->State == TCDState::cdPaused;
}

void TMainForm::stopPausedSongSilently()
{
    if (IsCdTrack(currentSong())) {
        CDPlayer->Stop();
    } else {
        WavePlayer.setSendPlayStateChangeEvents(false);
        const auto restore = qScopeGuard([this] { WavePlayer.setSendPlayStateChangeEvents(true); });
        WavePlayer.stop();
    }
    PlayState = TPlayState::psStopped;
}

void TMainForm::btnPlayClick()
{
    if (PlayState == TPlayState::psPaused) {
        btnPlay->setEnabled(false);
        btnPause->setEnabled(true);
        if (IsCdTrack(currentSong())) {
            CDPlayer->PlayTrack(0);
            // The device reports no resume (it last reported playing), so the board
            // marks it: a paused state here would turn the next press into a resume.
            PlayState = TPlayState::psPlaying;
            UpdatePlayState();
        } else {
            WavePlayer.play();
        }
        return;
    }
    startQueue(StartedBy::Queue);
}

bool TMainForm::startQueue(StartedBy by)
{
    while (!PlayQueue.isEmpty()) {
        const QString head = PlayQueue.first();
        const QString lengthBefore = StatusPanels[1]->text();
        try {
            if (const QString why = whyMissing(head); !why.isEmpty())
                throw SongMissing(why);
            // The sound first, the controls and the status bar after it.
            StartSong(head);
        } catch (const NoAudioOutput& e) {
            // The machine has no sound output: not the song's fault. The queue waits for it.
            StatusPanels[1]->setText(lengthBefore);
            sayNews(ServerNews, e.message());
            if (!somethingPlays())
                holdQueue();
            return false;
        } catch (const SonavexError& e) {
            StatusPanels[1]->setText(lengthBefore);
            if (by == StartedBy::Press)
                throw; // the operator pressed that song: the press answers
            // The queue moves on by itself: the show goes on with the next song at once.
            sayNews(SkippedNews, QStringLiteral("Skipped: ") + e.message());
            if (!PlayQueue.isEmpty() && PlayQueue.first() == head)
                PlayQueue.removeFirst();
            continue;
        }
        btnStop->setEnabled(true);
        btnPause->setEnabled(true);
        mnuStopSong->setEnabled(true);
        mnuStopAll->setEnabled(true);
        StatusPanels[2]->setText(nowPlayingText(head));
        clearNews(ServerNews); // a song plays: the output is there
        return true;
    }
    PlayState = TPlayState::psStopped;
    showIdle();
    return false;
}

void TMainForm::holdQueue()
{
    endFade();
    m_headDetached = false;
    PlayState = TPlayState::psStopped;
    showIdle();
    if (!PlayQueue.isEmpty())
        btnPlay->setEnabled(true);
}

void TMainForm::showIdle()
{
    for (QWidget* w : {static_cast<QWidget*>(btnPause), static_cast<QWidget*>(btnStop), static_cast<QWidget*>(btnPlay)})
        w->setEnabled(false);
    for (QAction* a : {mnuStopSong, mnuStopAll, mnuPlaySong})
        a->setEnabled(false);
    WaveTimer->setEnabled(false);
    RefreshButtons(shownTab());
}

QString TMainForm::nowPlayingText(const QString& song) const
{
    const SongLocator::Found found = SongInfo->found(song);
    if (found.path.isEmpty())
        return QStringLiteral("Now Playing ") + song;
    QString text = QStringLiteral("Now Playing ") + found.path;
    if (found.candidates > 1)
        text += QStringLiteral(" (the first by name of %1 found)").arg(found.candidates);
    return text;
}

QString TMainForm::whyMissing(const QString& Song) const
{
    const QString Path = SongInfo->playPath(Song);
    if (FileExists(Path, m_cdTracks))
        return {};
    // A folder named like a song is there, and "Unable to find" would send the operator looking for it.
    if (!IsCdTrack(Path) && QFileInfo(Path).isDir())
        return QStringLiteral("Unable to play ") + Path + QStringLiteral(": it is a folder, not a song file");
    return QStringLiteral("Unable to find ") + Path + SongInfo->notFoundNote(Song);
}

void TMainForm::StartSong(const QString& Song)
{
    // A song not where it was stored plays from where it was found when the sheets were read.
    const QString Path = SongInfo->playPath(Song);

    if (IsCdTrack(Path)) {
        // The player is asked before anything changes: one that could not be created answers
        // with why, and the song that plays goes on.
        QString position;
        try {
            position = CDPlayer->PositionText();
        } catch (const CDPlayerUnavailable& e) {
            throw DeviceError(QStringLiteral("Unable to play ") + Path + QStringLiteral(": ") + e.message());
        }
        const int Track = CdTrackNumber(Path); // a name without a number leaves the song that plays alone
        endFade(); // a fade belongs to the song it was started on
        if (WavePlayer.playState() != MediaPlayer::Stopped) {
            WavePlayer.setSendPlayStateChangeEvents(false);
            const auto restore = qScopeGuard([this] { WavePlayer.setSendPlayStateChangeEvents(true); });
            WavePlayer.stop();
        }
        WaveTimer->setEnabled(true);
        StatusPanels[1]->setText(position);
        CDPlayer->PlayTrack(Track);
        m_playingPath = Song;
        PlayState = TPlayState::psPlaying;
        UpdatePlayState();
        return;
    }

    // The new file is opened and started first: one that cannot play leaves the song that plays alone.
    WavePlayer.setFileName(Path);
    if (CDPlayer->State == TCDState::cdPlaying)
        CDPlayer->Stop();
    endFade(); // a fade belongs to the song it was started on
    WaveTimer->setEnabled(true);
    m_playingPath = Song;
    StatusPanels[1]->setText(FormatSeconds(WavePlayer.duration()));
}

void TMainForm::UpdatePlayState()
{
    switch (PlayState) {
    case TPlayState::psStopped:
        endFade();
        if (m_headDetached)
            m_headDetached = false; // the song that ended had left the queue already
        else if (!PlayQueue.isEmpty())
            PlayQueue.removeFirst();
        if (!PlayQueue.isEmpty())
            btnPlayClick();
        else
            showIdle();
        RefreshButtons(shownTab());
        break;
    case TPlayState::psPaused:
        btnPlay->setEnabled(true);
        btnPause->setEnabled(false);
        Q_EMIT boardChanged();
        break;
    case TPlayState::psPlaying:
        btnPlay->setEnabled(false);
        btnStop->setEnabled(true);
        btnPause->setEnabled(true);
        RefreshButtons(shownTab());
        break;
    }
}

void TMainForm::WavePlayerPlayStateChange(int, int NewState)
{
    QCoreApplication::processEvents();
    if (m_destroyed)
        return;
    // A handler that ran just now may have moved the player on (a Stop Song that met the
    // natural end of the song has started the next one): a report of a state the player has
    // left is old news, and acting on it would drop the next song too.
    if (NewState >= MediaPlayer::Stopped && NewState <= MediaPlayer::Playing && NewState != WavePlayer.playState())
        return;
    switch (NewState) {
    case MediaPlayer::Stopped: PlayState = TPlayState::psStopped; break;
    case MediaPlayer::Paused: PlayState = TPlayState::psPaused; break;
    case MediaPlayer::Playing: PlayState = TPlayState::psPlaying; break;
    default: break;
    }
    UpdatePlayState();
}

void TMainForm::WavePlayerPlaybackLost(const QString& message)
{
    if (m_destroyed || WavePlayer.playState() != MediaPlayer::Stopped)
        return;
    // The show cannot go on without a sound output; the queue stays for when it is back.
    sayNews(ServerNews, message);
    holdQueue();
}

void TMainForm::CDStateChanged(TCDState State)
{
    if (State == TCDState::cdStopped)
        PlayState = TPlayState::psStopped;
    else if (State == TCDState::cdPlaying)
        PlayState = TPlayState::psPlaying;
    UpdatePlayState();
}

void TMainForm::mnuStopSongClick()
{
    if (IsCdTrack(currentSong())) {
        CDPlayer->Stop();
        PlayState = TPlayState::psStopped;
        UpdatePlayState();
        return;
    }
    if (WavePlayer.playState() == MediaPlayer::Stopped && !PlayQueue.isEmpty()) {
        // Nothing plays (the head could not be found): skip it as a stop would.
        PlayState = TPlayState::psStopped;
        UpdatePlayState();
        return;
    }
    WavePlayer.stop();
}

void TMainForm::btnStopClick()
{
    btnPause->setEnabled(false);
    mnuStopSongClick();
}

void TMainForm::mnuStopAllClick()
{
    const QString H = currentSong();
    PlayQueue.clear();
    if (IsCdTrack(H)) {
        CDPlayer->Stop();
        PlayState = TPlayState::psStopped;
        UpdatePlayState();
    } else if (WavePlayer.playState() == MediaPlayer::Stopped) {
        // Nothing to report a stop: return to the idle state here.
        PlayState = TPlayState::psStopped;
        UpdatePlayState();
    } else {
        WavePlayer.stop();
    }
    RefreshButtons(shownTab());
}

void TMainForm::btnPauseClick()
{
    if (IsCdTrack(currentSong())) {
        CDPlayer->Pause();
        PlayState = TPlayState::psPaused;
        UpdatePlayState();
        return;
    }
    WavePlayer.pause();
}

void TMainForm::WaveTimerTimer()
{
    if (IsCdTrack(currentSong()))
        StatusPanels[0]->setText(CDPlayer->PositionText());
    else
        StatusPanels[0]->setText(WavePositionText());
}

QString TMainForm::WavePositionText() const
{
    return FormatSeconds(WavePlayer.currentPosition());
}

void TMainForm::btnFadeClick()
{
    FadeTimer->setEnabled(true);
}

void TMainForm::FadeTimerTimer()
{
    static constexpr int Steps[] = {-500, -400, -300, -200, -100};
    if (FadeSetting >= 1 && FadeSetting <= 5)
        WavePlayer.setVolume(WavePlayer.volume() + Steps[FadeSetting - 1]);
    if (WavePlayer.volume() <= -6000) {
        FadeTimer->setEnabled(false);
        WavePlayer.setVolume(0);
        WavePlayer.stop();
    }
}

void TMainForm::endFade()
{
    if (!FadeTimer->Enabled())
        return;
    FadeTimer->setEnabled(false);
    WavePlayer.setVolume(0);
}

// --- keys
// ---------------------------------------------------------------------------------------------------

void TMainForm::LoadSlotKeys()
{
    m_registry.OpenKey(RegistryKey, true);
    const auto release = qScopeGuard([this] { m_registry.CloseKey(); });
    m_slotKeys.load(m_registry);
    // The shortcuts come first: a settings file that cannot be written must not cost the keys.
    slotKeysChanged();
}

void TMainForm::slotKeysChanged()
{
    qDeleteAll(m_keyShortcuts);
    m_keyShortcuts.clear();
    for (const QKeySequence& key : m_slotKeys.keys()) {
        for (const bool shift : {false, true}) {
            const QKeySequence seq =
                shift ? QKeySequence(
                            QKeyCombination(key[0].keyboardModifiers() | Qt::ShiftModifier, key[0].key()))
                      : key;
            auto* shortcut = new QShortcut(seq, this);
            shortcut->setContext(Qt::WindowShortcut); // never while a dialog or the tab-name box is in front
            shortcut->setAutoRepeat(false);           // a held key presses once
            connect(shortcut, &QShortcut::activated, this, [this, key, shift] {
                if (m_keyRepeats->lastPressRepeated(key[0].key()))
                    return; // the window system's repeat of a key held down
                guard([&] {
                    if (const auto target = m_slotKeys.slotOf(key))
                        SlotKeyPressed(*target, shift);
                });
            });
            m_keyShortcuts << shortcut;
        }
    }
    if (!SongButtons[0])
        return; // still being made: the first redraw shows the hints
    showKeyHints(shownTab());
    m_registry.OpenKey(RegistryKey, true);
    const auto release = qScopeGuard([this] { m_registry.CloseKey(); });
    m_slotKeys.save(m_registry);
}

void TMainForm::showKeyHints(int Sheet)
{
    for (int k = 0; k < SlotCount; ++k) {
        if (TMTranBtn* b = SongButtons[static_cast<std::size_t>(k)])
            b->setKeyHint(m_slotKeys.keyOf({Sheet, k}).toString(QKeySequence::NativeText));
    }
}

QHash<QKeySequence, QString> TMainForm::menuKeys() const
{
    QHash<QKeySequence, QString> keys;
    auto plain = [](QString text) { return text.section(QLatin1Char('\t'), 0, 0).remove(QLatin1Char('&')); };
    for (QAction* top : menuBar()->actions()) {
        const QString title = top->text();
        const qsizetype amp = title.indexOf(QLatin1Char('&'));
        if (amp >= 0 && amp + 1 < title.size())
            keys.insert(QKeySequence(QStringLiteral("Alt+") + title.at(amp + 1).toUpper()),
                        plain(title) + QStringLiteral(" menu"));
        if (QMenu* menu = top->menu()) {
            for (QAction* item : menu->actions()) {
                const auto key = item->property("menuShortcut").value<QKeySequence>();
                if (!key.isEmpty() && !keys.contains(key))
                    keys.insert(key, plain(item->text()));
            }
        }
    }
    return keys;
}

void TMainForm::mnuAssignKeyClick()
{
    if (Tag < 0 || Tag >= SlotCount)
        return;
    const SlotRef slot{shownTab(), Tag};
    TfrmAssignKey dialog(this, SongButtons[static_cast<std::size_t>(Tag)]->Caption(), menuKeys());
    if (dialog.exec() != QDialog::Accepted || dialog.key().isEmpty())
        return;
    const QKeySequence key = dialog.key();
    const auto owner = m_slotKeys.slotOf(key);
    if (owner == slot)
        return;
    if (owner) {
        const QString name = key.toString(QKeySequence::NativeText);
        const QString question =
            QStringLiteral("%1 already plays button %2 of \"%3\". Move it to this button?")
                .arg(name)
                .arg(owner->slot + 1)
                .arg(Tabs->tabText(owner->sheet));
        if (m_dialogs.messageBox(this, question, Dialogs::Style::Confirmation, Dialogs::Buttons::YesNo) !=
            Dialogs::Answer::Yes)
            return;
    }
    m_slotKeys.bind(key, slot);
    slotKeysChanged();
}

void TMainForm::mnuClearKeyClick()
{
    if (Tag < 0 || Tag >= SlotCount)
        return;
    if (m_slotKeys.clearSlot({shownTab(), Tag}))
        slotKeysChanged();
}

void TMainForm::slotCleared(int Sheet, int Slot)
{
    if (m_slotKeys.clearSlot({Sheet, Slot}))
        slotKeysChanged();
}

void TMainForm::sheetsExchanged(int SheetA, int SheetB)
{
    m_slotKeys.exchangeSheets(SheetA, SheetB);
    slotKeysChanged();
}

void TMainForm::SlotKeyPressed(SlotRef Slot, bool Shift)
{
    if (Slot.slot < 0 || Slot.slot >= SlotCount || Slot.sheet < 0 || Slot.sheet >= SheetCount)
        return;
    // The press goes through the button's own handler, on the key's sheet. "The slot pressed
    // last" stays a slot of the shown sheet.
    const int shownTag = Tag;
    m_keySheet = Slot.sheet;
    const auto restore = qScopeGuard([&] {
        m_keySheet = -1;
        if (Slot.sheet != shownTab())
            Tag = shownTag;
    });
    MTranBtn1MouseDown(SongButtons[static_cast<std::size_t>(Slot.slot)], Qt::LeftButton,
                       Shift ? Qt::ShiftModifier : Qt::NoModifier, 0, 0);
}

// --- output device ----------------------------------------------------------------------------------------

namespace {
const QString SystemKey = QStringLiteral("System");
const QString OutputDeviceValue = QStringLiteral("OutputDevice");
} // namespace

void TMainForm::LoadOutputDevice()
{
    if (!m_outputs)
        return;
    m_outputs->setOutputMissingHandler([form = QPointer<TMainForm>(this)](const QString& output, bool missing) {
        if (form)
            form->OutputMissing(output, missing);
    });
    m_outputs->setServerLostHandler([form = QPointer<TMainForm>(this)](const QString& message) {
        if (form)
            form->ServerLost(message);
    });
    m_registry.OpenKey(RegistryKey, true);
    const auto release = qScopeGuard([this] { m_registry.CloseKey(); });
    if (m_registry.OpenKey(SystemKey, false))
        m_outputs->setOutputDevice(m_registry.ReadString(OutputDeviceValue).trimmed());
}

void TMainForm::mnuOutputDeviceClick()
{
    if (!m_outputs)
        return;
    TfrmOutputDevice dialog(this, m_outputs->outputDevices(), m_outputs->outputDevice());
    if (dialog.exec() != QDialog::Accepted)
        return;
    const QString name = dialog.chosen();
    m_outputs->setOutputDevice(name);
    m_registry.OpenKey(RegistryKey, true);
    const auto release = qScopeGuard([this] { m_registry.CloseKey(); });
    m_registry.OpenKey(SystemKey, true);
    m_registry.WriteString(OutputDeviceValue, name);
}

void TMainForm::OutputMissing(const QString& output, bool missing)
{
    if (m_destroyed)
        return;
    // News that arrives by itself: never a box, which would take the next press away.
    if (!missing) {
        clearNews(OutputNews);
        return;
    }
    sayNews(OutputNews,
            QStringLiteral("The output \"%1\" is not there: songs play on the default output until it returns.")
                .arg(output));
}

void TMainForm::ServerLost(const QString& message)
{
    if (m_destroyed)
        return;
    if (message.isEmpty())
        clearNews(ServerNews);
    else
        sayNews(ServerNews, message);
}

// --- even levels ------------------------------------------------------------------------------------------

namespace {
const QString EvenLevelsValue = QStringLiteral("EvenLevels");
} // namespace

void TMainForm::LoadEvenLevels()
{
    if (!m_levels)
        return;
    m_registry.OpenKey(RegistryKey, true);
    const auto release = qScopeGuard([this] { m_registry.CloseKey(); });
    const bool on = m_registry.OpenKey(SystemKey, false) && m_registry.ReadString(EvenLevelsValue).trimmed() == QLatin1String("1");
    mnuEvenLevels->setChecked(on);
    m_levels->setEnabled(on);
}

void TMainForm::mnuEvenLevelsClick()
{
    if (!m_levels)
        return;
    const bool on = mnuEvenLevels->isChecked();
    m_levels->setEnabled(on);
    m_registry.OpenKey(RegistryKey, true);
    const auto release = qScopeGuard([this] { m_registry.CloseKey(); });
    m_registry.OpenKey(SystemKey, true);
    m_registry.WriteString(EvenLevelsValue, on ? QStringLiteral("1") : QStringLiteral("0"));
}
