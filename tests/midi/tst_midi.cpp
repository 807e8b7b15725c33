// SPDX-License-Identifier: GPL-3.0-or-later
#include "fakes/FakeBoard.h"
#include "midi/ControllerProfile.h"
#include "midi/MidiAssignments.h"
#include "midi/MidiInputFilter.h"
#include "midi/MidiParser.h"
#include "midi/MidiRemote.h"
#include "midi/PadLights.h"
#include "platform/IniRegistry.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {
QString pressesOf(const QByteArray& bytes)
{
    MidiParser parser;
    QStringList out;
    parser.feed(
        reinterpret_cast<const unsigned char*>(bytes.constData()), static_cast<std::size_t>(bytes.size()),
        [&](const MidiMessageId& m) { out << MidiAssignments::messageText(m); },
        [&](const MidiMessageId& m) { out << QStringLiteral("off ") + MidiAssignments::messageText(m); });
    return out.join(QLatin1Char('|'));
}

const QByteArray LaunchpadProfile = R"({
  "name": "Launchpad Mini MK3", "match": "LPMiniMK3 MIDI",
  "init": "F0 00 20 29 02 0D 0E 01 F7", "exit": "F0 00 20 29 02 0D 0E 00 F7",
  "colours": {"playing": 21, "next": 13, "queued": 5, "filled": [1, 1], "empty": 0},
  "pads": "11-18, 21-28, 31-38, 41-48, 51-58, 61-68, 71-78, 81-88"
})";
} // namespace

class TestMidi : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void parser_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("presses");
        QTest::newRow("note on") << QByteArray::fromHex("902440") << u"note 1 36"_s;
        QTest::newRow("softest hit") << QByteArray::fromHex("9f2401") << u"note 16 36"_s;
        QTest::newRow("velocity 0 is a note-off") << QByteArray::fromHex("902400") << u"off note 1 36"_s;
        QTest::newRow("note off") << QByteArray::fromHex("802440") << u"off note 1 36"_s;
        QTest::newRow("running status")
            << QByteArray::fromHex("90244025402600") << u"note 1 36|note 1 37|off note 1 38"_s;
        QTest::newRow("real time inside a message") << QByteArray::fromHex("9024f87f") << u"note 1 36"_s;
        QTest::newRow("sysex skipped, status after")
            << QByteArray::fromHex("f0002029020d2440f7902540") << u"note 1 37"_s;
        QTest::newRow("sysex ends running status")
            << QByteArray::fromHex("902440f001f72540") << u"note 1 36"_s;
        QTest::newRow("cc rising") << QByteArray::fromHex("b0140ab01440b0147fb01400b01464")
                                   << u"cc 1 20|off cc 1 20|cc 1 20"_s;
        QTest::newRow("cc staying low") << QByteArray::fromHex("b1053f") << u""_s;
        QTest::newRow("program change and pitch bend") << QByteArray::fromHex("c005e00040") << u""_s;
        QTest::newRow("stray data") << QByteArray::fromHex("2440") << u""_s;
        QTest::newRow("song position then data") << QByteArray::fromHex("f200002440") << u""_s;
    }
    void parser()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, presses);
        QCOMPARE(pressesOf(bytes), presses);
    }

    void lines_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("readable");
        QTest::newRow("slot") << u"note 1 36"_s << u"0,0"_s << true;
        QTest::newRow("control") << u"cc 16 20"_s << u"9,35"_s << true;
        QTest::newRow("queue") << u"note 1 40"_s << u"queue 0,5"_s << true;
        QTest::newRow("commands") << u"note 1 91"_s << u"stopall"_s << true;
        QTest::newRow("master fader") << u"cc 1 7"_s << u"master"_s << true;
        QTest::newRow("channel 0") << u"note 0 36"_s << u"0,0"_s << false;
        QTest::newRow("note 128") << u"note 1 128"_s << u"0,0"_s << false;
        QTest::newRow("sheet 10") << u"note 1 36"_s << u"10,0"_s << false;
        QTest::newRow("slot 36") << u"note 1 36"_s << u"0,36"_s << false;
        QTest::newRow("unknown command") << u"note 1 36"_s << u"rewind"_s << false;
        QTest::newRow("unknown kind") << u"pitch 1 36"_s << u"0,0"_s << false;
    }
    void lines()
    {
        QFETCH(QString, name);
        QFETCH(QString, value);
        QFETCH(bool, readable);
        const auto message = MidiAssignments::parseMessage(name);
        const auto target = MidiAssignments::parseTarget(value);
        QCOMPARE(message && target, readable);
        if (readable) {
            QCOMPARE(MidiAssignments::messageText(*message), name);
            QCOMPARE(MidiAssignments::targetText(*target), value);
        }
    }

    void storeKeepsUnreadableLines()
    {
        QTemporaryDir dir;
        {
            QFile ini(dir.filePath(QStringLiteral("Brasswold.ini")));
            QVERIFY(ini.open(QIODevice::WriteOnly));
            ini.write("[Midi]\nnote 1 36 = 0,0\nnote 1 37 = somewhere\ncc 1 20 = 0,5\nnote 1 91 = play\n");
        }
        IniRegistry registry(dir.path());
        QVERIFY(registry.OpenKey(QStringLiteral("\\Software\\Brasswold"), false));
        MidiAssignments a;
        a.load(registry);
        QCOMPARE(a.unreadable(), QStringList{QStringLiteral("note 1 37 = somewhere")});
        QCOMPARE(MidiAssignments::targetText(*a.targetOf({MidiMessageId::Kind::Control, 1, 20})), u"0,5"_s);
        // Moving a message: it leaves its old target, the target leaves its old message.
        a.bind({MidiMessageId::Kind::Note, 1, 91}, MidiSlot{0, 5});
        QVERIFY(!a.messageOf(MidiCommand::Play));
        QVERIFY(!a.targetOf({MidiMessageId::Kind::Control, 1, 20}));
        QVERIFY(registry.OpenKey(QStringLiteral("\\Software\\Brasswold"), false));
        a.save(registry);
        registry.CloseKey();

        IniRegistry again(dir.path());
        QVERIFY(again.OpenKey(QStringLiteral("\\Software\\Brasswold\\Midi"), false));
        QCOMPARE(again.ReadString(QStringLiteral("note 1 37")), u"somewhere"_s);
        QCOMPARE(again.ReadString(QStringLiteral("note 1 91")), u"0,5"_s);
        QCOMPARE(again.ReadString(QStringLiteral("note 1 36")), u"0,0"_s);
        QVERIFY(!again.ValueExists(QStringLiteral("cc 1 20")));
    }

    void inputLines_data()
    {
        QTest::addColumn<QByteArray>("lines");
        QTest::addColumn<int>("channel");
        QTest::addColumn<QString>("device");
        QTest::addColumn<QStringList>("unreadable");
        const QByteArray assignments = "note 1 36 = 0,0\nnote 1 37 = somewhere\n";
        const QStringList old{u"note 1 37 = somewhere"_s};
        QTest::newRow("older file: any") << assignments << 0 << QString() << old;
        QTest::newRow("any written out") << assignments + "input channel = any\ninput device = Any\n"
                                         << 0 << QString() << old;
        QTest::newRow("narrowed") << assignments + "input channel = 10\ninput device = LPMiniMK3 MIDI\n"
                                  << 10 << u"LPMiniMK3 MIDI"_s << old;
        QTest::newRow("channel 17 kept, any meanwhile")
            << QByteArray("input channel = 17\n") << 0 << QString() << QStringList{u"input channel = 17"_s};
        QTest::newRow("channel not a number")
            << QByteArray("input channel = one\n") << 0 << QString() << QStringList{u"input channel = one"_s};
    }
    void inputLines()
    {
        QFETCH(QByteArray, lines);
        QFETCH(int, channel);
        QFETCH(QString, device);
        QFETCH(QStringList, unreadable);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Brasswold.ini"));
        {
            QFile ini(path);
            QVERIFY(ini.open(QIODevice::WriteOnly));
            ini.write("[Midi]\n" + lines);
        }
        const QString key = QStringLiteral("\\Software\\Brasswold");
        IniRegistry registry(dir.path());
        MidiAssignments a;
        QVERIFY(registry.OpenKey(key, false));
        a.load(registry);
        QStringList bad = a.unreadable();
        QVERIFY(registry.OpenKey(key, false));
        MidiInputFilter input;
        input.load(registry, &bad);
        QCOMPARE(input.channel, channel);
        QCOMPARE(input.device, device);
        QCOMPARE(bad, unreadable);
        QCOMPARE(a.messages().size(), lines.startsWith("note") ? 1 : 0);

        // Saving the assignments leaves the input's lines as they were; saving the input, the assignments.
        QVERIFY(registry.OpenKey(key, false));
        a.save(registry);
        QVERIFY(registry.OpenKey(key, false));
        a.load(registry);
        QVERIFY(registry.OpenKey(key, false));
        MidiInputFilter again;
        again.load(registry);
        QCOMPARE(again, input);
        input.channel = 3;
        QVERIFY(registry.OpenKey(key, false));
        input.save(registry);
        QVERIFY(registry.OpenKey(key, false));
        a.load(registry);
        QCOMPARE(a.messages().size(), lines.startsWith("note") ? 1 : 0);
        QVERIFY(registry.OpenKey(key + QStringLiteral("\\Midi"), false));
        QCOMPARE(registry.ReadString(MidiInputFilter::ChannelName), u"3"_s);
        QCOMPARE(registry.ReadString(MidiInputFilter::DeviceName), device.isEmpty() ? u"any"_s : device);
    }

    void inputDevice_data()
    {
        QTest::addColumn<QString>("device");
        QTest::addColumn<QString>("port");
        QTest::addColumn<bool>("read");
        const QString launchpad = u"Launchpad Mini MK3:Launchpad Mini MK3 LPMiniMK3 MIDI 20:0"_s;
        QTest::newRow("any") << QString() << launchpad << true;
        QTest::newRow("as listed, other numbers")
            << u"Launchpad Mini MK3:Launchpad Mini MK3 LPMiniMK3 MIDI"_s
            << u"Launchpad Mini MK3:Launchpad Mini MK3 LPMiniMK3 MIDI 24:0"_s << true;
        QTest::newRow("part of the name, any case") << u"lpminimk3"_s << launchpad << true;
        QTest::newRow("another device") << u"APC mini"_s << launchpad << false;
        QTest::newRow("numbers are no device") << u"20:0"_s << launchpad << false;
        QTest::newRow("a JACK port") << u"TestPad:pads"_s << u"TestPad:pads"_s << true;
    }
    void inputDevice()
    {
        QFETCH(QString, device);
        QFETCH(QString, port);
        QFETCH(bool, read);
        MidiInputFilter input;
        input.device = device;
        QCOMPARE(input.acceptsPort(port), read);
    }

    void learnsTheNextPressOnlyOnANarrowedChannel()
    {
        FakeBoard board;
        MidiRemote remote(board);
        remote.assignments().bind({MidiMessageId::Kind::Note, 1, 36}, MidiSlot{0, 0});
        remote.assignments().bind({MidiMessageId::Kind::Note, 2, 36}, MidiSlot{0, 1});
        remote.setInputChannel(2);
        QList<MidiMessageId> learned;
        remote.learn([&](const MidiMessageId& m) { learned << m; });
        remote.act({MidiMessageId::Kind::Note, 1, 36});
        remote.act({MidiMessageId::Kind::Note, 2, 36}); // learned, not played
        remote.act({MidiMessageId::Kind::Note, 1, 36});
        remote.act({MidiMessageId::Kind::Note, 2, 36});
        QCOMPARE(learned, (QList<MidiMessageId>{{MidiMessageId::Kind::Note, 2, 36}}));
        QCOMPARE(board.commands, QStringList{u"press 0 1"_s});
    }

    void actsThroughTheBoard_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("shown");
        QTest::addColumn<QString>("command");
        QTest::newRow("slot, let go") << u"3,7"_s << 0 << u"press 3 7|release 3 7"_s;
        QTest::newRow("queue") << u"queue 3,7"_s << 0 << u"queue 3 7"_s;
        QTest::newRow("play") << u"play"_s << 0 << u"play"_s;
        QTest::newRow("stop") << u"stop"_s << 0 << u"stop"_s;
        QTest::newRow("stopall") << u"stopall"_s << 0 << u"stopall"_s;
        QTest::newRow("pause") << u"pause"_s << 0 << u"pause"_s;
        QTest::newRow("fade at the chosen speed") << u"fade"_s << 0 << u"fade 0"_s;
        QTest::newRow("next sheet wraps") << u"nextsheet"_s << 9 << u"show 0"_s;
        QTest::newRow("previous sheet wraps") << u"prevsheet"_s << 0 << u"show 9"_s;
        QTest::newRow("fade all") << u"fadeall"_s << 0 << u"fadeall 0"_s;
    }
    void actsThroughTheBoard()
    {
        QFETCH(QString, target);
        QFETCH(int, shown);
        QFETCH(QString, command);
        FakeBoard board;
        board.shown = shown;
        MidiRemote remote(board);
        remote.assignments().bind({MidiMessageId::Kind::Note, 1, 36}, *MidiAssignments::parseTarget(target));
        const unsigned char onOff[] = {0x90, 36, 100, 0x80, 36, 0};
        remote.post(0, onOff, sizeof onOff);
        QTRY_COMPARE(board.commands, command.split(QLatin1Char('|')));
    }

    void aFaderSetsTheMasterLevel_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("commands");
        QTest::newRow("all the way down") << QByteArray::fromHex("b00700") << QStringList{u"master -60"_s};
        QTest::newRow("all the way up") << QByteArray::fromHex("b0077f") << QStringList{u"master 0"_s};
        QTest::newRow("through the middle, the last move only")
            << QByteArray::fromHex("b00710b00750b0077f") << QStringList{u"master 0"_s};
        QTest::newRow("another channel") << QByteArray::fromHex("b1077f") << QStringList{};
        QTest::newRow("another control") << QByteArray::fromHex("b0087f") << QStringList{};
    }
    void aFaderSetsTheMasterLevel()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, commands);
        FakeBoard board;
        MidiRemote remote(board);
        remote.assignments().bind({MidiMessageId::Kind::Control, 1, 7}, MidiCommand::Master);
        remote.post(0, reinterpret_cast<const unsigned char*>(bytes.constData()),
                    static_cast<std::size_t>(bytes.size()));
        QTest::qWait(20);
        QCOMPARE(board.commands, commands);
    }

    void floodActsOncePerTurnAndQueuesNothing()
    {
        FakeBoard board;
        MidiRemote remote(board);
        remote.assignments().bind({MidiMessageId::Kind::Note, 1, 36}, MidiSlot{0, 0});
        const unsigned char on[] = {0x90, 36, 100};
        for (int i = 0; i < 1000; ++i)
            remote.post(0, on, sizeof on);
        QTRY_VERIFY(!board.commands.isEmpty());
        QTest::qWait(50);
        QCOMPARE(board.commands.size(), 1);
        QCOMPARE(remote.counters().dropped, quint64(999));
    }

    void profiles_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("valid");
        QTest::newRow("launchpad") << LaunchpadProfile << true;
        QTest::newRow("not json") << QByteArray("{") << false;
        QTest::newRow("no name") << QByteArray(R"({"pads": "0-127"})") << false;
        QTest::newRow("bad sysex") << QByteArray(R"({"name": "x", "init": "F0 ZZ F7"})") << false;
        QTest::newRow("velocity 128") << QByteArray(R"({"name": "x", "colours": {"next": 128}})") << false;
        QTest::newRow("pads backwards") << QByteArray(R"({"name": "x", "pads": "20-10"})") << false;
    }
    void profiles()
    {
        QFETCH(QByteArray, json);
        QFETCH(bool, valid);
        QCOMPARE(ControllerProfile::parse(json).has_value(), valid);
    }

    void shippedProfilesRead()
    {
        QStringList problems;
        const auto all = ControllerProfile::loadAll({QStringLiteral(SONAVEX_CONTROLLERS_DIR)}, &problems);
        QCOMPARE(problems, QStringList());
        QCOMPARE(all.size(), 3);
        QVERIFY(std::any_of(all.begin(), all.end(),
                            [](const auto& p) { return p.matches(u"LPMiniMK3 MIDI 1"_s); }));
    }

    void padsShowTheShownSheet()
    {
        FakeBoard board;
        MidiAssignments assignments;
        assignments.bind({MidiMessageId::Kind::Note, 1, 11}, MidiSlot{0, 0});
        assignments.bind({MidiMessageId::Kind::Note, 1, 12}, MidiSlot{0, 1});
        assignments.bind({MidiMessageId::Kind::Note, 1, 13}, MidiSlot{1, 0});
        board.states[0] = SlotState::Playing;
        board.states[1] = SlotState::Filled;
        board.states[Board::Slots] = SlotState::Queued;
        auto profile = *ControllerProfile::parse(LaunchpadProfile);
        profile.pads = {11, 12, 13};
        QByteArray sent;
        auto lights =
            std::make_unique<PadLights>(board, assignments, profile, [&](const QByteArray& m) { sent += m; });
        lights->start();
        QCOMPARE(sent.toHex(' '), QByteArray("f0 00 20 29 02 0d 0e 01 f7 90 0b 15 90 0c 01 90 0d 00"));

        sent.clear();
        board.states[1] = SlotState::Next;
        Q_EMIT board.slotChanged(0, 1, SlotState::Next, {});
        Q_EMIT board.slotChanged(0, 1, SlotState::Next, {});
        QTRY_COMPARE(sent.toHex(' '), QByteArray("90 0c 0d"));

        sent.clear();
        board.shown = 1;
        Q_EMIT board.sheetShown(1);
        QTRY_COMPARE(sent.toHex(' '), QByteArray("90 0b 00 90 0c 00 90 0d 05"));

        sent.clear();
        lights.reset();
        QCOMPARE(sent.toHex(' '), QByteArray("90 0b 00 90 0c 00 90 0d 00 f0 00 20 29 02 0d 0e 00 f7"));
    }
};

QTEST_GUILESS_MAIN(TestMidi)
#include "tst_midi.moc"
