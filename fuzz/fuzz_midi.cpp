// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to the MIDI side: as a port's byte stream (every press it reads must be a
// note or control in range, and assigned ones must run commands the board has), as a controller
// file, and as a stored assignment line (one it reads must read the same once written again).
#include "BoundsBoard.h"
#include "midi/ControllerProfile.h"
#include "midi/MidiAssignments.h"
#include "midi/MidiParser.h"
#include "midi/MidiRemote.h"

#include <QCoreApplication>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size)
{
    static int argc = 1;
    static char name[] = "fuzz_midi";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    static BoundsBoard board;
    static MidiRemote remote(board);
    if (remote.assignments().messages().isEmpty()) {
        // Every note and control of channel 1 assigned, slots and commands in turn.
        for (int n = 0; n < 128; ++n) {
            const MidiTarget target = n % 8 == 7 ? MidiTarget(MidiCommand(n % 7))
                                                 : MidiTarget(MidiSlot{n % 10, n % 36, n % 2 == 0});
            remote.assignments().bind({MidiMessageId::Kind::Note, 1, n}, target);
        }
    }

    MidiParser parser;
    parser.feed(data, size, [](const MidiMessageId& m) {
        if (m.channel < 1 || m.channel > 16 || m.number < 0 || m.number > 127)
            std::abort();
        remote.act(m);
    });

    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    if (const auto profile = ControllerProfile::parse(bytes))
        for (const int pad : profile->pads)
            if (profile->colourMessage(pad, SlotState::Playing).size() != 3)
                std::abort();

    const QString text = QString::fromUtf8(bytes);
    const qsizetype eq = text.indexOf(QLatin1Char('='));
    if (eq > 0) {
        const auto message = MidiAssignments::parseMessage(text.left(eq));
        const auto target = MidiAssignments::parseTarget(text.mid(eq + 1));
        if (message && MidiAssignments::parseMessage(MidiAssignments::messageText(*message)) != message)
            std::abort();
        if (target && MidiAssignments::parseTarget(MidiAssignments::targetText(*target)) != target)
            std::abort();
    }
    return 0;
}
