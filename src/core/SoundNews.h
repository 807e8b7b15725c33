// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPointer>

class OutputDevices;
class ShowCore;

/// What the sound server tells by itself, told as the show's news and never in a box: the chosen output
/// missing (songs play on the default one) or back, the server lost or answering again. Listens while it
/// lives.
class SoundNews {
public:
    SoundNews(ShowCore& show, OutputDevices& outputs);
    ~SoundNews();
    SoundNews(const SoundNews&) = delete;
    SoundNews& operator=(const SoundNews&) = delete;

    static inline const QString OutputNews = QStringLiteral("output"); ///< the chosen output is missing

private:
    OutputDevices& m_outputs;
};
