// SPDX-License-Identifier: GPL-3.0-or-later
#include "OscPacket.h"

#include <QtEndian>

#include <lo/lo.h>

#include <cstring>
#include <memory>

namespace {

const char BundleTag[8] = {'#', 'b', 'u', 'n', 'd', 'l', 'e', '\0'};
constexpr std::size_t BundleHeader = 16; // the tag and the time tag

struct MessageFree {
    void operator()(lo_message m) const { lo_message_free(m); }
};
using Message = std::unique_ptr<std::remove_pointer_t<lo_message>, MessageFree>;

bool isBundle(const char* data, std::size_t size)
{
    return size >= sizeof BundleTag && std::memcmp(data, BundleTag, sizeof BundleTag) == 0;
}

/// liblo's arguments sit at 4-byte steps of its copy, and an lo_arg needs 8-byte alignment:
/// they are read by copying their bytes, never through the union.
template <typename T> T read(const void* at)
{
    T value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

QVariant argument(char type, const void* arg)
{
    switch (type) {
    case LO_INT32:
        return read<qint32>(arg);
    case LO_INT64:
        return static_cast<qlonglong>(read<qint64>(arg));
    case LO_FLOAT:
        return read<float>(arg);
    case LO_DOUBLE:
        return read<double>(arg);
    case LO_STRING:
    case LO_SYMBOL:
        return QString::fromUtf8(static_cast<const char*>(arg));
    case LO_TRUE:
        return true;
    case LO_FALSE:
        return false;
    default:
        return {};
    }
}

OscDrop readMessage(const char* data, std::size_t size, QList<OscMessage>& out)
{
    if (out.size() >= OscPacket::MaxMessages)
        return OscDrop::TooMany;
    if (size == 0 || data[0] != '/')
        return OscDrop::Malformed;
    // liblo reads from a copy it may align; it checks every string, tag and length.
    QByteArray copy(data, static_cast<qsizetype>(size));
    int result = 0;
    const Message m(lo_message_deserialise(copy.data(), size, &result));
    if (!m || result != 0)
        return OscDrop::Malformed;
    OscMessage message;
    message.path = QByteArray(data, static_cast<qsizetype>(qstrnlen(data, static_cast<uint>(size))));
    const char* types = lo_message_get_types(m.get());
    const int count = lo_message_get_argc(m.get());
    lo_arg** argv = lo_message_get_argv(m.get());
    message.types = QByteArray(types ? types : "");
    if (message.types.size() != count)
        return OscDrop::Malformed;
    for (int i = 0; i < count; ++i)
        message.args << argument(types[i], static_cast<const void*>(argv[i]));
    out << message;
    return OscDrop::None;
}

OscDrop readPacket(const char* data, std::size_t size, int depth, QList<OscMessage>& out)
{
    if (!isBundle(data, size))
        return readMessage(data, size, out);
    if (depth >= OscPacket::MaxDepth)
        return OscDrop::TooDeep;
    if (size < BundleHeader || size % 4 != 0)
        return OscDrop::Malformed;
    std::size_t at = BundleHeader;
    while (at < size) {
        if (size - at < 4)
            return OscDrop::Malformed;
        const auto length = qFromBigEndian<quint32>(data + at);
        at += 4;
        if (length == 0 || length % 4 != 0 || length > size - at)
            return OscDrop::Malformed;
        if (const OscDrop drop = readPacket(data + at, length, depth + 1, out); drop != OscDrop::None)
            return drop;
        at += length;
    }
    return OscDrop::None;
}

void appendBigEndian(QByteArray& to, quint32 value)
{
    char bytes[4];
    qToBigEndian(value, bytes);
    to.append(bytes, 4);
}

QByteArray newBundle()
{
    QByteArray b(BundleTag, sizeof BundleTag);
    appendBigEndian(b, 0);
    appendBigEndian(b, 1); // the time tag that means "at once"
    return b;
}

} // namespace

namespace OscPacket {

OscDrop decode(const char* data, std::size_t size, QList<OscMessage>& out)
{
    out.clear();
    if (size > MaxBytes)
        return OscDrop::Oversized;
    const OscDrop drop = readPacket(data, size, 0, out);
    if (drop != OscDrop::None)
        out.clear();
    return drop;
}

QByteArray message(const QByteArray& path, const QVariantList& args)
{
    const Message m(lo_message_new());
    for (const QVariant& arg : args) {
        switch (arg.typeId()) {
        case QMetaType::Int:
            lo_message_add_int32(m.get(), arg.toInt());
            break;
        case QMetaType::Float:
        case QMetaType::Double:
            lo_message_add_float(m.get(), arg.toFloat());
            break;
        case QMetaType::QString:
            lo_message_add_string(m.get(), arg.toString().toUtf8().constData());
            break;
        default:
            break;
        }
    }
    std::size_t size = 0;
    void* bytes = lo_message_serialise(m.get(), path.constData(), nullptr, &size);
    if (!bytes)
        return {};
    QByteArray out(static_cast<const char*>(bytes), static_cast<qsizetype>(size));
    std::free(bytes);
    return out;
}

QList<QByteArray> bundles(const QList<QByteArray>& messages, std::size_t maxBytes)
{
    QList<QByteArray> out;
    QByteArray bundle;
    for (const QByteArray& m : messages) {
        const auto grown = static_cast<std::size_t>(bundle.size() + 4 + m.size());
        if (!bundle.isEmpty() && grown > maxBytes) {
            out << bundle;
            bundle.clear();
        }
        if (bundle.isEmpty())
            bundle = newBundle();
        appendBigEndian(bundle, static_cast<quint32>(m.size()));
        bundle.append(m);
    }
    if (!bundle.isEmpty())
        out << bundle;
    return out;
}

} // namespace OscPacket
