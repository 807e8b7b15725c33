// SPDX-License-Identifier: GPL-3.0-or-later
#include "PeaksLoader.h"

#include "platform/Errors.h"
#include "platform/Guard.h"

#include <QMetaObject>

PeaksLoader::~PeaksLoader()
{
    abandon();
}

void PeaksLoader::load(const QString& path)
{
    abandon();
    auto cancel = std::make_shared<std::atomic<bool>>(false);
    m_cancel = cancel;
    m_thread = std::thread([this, path, cancel] {
        // The answer is queued to this object's thread; one for an abandoned load is dropped.
        const auto answer = [this, cancel](auto deliver) {
            QMetaObject::invokeMethod(
                this,
                [this, cancel, deliver] {
                    if (!cancel->load())
                        guard([&] { deliver(this); });
                },
                Qt::QueuedConnection);
        };
        try {
            WaveformPeaks peaks = computeWaveformPeaks(path, *cancel);
            answer([peaks = std::move(peaks)](PeaksLoader* self) { Q_EMIT self->loaded(peaks); });
        } catch (const SonavexError& e) {
            answer([reason = e.message()](PeaksLoader* self) { Q_EMIT self->failed(reason); });
        } catch (const std::exception& e) {
            answer([reason = QString::fromLocal8Bit(e.what())](PeaksLoader* self) {
                Q_EMIT self->failed(reason);
            });
        }
    });
}

void PeaksLoader::abandon()
{
    if (m_cancel)
        m_cancel->store(true);
    if (m_thread.joinable())
        m_thread.join();
    m_cancel.reset();
}
