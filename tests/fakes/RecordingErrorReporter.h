// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/ErrorReporter.h"

#include <QStringList>

/// Installs itself for its lifetime and keeps every reported message.
class RecordingErrorReporter : public ErrorReporter {
public:
    RecordingErrorReporter()
        : m_previous(ErrorReporter::installed())
    {
        ErrorReporter::install(this);
    }
    ~RecordingErrorReporter() override { ErrorReporter::install(m_previous); }
    void report(const QString& message) override { messages << message; }

    QStringList messages;

private:
    ErrorReporter* m_previous;
};
