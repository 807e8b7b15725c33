// SPDX-License-Identifier: GPL-3.0-or-later
#include "ErrorReporter.h"

#include "Errors.h"

#include <QDebug>

namespace {
ErrorReporter* g_reporter = nullptr;
}

QString ErrorReporter::displayText(const QString& message)
{
    if (!message.isEmpty() && message.back() > QLatin1Char('.'))
        return message + QLatin1Char('.');
    return message;
}

void ErrorReporter::install(ErrorReporter* reporter)
{
    g_reporter = reporter;
}

ErrorReporter* ErrorReporter::installed()
{
    return g_reporter;
}

QString ErrorReporter::currentMessage() noexcept
{
    try {
        throw;
    } catch (const SonavexError& e) {
        return e.message();
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("Unknown error");
    }
}

void ErrorReporter::reportCurrentException() noexcept
{
    reportMessage(currentMessage());
}

void ErrorReporter::reportMessage(const QString& message) noexcept
{
    try {
        if (g_reporter)
            g_reporter->report(message);
        else
            qWarning().noquote() << "Sonavex:" << ErrorReporter::displayText(message);
    } catch (...) {
        qWarning().noquote() << "Sonavex: error while reporting:" << message;
    }
}
