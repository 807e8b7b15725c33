// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up: the song store first, then the splash window, the title, the main
// window; the splash shows while the main window comes up and hides when it shows.
#include "app/AuditionControl.h"
#include "app/HeadlessBoard.h"
#include "app/MasterLevelControl.h"
#include "app/MidiControl.h"
#include "app/NetworkSide.h"
#include "app/PreviewControl.h"
#include "app/frmMain.h"
#include "app/setup/ConsoleDialogs.h"
#include "app/setup/SonavexSetup.h"
#include "audio/DecoderLibrary.h"
#include "audio/LayerOutputs.h"
#include "audio/MediaPlayerControl.h"
#include "audio/PreviewStream.h"
#include "audio/PulseAudioEngine.h"
#include "audio/SongLevels.h"
#include "controls/MPanel.h"
#include "mci/CdAudioDevice.h"
#include "mci/CdromCatalog.h"
#include "mci/MciInterface.h"
#include "mci/WaveAudioDevice.h"
#include "mci/WaveFile.h"
#include "midi/MidiDevices.h"
#include "platform/Application.h"
#include "platform/Errors.h"
#include "platform/Fonts.h"
#include "platform/Guard.h"
#include "platform/IniRegistry.h"
#include "platform/MessageBoxErrorReporter.h"
#include "platform/MountedDrives.h"
#include "platform/QtDialogs.h"
#include "platform/SessionBus.h"
#include "platform/SingleInstance.h"
#include "platform/UnixSignals.h"
#include "songs/ShowCollector.h"
#include "songs/SongStruc.h"
#include "windows/Splash.h"

#include <QCryptographicHash>
#include <QFile>
#include <QTimer>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {
/// A user's first start, as from the desktop's menu after the package was installed: registers
/// where the songs and the help live and puts the sample sounds on the first sheet, as
/// sonavex-setup does, so that the first press plays. Returns what went wrong, for the status
/// bar: the show goes on without the samples.
QString prepareFirstStart(Registry& registry)
{
    if (!SonavexSetup::isFirstStart(registry))
        return {};
    ConsoleDialogs quiet; // no box before the window: what fails is said in the status bar
    try {
        SonavexSetup(registry, quiet, SonavexSetup::locationsFor(QCoreApplication::applicationDirPath()))
            .run();
    } catch (const SonavexError& e) {
        return e.message();
    }
    return quiet.lastMessage();
}
/// One copy per settings folder: the usual one for the user, and a test's own folder for that test.
QString instanceName()
{
    const QByteArray configHash = QCryptographicHash::hash(QFile::encodeName(IniRegistry::defaultConfigDir()),
                                                           QCryptographicHash::Sha1);
    return QLatin1String("sonavex-") + QString::fromLatin1(configHash.toHex().left(12));
}

std::atomic<bool> g_collectCancelled = false;

/// "sonavex --collect-show DIR": packs the registered song file's show into DIR without a
/// display and without touching the song file. The report goes to standard output; the exit
/// status is 0 only when every song was copied (CD tracks stay CD tracks), 1 when the folder
/// was made but songs were missing, 2 when nothing was made. Ctrl+C stops it as Cancel does.
int collectShowFromShell(int argc, char* argv[], const char* folder)
{
    QCoreApplication app(argc, argv);
    ConsoleDialogs console; // what the song file's load finds wrong goes to standard error
    IniRegistry registry;
    TSongInfo store(registry, console);
    store.leaveFileAsIs();
    const ShowCollector::Plan plan = ShowCollector::plan(store, registry, QFile::decodeName(folder));
    std::signal(SIGINT, [](int) { g_collectCancelled = true; });
    std::signal(SIGTERM, [](int) { g_collectCancelled = true; });
    const ShowCollector::Report report = ShowCollector().run(plan, {}, &g_collectCancelled);
    std::fputs(report.text(plan).toLocal8Bit().constData(), stdout);
    if (report.outcome != ShowCollector::Report::Outcome::Done)
        return 2;
    return report.complete(plan) ? 0 : 1;
}
/// "sonavex --open-show DIR": makes the collected show in DIR the board's show, while no copy
/// runs (its end would write its own settings over the new ones).
int openShowFromShell(int argc, char* argv[], const char* folder)
{
    QCoreApplication app(argc, argv);
    SingleInstance instance(instanceName());
    if (!instance.claim()) {
        std::fputs("Sonavex runs: end it first, then open the show.\n", stderr);
        return 2;
    }
    IniRegistry registry;
    try {
        std::fputs(ShowCollector::openShow(registry, QFile::decodeName(folder)).toLocal8Bit().constData(),
                   stdout);
    } catch (const SonavexError& e) {
        std::fputs((e.message() + QLatin1Char('\n')).toLocal8Bit().constData(), stderr);
        return 2;
    }
    return 0;
}
} // namespace

int main(int argc, char* argv[])
{
    // Before anything that needs a display, or another running copy's leave.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--headless") == 0)
            return HeadlessBoard::run(argc, argv, {instanceName(), prepareFirstStart});
        const bool collect = std::strcmp(argv[i], "--collect-show") == 0;
        if (collect || std::strcmp(argv[i], "--open-show") == 0) {
            if (i + 1 >= argc) {
                std::fputs("Usage: sonavex --collect-show FOLDER | --open-show FOLDER\n", stderr);
                return 2;
            }
            return collect ? collectShowFromShell(argc, argv, argv[i + 1])
                           : openShowFromShell(argc, argv, argv[i + 1]);
        }
    }
    Fonts::SystemFontsReader systemFonts; // while the application connects to the display
    SonavexApplication app(argc, argv);
    // Two copies would each save their own songs and settings over the other's.
    SingleInstance instance(instanceName());
    if (!instance.claim()) {
        std::fputs(
            instance.reachedRunningCopy()
                ? "Sonavex runs already: it was asked to bring its window, if it has one, to the front.\n"
                : "Sonavex runs already.\n",
            stderr);
        return 0;
    }
    // From the first moment, a termination request waits for the event loop, which
    // then ends the show the way Exit does.
    UnixSignals unixSignals;
    systemFonts.applicationMade();
    SessionBusConnector sessionBus;
    QtDialogs dialogs;
    MessageBoxErrorReporter reporter(dialogs);
    ErrorReporter::install(&reporter);

    IniRegistry registry;
    // No other copy runs: what a write killed part-way left behind is nobody's.
    registry.removeLeftoverTemporaries(QStringLiteral("Software\\Brasswold"));
    const QString firstStartTrouble = prepareFirstStart(registry);
    PulseAudioEngine audio;
    SongLevels levels(SongLevels::defaultCacheFile());
    MediaPlayerControl player(audio);
    player.setLevels(&levels);
    // The preview has a connection of its own, which plays on the preview output and nowhere else.
    PulseAudioEngine previewAudio(QStringLiteral("Sonavex preview"), {},
                                  PulseAudioEngine::Routing::ChosenOnly);
    PreviewStream previewPlayer(previewAudio);
    PreviewControl preview(previewPlayer, previewAudio, registry);
    // The sounds over the show's song: each on its own output, from the show's hot cache.
    LayerOutputs layerOutputs(audio, &previewAudio, player);
    registerCdAudioDevice(audio);
    registerWaveAudioDevice(audio, audio);
    CdromCatalog cdTracks;
    MountedDrives drives;

    // The song file is read on a thread of its own: its drive may not answer.
    auto songInfo = std::make_unique<TSongInfo>(registry, dialogs, TSongInfo::Load::Later);
    TfrmSplash splash;
    splash.setWindowTitle(QStringLiteral("Sonavex: loading")); // frameless; named for window lists only
    // The application title is the application's name. It is not set as the display
    // name, which the window system would append to every window's title.
    // The show is made first; the window is its client, like the keys and the remotes.
    auto show = std::make_unique<ShowCore>(
        ShowServices{registry, player, cdTracks, &audio, &levels, &preview, &layerOutputs},
        std::move(songInfo));
    systemFonts.wait(); // the window's text is measured as it is made
    auto form = std::make_unique<TMainForm>(*show, dialogs, drives);
    form->setSplash(&splash);
    form->setPreview(&preview);
    form->MasterLevel->setPeakSource([&layerOutputs] { return layerOutputs.takePeak(); });
    new AuditionControl(*show, preview, {form->ToolBar, form->mnuKeys, form->TabControl, form->statusBar()},
                        form.get());
    if (!firstStartTrouble.isEmpty())
        show->sayNews(QStringLiteral("setup"),
                      QStringLiteral("Sample sounds not set up: ") + firstStartTrouble);
    form->loadSongs();
    // Remote control, when the operator turned it on, and a backup's link to its main board: they
    // run the board through the same commands and state as the window's keyboard. Loaded with
    // the network library once the window is up.
    std::unique_ptr<NetworkSide> network;
    // MIDI controllers: every input port, read as the board's commands; known ones lit.
    auto midi = std::make_unique<MidiControl>(show.get(), *show, registry);
    form->setMidi(midi.get());

    // Logging out, SIGTERM, SIGINT and SIGHUP end the show the way Exit does.
    TMainForm* const window = form.get();
    const auto endShow = [window] {
        // While the window waits for the song file's drive, it ends the run itself.
        if (window->endShowWithoutAsking())
            QCoreApplication::quit();
    };
    QObject::connect(&unixSignals, &UnixSignals::terminationRequested, window, endShow);
    QObject::connect(&app, &QGuiApplication::commitDataRequest, window, endShow);

    // The remotes, the backup's link and the MIDI ports open once the window is up (loading the
    // network library and opening the MIDI ports take a few tens of milliseconds): nobody waits
    // for them to see the board.
    constexpr int RemotesAfterMs = 100;
    ShowCore* const board = show.get();
    QTimer::singleShot(0, window, [&, board, window, midi = midi.get()] {
        // The splash shows from the loop, without waiting for it: shown before the loop runs, a
        // splash window runs the loop itself until it is painted, which held the main window
        // back by a whole painting of the splash.
        splash.show();
        splash.raise();
        window->show();            // which hides the splash
        DecoderLibrary::preload(); // on a thread of its own: ready long before any press
        WaveFile::loadLibrariesSoon();
        MidiDevices::loadLibrariesSoon(); // ready when MIDI starts
        NetworkSide::loadSoon();          // ready when the remotes start
        QTimer::singleShot(RemotesAfterMs, window, [&, board, window, midi] {
            guard([&] {
                QString why;
                network = NetworkSide::load(*board, registry, &why);
                if (!network) {
                    board->sayNews(QStringLiteral("network"),
                                   QStringLiteral("No remote control or backup: ") + why);
                    return;
                }
                network->setMenuItems(
                    {window->mnuRemoteControl, window->mnuBackup, window->mnuFollow, window->mnuCopyShow},
                    window);
                network->start(); // a backup board follows its main from here
            });
            guard([midi] { midi->start(); });
        });
    });
    // A second start brings this window to the front.
    connectGuarded(&instance, &SingleInstance::activationRequested, window, [window] {
        if (window->isMinimized())
            window->showNormal();
        window->show();
        window->raise();
        window->activateWindow();
    });

    const int result = app.exec();
    // Errors of the shutdown (the tab names, the song file) are shown before the end.
    reporter.eventLoopEnded();
    network.reset(); // before the show its backup link follows
    form->setMidi(nullptr);
    midi.reset(); // the pads go dark
    form.reset();
    show.reset(); // the show's end saves the tab names and the songs
    Mci::reset(); // no device may outlive the sound output it plays through
    ErrorReporter::install(nullptr);
    return result;
}
