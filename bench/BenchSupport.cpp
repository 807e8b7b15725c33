// SPDX-License-Identifier: GPL-3.0-or-later
#include "BenchSupport.h"

#include "OnsetRecorder.h"

#include "controls/Tranbtn.h"
#include "songs/SongStruc.h"

#include <QCoreApplication>
#include <QFile>
#include <QMouseEvent>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace bench {

bool writeWav(const QString& path, const std::vector<std::int16_t>& s)
{
    auto le = [](QByteArray& b, std::uint32_t v, int n) {
        for (int i = 0; i < n; ++i)
            b.append(static_cast<char>((v >> (8 * i)) & 0xFF));
    };
    QByteArray b("RIFF");
    le(b, static_cast<std::uint32_t>(36 + s.size() * 2), 4);
    b.append("WAVEfmt ");
    le(b, 16, 4);
    le(b, 1, 2);
    le(b, 2, 2);
    le(b, 44100, 4);
    le(b, 44100 * 4, 4);
    le(b, 4, 2);
    le(b, 16, 2);
    b.append("data");
    le(b, static_cast<std::uint32_t>(s.size() * 2), 4);
    b.append(reinterpret_cast<const char*>(s.data()), static_cast<qsizetype>(s.size() * 2));
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(b) == b.size();
}

std::vector<std::int16_t> square(double seconds, int period)
{
    const auto frames = static_cast<std::size_t>(seconds * 44100);
    const auto half = static_cast<std::size_t>(period / 2);
    std::vector<std::int16_t> s(frames * 2);
    for (std::size_t i = 0; i < frames; ++i)
        s[2 * i] = s[2 * i + 1] = (i / half) % 2 ? -20000 : 20000;
    return s;
}

void Series::add(std::int64_t fromNs, std::int64_t toNs)
{
    if (fromNs > 0 && toNs >= fromNs)
        ms.push_back(static_cast<double>(toNs - fromNs) / 1e6);
    else
        ++missed;
}

double Series::at(double q) const
{
    if (ms.empty())
        return NAN;
    std::vector<double> v = ms;
    std::sort(v.begin(), v.end());
    const auto rank = static_cast<std::size_t>(std::ceil(q * static_cast<double>(v.size())));
    return v[std::min(v.size() - 1, rank == 0 ? 0 : rank - 1)];
}

void printRow(const char* what, const Series& s)
{
    std::printf("  %-40s %7.2f %7.2f %4d %4zu\n", what, s.at(0.5), s.at(0.95), s.missed, s.ms.size());
}

void postPress(TMTranBtn* button)
{
    const QPointF at(button->width() / 2.0, button->height() / 2.0);
    const QPointF global = button->mapToGlobal(at);
    QCoreApplication::postEvent(button, new QMouseEvent(QEvent::MouseButtonPress, at, global, Qt::LeftButton,
                                                        Qt::LeftButton, Qt::NoModifier));
    QCoreApplication::postEvent(button, new QMouseEvent(QEvent::MouseButtonRelease, at, global,
                                                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
}

PressesInTurns pressInTurns(TMainForm& form, const PulseAudioEngine& engine, OnsetRecorder& recorder,
                            int runs, const std::function<std::int64_t()>& remotePress)
{
    PressesInTurns r;
    const int before = engine.underflowCount();
    for (int run = 0; run < runs; ++run) {
        for (const bool fromElsewhere : {false, true}) {
            recorder.waitQuiet(100, 3000);
            recorder.arm();
            std::int64_t sent = monotonicNs();
            if (fromElsewhere)
                sent = remotePress();
            else
                postPress(form.SongButtons[0]);
            const std::int64_t onset = recorder.waitOnset(2000);
            (fromElsewhere ? r.remote : r.window).add(sent, onset);
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
            QMetaObject::invokeMethod(
                &form, [&form] { form.mnuStopAllClick(); }, Qt::BlockingQueuedConnection);
        }
    }
    r.dropouts = engine.underflowCount() - before;
    return r;
}

void printPressesInTurns(const char* remote, const char* remotePress, const PressesInTurns& r,
                         const Series& timerLate)
{
    printRow("press on the window to first sample", r.window);
    printRow(remotePress, r.remote);
    const QByteArray difference = QByteArray(remote) + " - window, medians";
    std::printf("  %-40s %7.2f\n", difference.constData(), r.remote.at(0.5) - r.window.at(0.5));
    std::printf("  %-40s %7d\n", "dropouts", r.dropouts);
    std::printf("  %-40s %7.2f %7.2f  max %.1f\n", "window's 10 ms timer late by (ms)", timerLate.at(0.5),
                timerLate.at(0.99), timerLate.at(1.0));
}

ClickBoard::ClickBoard()
    : m_engine(QStringLiteral("sonavex-bench"))
{
    const QString click = m_dir.filePath(QStringLiteral("click.wav"));
    writeWav(click, square(0.3, 100));
    const QString silence = m_dir.filePath(QStringLiteral("silence.wav"));
    writeWav(silence, std::vector<std::int16_t>(2 * 44100, 0));
    if (!m_engine.waitConnected(3000)) {
        std::fprintf(stderr, "no audio server: eval \"$(scripts/start-test-audio)\"\n");
        return;
    }
    m_player = std::make_unique<MediaPlayerControl>(m_engine);
    qputenv("XDG_CONFIG_HOME", m_dir.filePath(QStringLiteral("config")).toUtf8());
    qputenv("XDG_DATA_HOME", m_dir.filePath(QStringLiteral("data")).toUtf8());
    m_registry = std::make_unique<IniRegistry>(m_dir.filePath(QStringLiteral("config")));
    auto store = std::make_unique<TSongInfo>(*m_registry, m_dialogs);
    TSongRecord rec;
    InitSongRecord(rec);
    rec.Title.set(QStringLiteral("Click"));
    rec.FileName.set(click);
    store->SetSong(0, 0, rec);
    rec.Title.set(QStringLiteral("Silence"));
    rec.FileName.set(silence);
    store->SetSong(0, SilentSlot, rec);
    m_core = std::make_unique<ShowCore>(ShowServices{*m_registry, *m_player, m_cd}, std::move(store));
    m_form = std::make_unique<TMainForm>(*m_core, m_dialogs, m_drives);
    m_form->show();
    m_player->waitHotListWarm(10000);
    m_ready = true;
}

} // namespace bench
