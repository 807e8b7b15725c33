// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// The controls' setters act only on a real change: stores `value` in `field` and
/// returns true when it differs from what was there.
template <typename T, typename V> bool assignChanged(T& field, const V& value)
{
    if (field == value)
        return false;
    field = value;
    return true;
}
