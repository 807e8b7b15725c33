// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <exception>

/// Receives every error that leaves an event handler. One reporter is installed
/// for the process: the message box in the program, a recorder in tests.
class ErrorReporter {
public:
    virtual ~ErrorReporter() = default;
    virtual void report(const QString& message) = 0;

    /// The text shown to the operator: "." is appended when the message is not
    /// empty and its last character sorts after ".".
    [[nodiscard]] static QString displayText(const QString& message);

    static void install(ErrorReporter* reporter);
    [[nodiscard]] static ErrorReporter* installed();

    /// The message of the exception currently being handled, as the reporter would show it
    /// before displayText(); call it only inside a catch block.
    [[nodiscard]] static QString currentMessage() noexcept;
    /// Hands the exception currently being handled to the installed reporter.
    static void reportCurrentException() noexcept;
    /// Hands `message` to the installed reporter, for a problem found outside any handler.
    static void reportMessage(const QString& message) noexcept;
};
