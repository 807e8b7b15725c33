// SPDX-License-Identifier: GPL-3.0-or-later
#include "Board.h"

#include <algorithm>

double Board::timeLeft() const
{
    return std::max(0.0, length() - position());
}

FailedPress::FailedPress(Board& board)
    : m_connection(
          QObject::connect(&board, &Board::pressFailed,
                           [this](int, int, const QString& message, PressedBy) { m_message = message; }))
{
}

FailedPress::~FailedPress()
{
    QObject::disconnect(m_connection);
}
