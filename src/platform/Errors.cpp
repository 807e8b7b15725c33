// SPDX-License-Identifier: GPL-3.0-or-later
#include "Errors.h"

SonavexError::SonavexError(const QString& message)
    : std::runtime_error(message.toStdString())
{
}

QString SonavexError::message() const
{
    return QString::fromUtf8(what());
}

void checkRange(long long value, long long low, long long high)
{
    if (value < low || value > high)
        throw RangeError(QStringLiteral("Range check error"));
}
