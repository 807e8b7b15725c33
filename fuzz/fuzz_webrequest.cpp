// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to the web remote's readers: the HTTP request parser (as the bytes come in
// pieces) and the page's command parser. Neither may crash or leak; a request read must lie
// within the bytes and the bounds, and a command must stay within the board when run.
#include "BoundsBoard.h"
#include "web/HttpRequest.h"
#include "web/WebCommand.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const QByteArray bytes(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(size - 1));
    if (data[0] & 1) {
        static BoundsBoard board;
        if (const auto command = WebCommand::parse(bytes))
            (void)command->run(board);
        return 0;
    }
    // As a socket hands the request over: growing, a piece at a time.
    const qsizetype step = 1 + data[0] / 2;
    for (qsizetype n = 0; n <= bytes.size(); n += step) {
        HttpRequest r;
        const QByteArray part = bytes.left(n);
        if (HttpRequest::parse(part, r) == HttpRequest::Parse::Done) {
            if (r.consumed > part.size() || r.body.size() > HttpRequest::MaxBody || r.consumed <= 0)
                std::abort();
            (void)r.cookie("sonavex_session");
            (void)r.wantsWebSocket();
            break;
        }
    }
    return 0;
}
