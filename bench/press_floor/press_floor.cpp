// SPDX-License-Identifier: GPL-3.0-or-later
// The floor of press to sound for any X program here: one window the size of a sound button and
// one playback stream, already connected, corked, with the start of a song written ahead. A left
// press un-corks it and nothing else; the release corks it again, drops what the server holds and
// writes the start once more for the next press. One thread: the X connection is a source of the
// sound server's main loop, so a press is answered in the same turn of the loop that reads it.
// The window is mapped only once the stream is ready, so its mapping says "ready to press".
//
// Usage: press_floor song.wav [x y]   (16-bit PCM WAV; the window's place on the screen)
#include <pulse/pulseaudio.h>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr char Title[] = "press floor";
constexpr std::uint16_t ButtonWidth = 105;
constexpr std::uint16_t ButtonHeight = 42;
/// As short as the server grants: the floor waits for nothing it does not have to.
constexpr pa_usec_t TargetLatencyUs = 10000;
constexpr pa_usec_t RequestUs = 5000;

struct Song {
    pa_sample_spec sample{};
    std::vector<char> pcm;
};

std::uint32_t le(const std::vector<char>& b, std::size_t at, int bytes)
{
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(b[at + static_cast<std::size_t>(i)]);
    return v;
}

/// A RIFF WAVE of 16-bit PCM; false for anything else.
bool readWav(const char* path, Song& song)
{
    std::ifstream in(path, std::ios::binary);
    const std::vector<char> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) != 0 || std::memcmp(b.data() + 8, "WAVE", 4) != 0)
        return false;
    bool haveFormat = false;
    for (std::size_t at = 12; at + 8 <= b.size();) {
        const std::size_t size = le(b, at + 4, 4);
        const std::size_t body = at + 8;
        if (body + size > b.size() && std::memcmp(b.data() + at, "data", 4) != 0)
            return false;
        if (std::memcmp(b.data() + at, "fmt ", 4) == 0 && size >= 16) {
            if (le(b, body, 2) != 1 || le(b, body + 14, 2) != 16)
                return false;
            song.sample.format = PA_SAMPLE_S16LE;
            song.sample.channels = static_cast<std::uint8_t>(le(b, body + 2, 2));
            song.sample.rate = le(b, body + 4, 4);
            haveFormat = pa_sample_spec_valid(&song.sample) != 0;
        } else if (std::memcmp(b.data() + at, "data", 4) == 0 && haveFormat) {
            const std::size_t end = std::min(b.size(), body + size);
            song.pcm.assign(b.begin() + static_cast<std::ptrdiff_t>(body),
                            b.begin() + static_cast<std::ptrdiff_t>(end));
            song.pcm.resize(song.pcm.size() - song.pcm.size() % pa_frame_size(&song.sample));
            return !song.pcm.empty();
        }
        at = body + size + (size & 1);
    }
    return false;
}

class Floor {
public:
    Floor(const Song& song, xcb_connection_t* x, pa_mainloop* loop)
        : m_song(song)
        , m_x(x)
        , m_loop(loop)
    {
    }
    ~Floor()
    {
        if (m_stream) {
            pa_stream_disconnect(m_stream);
            pa_stream_unref(m_stream);
        }
        if (m_context) {
            pa_context_disconnect(m_context);
            pa_context_unref(m_context);
        }
    }
    Floor(const Floor&) = delete;
    Floor& operator=(const Floor&) = delete;

    /// Connects to the sound server and opens the corked stream; false (said on stderr) when
    /// that cannot be done.
    bool openStream()
    {
        pa_mainloop_api* api = pa_mainloop_get_api(m_loop);
        m_context = pa_context_new(api, "press floor");
        if (pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
            return fail("cannot connect to the sound server");
        while (pa_context_get_state(m_context) != PA_CONTEXT_READY) {
            if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(m_context)))
                return fail("no sound server");
            pa_mainloop_iterate(m_loop, 1, nullptr);
        }
        m_stream = pa_stream_new(m_context, "song", &m_song.sample, nullptr);
        pa_buffer_attr attr{};
        attr.maxlength = static_cast<std::uint32_t>(-1);
        // PRESS_FLOOR_BUFFER_US asks for the buffer a player of its own would keep (the minimum
        // request a quarter of it), to tell the press path from the buffering.
        const char* asked = std::getenv("PRESS_FLOOR_BUFFER_US");
        const pa_usec_t target = asked ? std::strtoull(asked, nullptr, 10) : TargetLatencyUs;
        attr.tlength = static_cast<std::uint32_t>(pa_usec_to_bytes(target, &m_song.sample));
        attr.prebuf = 0;
        attr.minreq =
            static_cast<std::uint32_t>(pa_usec_to_bytes(asked ? target / 4 : RequestUs, &m_song.sample));
        attr.fragsize = static_cast<std::uint32_t>(-1);
        pa_stream_set_write_callback(m_stream, &Floor::onWritable, this);
        const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_START_CORKED | PA_STREAM_ADJUST_LATENCY);
        if (pa_stream_connect_playback(m_stream, nullptr, &attr, flags, nullptr, nullptr) < 0)
            return fail("cannot open a playback stream");
        while (pa_stream_get_state(m_stream) != PA_STREAM_READY) {
            if (!PA_STREAM_IS_GOOD(pa_stream_get_state(m_stream)))
                return fail("the playback stream failed");
            pa_mainloop_iterate(m_loop, 1, nullptr);
        }
        writeHead();
        return true;
    }

    /// Opens the button-sized window at (x, y) and maps it.
    void openWindow(std::int16_t x, std::int16_t y)
    {
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_x)).data;
        m_window = xcb_generate_id(m_x);
        const std::uint32_t values[] = {screen->white_pixel,
                                        XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_BUTTON_RELEASE};
        xcb_create_window(m_x, XCB_COPY_FROM_PARENT, m_window, screen->root, x, y, ButtonWidth, ButtonHeight,
                          0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                          XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK, values);
        xcb_change_property(m_x, XCB_PROP_MODE_REPLACE, m_window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                            sizeof Title - 1, Title);
        xcb_map_window(m_x, m_window);
        xcb_flush(m_x);
    }

    /// Serves presses until the X connection ends.
    int run()
    {
        pa_mainloop_api* api = pa_mainloop_get_api(m_loop);
        api->io_new(api, xcb_get_file_descriptor(m_x), PA_IO_EVENT_INPUT, &Floor::onX, this);
        for (;;) {
            // Replies read earlier may have queued events without the socket becoming readable.
            handleEvents();
            if (xcb_connection_has_error(m_x))
                return 0;
            if (pa_mainloop_iterate(m_loop, 1, nullptr) < 0)
                return 1;
        }
    }

private:
    bool fail(const char* what)
    {
        std::fprintf(stderr, "press_floor: %s\n", what);
        return false;
    }

    static void onX(pa_mainloop_api*, pa_io_event*, int, pa_io_event_flags_t, void* self)
    {
        static_cast<Floor*>(self)->handleEvents();
    }

    static void onWritable(pa_stream*, std::size_t, void* self) { static_cast<Floor*>(self)->writeMore(); }

    void handleEvents()
    {
        while (xcb_generic_event_t* event = xcb_poll_for_event(m_x)) {
            const int type = event->response_type & 0x7F;
            const auto* button = reinterpret_cast<const xcb_button_press_event_t*>(event);
            if (type == XCB_BUTTON_PRESS && button->detail == XCB_BUTTON_INDEX_1)
                pa_operation_unref(pa_stream_cork(m_stream, 0, nullptr, nullptr));
            else if (type == XCB_BUTTON_RELEASE && button->detail == XCB_BUTTON_INDEX_1)
                rewind();
            std::free(event);
        }
    }

    /// Ready for the next press: corked, with the start of the song written ahead once more.
    void rewind()
    {
        pa_operation_unref(pa_stream_cork(m_stream, 1, nullptr, nullptr));
        pa_operation_unref(pa_stream_flush(m_stream, nullptr, nullptr));
        writeHead();
    }

    /// A quarter of a second of the song (all of a shorter one), more than the stream asks.
    void writeHead()
    {
        m_written = 0;
        const std::size_t head = std::min(m_song.pcm.size(), pa_usec_to_bytes(250000, &m_song.sample));
        write(head);
    }

    void writeMore()
    {
        const std::size_t room = pa_stream_writable_size(m_stream);
        if (room != static_cast<std::size_t>(-1))
            write(std::min(room, m_song.pcm.size() - m_written));
    }

    void write(std::size_t bytes)
    {
        if (bytes == 0)
            return;
        pa_stream_write(m_stream, m_song.pcm.data() + m_written, bytes, nullptr, 0, PA_SEEK_RELATIVE);
        m_written += bytes;
    }

    const Song& m_song;
    xcb_connection_t* m_x;
    pa_mainloop* m_loop;
    pa_context* m_context = nullptr;
    pa_stream* m_stream = nullptr;
    xcb_window_t m_window = XCB_NONE;
    std::size_t m_written = 0;
};

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 2 && argc != 4) {
        std::fprintf(stderr, "usage: press_floor song.wav [x y]\n");
        return 2;
    }
    Song song;
    if (!readWav(argv[1], song)) {
        std::fprintf(stderr, "press_floor: %s is no 16-bit PCM WAV\n", argv[1]);
        return 1;
    }
    std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)> x(xcb_connect(nullptr, nullptr),
                                                                   &xcb_disconnect);
    if (xcb_connection_has_error(x.get())) {
        std::fprintf(stderr, "press_floor: no X display\n");
        return 1;
    }
    std::unique_ptr<pa_mainloop, decltype(&pa_mainloop_free)> loop(pa_mainloop_new(), &pa_mainloop_free);
    Floor floor(song, x.get(), loop.get());
    if (!floor.openStream())
        return 1;
    const auto at = [&](int i) { return static_cast<std::int16_t>(argc == 4 ? std::atoi(argv[i]) : 20); };
    floor.openWindow(at(2), at(3));
    return floor.run();
}
