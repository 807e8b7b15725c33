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

void ErrorReporter::reportCurrentException() noexcept
{
    QString message;
    try {
        throw;
    } catch (const SonavexError& e) {
        message = e.message();
    } catch (const std::exception& e) {
        message = QString::fromUtf8(e.what());
    } catch (...) {
        message = QStringLiteral("Unknown error");
    }
    reportMessage(message);
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
