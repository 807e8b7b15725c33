// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "AudioDecoder.h"

#include <QByteArray>
#include <QString>

#include <memory>

/// The decoders (FFmpeg's and the synthesizer's) live in a library of their own, loaded while
/// the program runs: with the hundred and more libraries they bring, loading them at start-up
/// took longer than all the rest of it. The first decoder asked for waits for the load; `preload`
/// starts it early, on a thread of its own.
namespace DecoderLibrary {

/// The name the library's entry point is exported under.
inline constexpr const char* EntryPoint = "sonavexOpenDecoder";
/// The entry point: a decoder for `path`, whose first bytes are `start`; raises DeviceError.
using OpenDecoder = AudioDecoder* (*)(const QString& path, const QByteArray& start);

/// Starts loading the library on a thread of its own, once; returns at once.
void preload();
/// A decoder for `path`, from the library (waiting for its load). Raises DeviceError, also when
/// the library cannot be loaded.
std::unique_ptr<AudioDecoder> open(const QString& path, const QByteArray& start);

} // namespace DecoderLibrary
