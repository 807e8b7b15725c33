// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QVariant>

#include <cstddef>

/// One OSC message as read from the wire.
struct OscMessage {
    QByteArray path;
    QByteArray types; ///< the type tags, without the leading comma
    /// By type tag: i int, h qlonglong, f float, d double, s and S QString, T and F bool;
    /// every other type (blobs, MIDI, nil...) reads as a null QVariant.
    QVariantList args;
};

/// Why a datagram was dropped unread.
enum class OscDrop : quint8 {
    None,
    Oversized, ///< longer than MaxBytes
    Malformed, ///< not a message or bundle by the OSC 1.0 rules
    TooDeep,   ///< bundles nested deeper than MaxDepth
    TooMany,   ///< more than MaxMessages messages in one datagram
};

/// The OSC wire format: datagrams in, messages and bundles out. Messages are read and
/// written by liblo; bundles are framed here, so that their nesting and size stay bounded.
namespace OscPacket {
/// What a remote ever needs to send in one datagram is a few hundred bytes.
constexpr std::size_t MaxBytes = 4096;
/// A bundle may hold bundles this deep (the datagram's own bundle counts as 1).
constexpr int MaxDepth = 4;
constexpr int MaxMessages = 64;

/// Reads one datagram, a message or a bundle. On a drop `out` is left empty: a datagram
/// is acted on whole or not at all.
[[nodiscard]] OscDrop decode(const char* data, std::size_t size, QList<OscMessage>& out);

/// One message; arguments of type int, float or QString (others are left out).
[[nodiscard]] QByteArray message(const QByteArray& path, const QVariantList& args = {});

/// `messages` packed into as few bundles (to be executed at once) as fit `maxBytes` each;
/// a message too long for one alone goes in a bundle of its own.
[[nodiscard]] QList<QByteArray> bundles(const QList<QByteArray>& messages, std::size_t maxBytes);
} // namespace OscPacket
