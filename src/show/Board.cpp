// SPDX-License-Identifier: GPL-3.0-or-later
#include "Board.h"

#include <algorithm>

double Board::timeLeft() const
{
    return std::max(0.0, length() - position());
}
