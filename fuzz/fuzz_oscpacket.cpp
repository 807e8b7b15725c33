// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary datagrams to the OSC remote, from this computer and from the network, admitted
// or not: it must never crash or leak, and a message it reads must read the same once written again.
#include "BoundsBoard.h"
#include "remote/OscRemote.h"

#include <QCoreApplication>

#include <cstdlib>

namespace {

class NoTransport : public OscTransport {
public:
    void send(const OscPeer&, const QByteArray& datagram) override
    {
        if (static_cast<std::size_t>(datagram.size()) > 65507)
            std::abort();
    }
};

/// Messages of ints and strings only come back the same when written again.
void checkRoundTrip(const QList<OscMessage>& messages)
{
    for (const OscMessage& m : messages) {
        if (m.types.contains('f') || m.types.contains('d') || m.types.contains('h') ||
            QByteArray(m.types).replace('i', "").replace('s', "").size() != 0)
            continue;
        const QByteArray again = OscPacket::message(m.path, m.args);
        QList<OscMessage> read;
        if (OscPacket::decode(again.constData(), static_cast<std::size_t>(again.size()), read) !=
                OscDrop::None ||
            read.size() != 1 || read[0].path != m.path || read[0].args != m.args)
            std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    static BoundsBoard board;
    static NoTransport transport;
    OscRemote remote(board, transport);
    qint64 now = 0;
    remote.setClock([&now] { return now; });
    remote.setPasscode(QStringLiteral("pass"));
    // The first byte: who sends, and whether the sender is admitted first.
    const OscPeer peer{(data[0] & 1) ? 0x7F000001u : 0x0A000002u, static_cast<quint16>(data[0])};
    if (data[0] & 2) {
        const QByteArray connect = OscPacket::message("/sonavex/connect", {QStringLiteral("pass")});
        remote.receive(connect.constData(), static_cast<std::size_t>(connect.size()), peer);
    }
    const auto* bytes = reinterpret_cast<const char*>(data + 1);
    QList<OscMessage> messages;
    if (OscPacket::decode(bytes, size - 1, messages) == OscDrop::None)
        checkRoundTrip(messages);
    remote.receive(bytes, size - 1, peer);
    now += 500;
    remote.receive(bytes, size - 1, peer);
    return 0;
}
