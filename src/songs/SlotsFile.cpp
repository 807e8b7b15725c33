// SPDX-License-Identifier: GPL-3.0-or-later
#include "SlotsFile.h"

#include "SongStruc.h"

#include <QRegularExpression>
#include <QStringDecoder>

namespace {

const QLatin1String Header("[Sonavex]");

/// Control characters, "%" and blanks at either end are written as "%" and the two hex
/// digits of each of their UTF-8 bytes; everything else as it is.
QByteArray encodeValue(const QString& value)
{
    const QByteArray utf8 = value.toUtf8();
    QByteArray out;
    out.reserve(utf8.size());
    for (qsizetype i = 0; i < utf8.size(); ++i) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        const bool edgeBlank = (b == ' ' || b == '\t') && (i == 0 || i == utf8.size() - 1);
        // U+0080..U+009F: 0xC2 then 0x80..0x9F.
        const bool c1 =
            (b == 0xC2 && i + 1 < utf8.size() && static_cast<unsigned char>(utf8[i + 1]) <= 0x9F) ||
            (b >= 0x80 && b <= 0x9F && i > 0 && static_cast<unsigned char>(utf8[i - 1]) == 0xC2);
        if (b < 0x20 || b == 0x7F || b == '%' || edgeBlank || c1)
            out += '%' + QByteArray::number(b, 16).rightJustified(2, '0').toUpper();
        else
            out += static_cast<char>(b);
    }
    return out;
}

bool decodeValue(const QByteArray& text, QString& value)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            bytes += text[i];
            continue;
        }
        bool ok = false;
        const int b = i + 2 < text.size() ? text.mid(i + 1, 2).toInt(&ok, 16) : 0;
        if (!ok)
            return false;
        bytes += static_cast<char>(b);
        i += 2;
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    value = utf8(bytes);
    return !utf8.hasError();
}

} // namespace

QString SlotsFile::pathFor(const QString& infoPath)
{
    if (infoPath.endsWith(QLatin1String(".inf"), Qt::CaseInsensitive))
        return infoPath.chopped(4) + QLatin1String(".slots");
    return infoPath + QLatin1String(".slots");
}

SlotsFile::Parsed SlotsFile::parse(const QByteArray& data)
{
    Parsed parsed;
    const auto damaged = [&parsed](int line, const QString& why) {
        parsed.kind = Parsed::Kind::Damaged;
        parsed.entries.clear();
        parsed.problem = QStringLiteral("line %1: %2").arg(line).arg(why);
        return parsed;
    };
    static const QRegularExpression slotName(QStringLiteral("^\\[(\\d{1,2}),(\\d{1,2})\\]$"));
    static const QRegularExpression keyName(QStringLiteral("^[a-z0-9][a-z0-9.-]*$"));

    bool inHeader = false;
    int version = 0;
    // A text editor may have put a byte order mark in front.
    const QList<QByteArray> lines = (data.startsWith("\xEF\xBB\xBF") ? data.mid(3) : data).split('\n');
    for (int n = 0; n < lines.size(); ++n) {
        const QByteArray line = lines[n].trimmed();
        const int number = n + 1;
        if (line.isEmpty() || line.startsWith('#') || line.startsWith(';'))
            continue;
        if (line.startsWith('[')) {
            const QString name = QString::fromUtf8(line);
            if (version == 0 && !inHeader) {
                if (name != Header)
                    return damaged(number, QStringLiteral("it does not begin with %1").arg(Header));
                inHeader = true;
                continue;
            }
            if (version == 0)
                return damaged(number, QStringLiteral("%1 gives no version").arg(Header));
            inHeader = false;
            const auto m = slotName.match(name);
            const int sheet = m.hasMatch() ? m.captured(1).toInt() : -1;
            const int slot = m.hasMatch() ? m.captured(2).toInt() : -1;
            if (sheet < 0 || sheet >= SheetCount || slot < 0 || slot >= SlotCount)
                return damaged(number, QStringLiteral("%1 names no slot").arg(name));
            parsed.entries.append({sheet, slot, {}});
            continue;
        }
        const qsizetype equals = line.indexOf('=');
        const QString key = QString::fromUtf8(line.left(std::max<qsizetype>(equals, 0)).trimmed());
        QString value;
        if (equals < 0 || !keyName.match(key).hasMatch())
            return damaged(number, QStringLiteral("it is not \"key = value\""));
        if (!decodeValue(line.mid(equals + 1).trimmed(), value))
            return damaged(number, QStringLiteral("its value is not UTF-8 text"));
        if (inHeader) {
            if (key == QLatin1String("version")) {
                bool ok = false;
                version = value.toInt(&ok);
                if (!ok || version < 1)
                    return damaged(number, QStringLiteral("the version is not a number"));
                if (version > Version) {
                    parsed.kind = Parsed::Kind::Newer;
                    parsed.problem = QStringLiteral("version %1").arg(version);
                    return parsed;
                }
            }
            continue; // the header's other keys belong to later versions
        }
        if (parsed.entries.isEmpty())
            return damaged(number, QStringLiteral("it does not begin with %1").arg(Header));
        parsed.entries.last().keys.append({key, value});
    }
    if (version == 0)
        return damaged(static_cast<int>(lines.size()),
                       QStringLiteral("%1 and its version are missing").arg(Header));
    return parsed;
}

QByteArray SlotsFile::write(const QList<Entry>& entries)
{
    QByteArray out = "# Sonavex: what the song file beside this one cannot hold, slot by slot.\n" +
                     QByteArray(Header.data(), Header.size()) + "\nversion = " + QByteArray::number(Version) +
                     "\n";
    for (const Entry& entry : entries) {
        out += "\n[" + QByteArray::number(entry.sheet) + ',' + QByteArray::number(entry.slot) + "]\n";
        for (const auto& [key, value] : entry.keys)
            out += key.toUtf8() + " = " + encodeValue(value) + '\n';
    }
    return out;
}
