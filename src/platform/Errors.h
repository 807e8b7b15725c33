// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// platform/: what every other folder may use and what uses none of them: errors (this
// header) and the reporter, guards, dialogs, the settings store, atomic files, text
// encoding, fonts, timers, thread scheduling, signals, mounted drives, window placement.

#include <QString>

#include <stdexcept>

/// Base of every error the program raises. The message is what the operator reads.
class SonavexError : public std::runtime_error {
public:
    explicit SonavexError(const QString& message);
    [[nodiscard]] QString message() const;
};

/// A sheet, slot, track or coordinate outside its declared range.
class RangeError : public SonavexError {
public:
    using SonavexError::SonavexError;
};

/// Text that should have been a number, such as a CD track name.
class ConvertError : public SonavexError {
public:
    using SonavexError::SonavexError;
};

/// A device (audio output, CD, wave device) refused a request.
class DeviceError : public SonavexError {
public:
    using SonavexError::SonavexError;
};

/// No sound can be played out: the sound server is not there or refuses. A state of the
/// machine, not of a song: the board says it in the status bar and keeps its queue.
class NoAudioOutput : public DeviceError {
public:
    using DeviceError::DeviceError;
};

/// Any other failure with a message of its own.
class GeneralError : public SonavexError {
public:
    using SonavexError::SonavexError;
};

/// Raises a RangeError unless low <= value <= high.
void checkRange(long long value, long long low, long long high);
