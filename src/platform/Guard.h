// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ErrorReporter.h"

#include <QObject>

#include <type_traits>
#include <utility>

/// Runs `f`; an exception never leaves it but goes to the installed reporter.
/// Wrap the body of every event override, timer tick and queued lambda in it.
/// Returns false when `f` raised.
template <typename F> bool guard(F&& f) noexcept
{
    try {
        std::forward<F>(f)();
        return true;
    } catch (...) {
        ErrorReporter::reportCurrentException();
        return false;
    }
}

/// QObject::connect whose slot is guarded: an error raised by the slot is
/// reported and never unwinds through Qt's signal machinery.
template <typename Sender, typename Signal, typename Receiver, typename Slot>
QMetaObject::Connection connectGuarded(Sender* sender, Signal signal, Receiver* receiver, Slot slot,
                                       Qt::ConnectionType type = Qt::AutoConnection)
{
    if constexpr (std::is_member_function_pointer_v<Slot>) {
        return QObject::connect(
            sender, signal, receiver,
            [receiver, slot](auto&&... args) -> decltype((void)(receiver->*slot)(args...)) {
                guard([&] { (receiver->*slot)(args...); });
            },
            type);
    } else {
        return QObject::connect(
            sender, signal, receiver,
            [slot](auto&&... args) mutable -> decltype((void)slot(args...)) {
                guard([&] { slot(args...); });
            },
            type);
    }
}
