// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to the web remote's readers: the HTTP request parser (as the bytes come in
// pieces) and the page's command parser. Neither may crash or leak; a request read must lie
// within the bytes and the bounds, and a command must stay within the board when run.
#include "web/HttpRequest.h"
#include "web/WebCommand.h"

#include "show/Board.h"

#include <cstdlib>

namespace {

class BoundsBoard : public Board {
public:
    SlotState slotState(int, int) const override { return SlotState::Filled; }
    QString slotTitle(int, int) const override { return {}; }
    QString sheetName(int) const override { return {}; }
    int shownSheet() const override { return 0; }
    TPlayState playState() const override { return TPlayState::psStopped; }
    NowPlaying nowPlaying() const override { return {}; }
    double position() const override { return 0; }
    double length() const override { return 0; }
    bool audition() const override { return false; }
    void press(int sheet, int slot, PressedBy) override { check(sheet, slot); }
    void release(int sheet, int slot, PressedBy) override { check(sheet, slot); }
    void queue(int sheet, int slot, PressedBy) override { check(sheet, slot); }
    void play() override {}
    void stopSong() override {}
    void stopAll() override {}
    void pause() override {}
    void fade(int speed) override
    {
        if (speed < 0 || speed > FadeSpeeds)
            std::abort();
    }
    void showSheet(int sheet) override { check(sheet, 0); }

private:
    static void check(int sheet, int slot)
    {
        if (sheet < 0 || sheet >= Sheets || slot < 0 || slot >= Slots)
            std::abort();
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const QByteArray bytes(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(size - 1));
    if (data[0] & 1) {
        static BoundsBoard board;
        if (const auto command = WebCommand::parse(bytes))
            command->run(board);
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
