// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHostAddress>
#include <QTcpSocket>
#include <QTest>

/// One raw HTTP exchange with a server on the test's own thread: the event loop turns while it
/// answers. Returns the whole answer; empty when the server closed without one. `from`: the
/// address to send from (any of 127/8 stands for another host), else the system's choice.
inline QByteArray httpExchange(const QHostAddress& host, quint16 port, const QByteArray& request,
                               int timeoutMs = 3000, const QHostAddress& from = {})
{
    QTcpSocket socket;
    if (!from.isNull())
        socket.bind(from);
    socket.connectToHost(host, port);
    QByteArray answer;
    bool sent = false;
    for (int waited = 0; waited < timeoutMs && socket.state() != QAbstractSocket::UnconnectedState;
         waited += 5) {
        if (!sent && socket.state() == QAbstractSocket::ConnectedState) {
            socket.write(request);
            sent = true;
        }
        QTest::qWait(5);
        answer += socket.readAll();
    }
    return answer + socket.readAll();
}

/// The status line of an answer.
inline QByteArray httpStatus(const QByteArray& answer)
{
    const qsizetype eol = answer.indexOf("\r\n");
    return eol < 0 ? QByteArray() : answer.left(eol);
}
