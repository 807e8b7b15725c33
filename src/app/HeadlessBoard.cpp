// SPDX-License-Identifier: GPL-3.0-or-later
#include "HeadlessBoard.h"

#include "app/MidiControl.h"
#include "app/NetworkSide.h"
#include "app/setup/ConsoleDialogs.h"
#include "audio/DecoderLibrary.h"
#include "audio/LayerOutputs.h"
#include "audio/MediaPlayerControl.h"
#include "audio/PulseAudioEngine.h"
#include "audio/SongLevels.h"
#include "core/ShowCore.h"
#include "mci/CdAudioDevice.h"
#include "mci/CdromCatalog.h"
#include "mci/MciInterface.h"
#include "mci/WaveAudioDevice.h"
#include "mci/WaveFile.h"
#include "midi/MidiDevices.h"
#include "platform/ErrorReporter.h"
#include "platform/Guard.h"
#include "platform/IniRegistry.h"
#include "platform/Realtime.h"
#include "platform/SingleInstance.h"
#include "platform/UnixSignals.h"
#include "songs/SongStruc.h"

#include <QCoreApplication>
#include <QHash>
#include <QStringList>

#include <sys/stat.h>

#include <cstdio>
#include <memory>

namespace {

enum class Level { Error, News, Info };

/// Standard error is the journal's own stream (systemd says which in JOURNAL_STREAM, as
/// "device:inode"): the journal names the program itself and takes a "<N>" priority in front.
bool toJournal()
{
    const QList<QByteArray> stream = qgetenv("JOURNAL_STREAM").split(':');
    struct stat st {};
    if (stream.size() != 2 || fstat(fileno(stderr), &st) != 0)
        return false;
    return stream[0].toULongLong() == static_cast<unsigned long long>(st.st_dev) &&
           stream[1].toULongLong() == static_cast<unsigned long long>(st.st_ino);
}

/// One line on standard error.
void say(Level level, const QString& text)
{
    static const bool journal = toJournal();
    QByteArray line;
    if (journal)
        line = level == Level::Error ? "<3>" : level == Level::News ? "<5>" : "<6>";
    else
        line = "sonavex: ";
    line += text.simplified().toUtf8();
    line += '\n';
    std::fputs(line.constData(), stderr);
    std::fflush(stderr);
}

/// Errors that leave a handler, one line each: there is nobody to close a box.
class ConsoleErrorReporter : public ErrorReporter {
public:
    void report(const QString& message) override { say(Level::Error, displayText(message)); }
};

/// The event dispatch as the window's: the backstop of error handling.
class HeadlessApplication : public QCoreApplication {
public:
    HeadlessApplication(int& argc, char** argv)
        : QCoreApplication(argc, argv)
    {
        // The same names as the window's, so the same folders and caches are found.
        setApplicationName(QStringLiteral("Sonavex"));
        setOrganizationName(QStringLiteral("Brasswold"));
        Realtime::raisePriority(Realtime::currentThread(), Realtime::InterfaceNice);
    }
    bool notify(QObject* receiver, QEvent* event) override
    {
        try {
            return QCoreApplication::notify(receiver, event);
        } catch (...) {
            ErrorReporter::reportCurrentException();
            return false;
        }
    }
};

} // namespace

int HeadlessBoard::run(int argc, char* argv[], const Start& start)
{
    HeadlessApplication app(argc, argv);
    // Two copies would each save their own songs and settings over the other's. Refused with a
    // failure, so that a service manager or a script sees that this start did not run the board.
    SingleInstance instance(start.instanceName);
    if (!instance.claim()) {
        std::fputs("Sonavex runs already.\n", stderr);
        return RunsAlready;
    }
    // A termination request waits for the event loop, which then ends the show as Exit does.
    UnixSignals unixSignals;
    ConsoleErrorReporter reporter;
    ErrorReporter::install(&reporter);

    IniRegistry registry;
    // No other copy runs: what a write killed part-way left behind is nobody's.
    registry.removeLeftoverTemporaries(QStringLiteral("Software\\Brasswold"));
    const QString firstStartTrouble = start.firstStart ? start.firstStart(registry) : QString();
    PulseAudioEngine audio;
    SongLevels levels(SongLevels::defaultCacheFile());
    MediaPlayerControl player(audio);
    player.setLevels(&levels);
    // The sounds over the show's song; with no preview output here, a preview route plays in the house.
    LayerOutputs layerOutputs(audio, nullptr, player);
    registerCdAudioDevice(audio);
    registerWaveAudioDevice(audio, audio);
    CdromCatalog cdTracks;

    // Read at once: with no window to keep alive meanwhile, the board waits for its songs. What
    // the load finds wrong goes to standard error, and every question it asks keeps the file.
    ConsoleDialogs console;
    auto songInfo = std::make_unique<TSongInfo>(registry, console);
    const QString unused = songInfo->unusedSlotsNote();
    auto show = std::make_unique<ShowCore>(
        ShowServices{registry, player, cdTracks, &audio, &levels, nullptr, &layerOutputs},
        std::move(songInfo));
    // The news, said once and said again when it is over, as the status bar would show it.
    QHash<QString, QString> told;
    QObject::connect(show.get(), &ShowCore::newsSaid, show.get(),
                     [&told](const QString& topic, const QString& text) {
                         if (told.value(topic) == text)
                             return;
                         told.insert(topic, text);
                         say(Level::News, text);
                     });
    QObject::connect(show.get(), &ShowCore::newsCleared, show.get(), [&told](const QString& topic) {
        const QString text = told.take(topic);
        if (!text.isEmpty())
            say(Level::Info, QStringLiteral("Over: ") + text);
    });
    if (!firstStartTrouble.isEmpty())
        show->sayNews(QStringLiteral("setup"),
                      QStringLiteral("Sample sounds not set up: ") + firstStartTrouble);
    if (!unused.isEmpty())
        show->sayNews(QStringLiteral("unused slots"), unused);

    DecoderLibrary::preload(); // on a thread of its own: ready before the first press
    WaveFile::loadLibrariesSoon();
    MidiDevices::loadLibrariesSoon();
    // The remotes and a backup's link to its main: all this board has without a window.
    QString why;
    auto network = NetworkSide::load(*show, registry, &why);
    if (network)
        network->start();
    auto midi = std::make_unique<MidiControl>(show.get(), *show, registry);
    midi->start();
    say(network ? Level::Info : Level::Error,
        network ? network->listening() : QStringLiteral("No remote can run: ") + why);

    connectGuarded(&unixSignals, &UnixSignals::terminationRequested, &app, [](int signalNumber) {
        say(Level::Info, QStringLiteral("Signal %1: the show ends.").arg(signalNumber));
        QCoreApplication::quit();
    });
    // A second start has no window to bring forward: it is refused, and said here too.
    connectGuarded(&instance, &SingleInstance::activationRequested, &app,
                   [] { say(Level::Info, QStringLiteral("A second start was refused: this board runs.")); });

    const int result = app.exec();
    network.reset(); // before the show its backup link follows
    midi.reset();    // the pads go dark
    show.reset();    // the show's end saves the tab names and the songs
    Mci::reset();    // no device may outlive the sound output it plays through
    ErrorReporter::install(nullptr);
    return result;
}
