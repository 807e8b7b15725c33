// SPDX-License-Identifier: GPL-3.0-or-later
// RtMidi and JACK, which MIDI reads the controllers through, are opened when MIDI starts: linked,
// they and the libraries they need in turn (ALSA's and a database library among them) were
// loaded before the window could show. These functions stand in for theirs and call them; each
// finds its own once. Hidden, so that no library's calls to its own functions ever reach them.
#include "MidiDevices.h"

#include "platform/LateLibrary.h"

#include <jack/jack.h>
#include <rtmidi/rtmidi_c.h>

namespace {
LateLibrary& rtmidi()
{
    static LateLibrary library("librtmidi.so.6");
    return library;
}

LateLibrary& jack()
{
    static LateLibrary library("libjack.so.0");
    return library;
}
} // namespace

void MidiDevices::loadLibrariesSoon()
{
    rtmidi().loadSoon();
    jack().loadSoon();
}

#pragma GCC visibility push(hidden)
extern "C" {

RtMidiInPtr rtmidi_in_create(RtMidiApi api, const char* clientName, unsigned int queueSizeLimit)
{
    SONAVEX_LATE(rtmidi, rtmidi_in_create);
    return real(api, clientName, queueSizeLimit);
}

void rtmidi_in_free(RtMidiInPtr device)
{
    SONAVEX_LATE(rtmidi, rtmidi_in_free);
    real(device);
}

RtMidiOutPtr rtmidi_out_create(RtMidiApi api, const char* clientName)
{
    SONAVEX_LATE(rtmidi, rtmidi_out_create);
    return real(api, clientName);
}

void rtmidi_out_free(RtMidiOutPtr device)
{
    SONAVEX_LATE(rtmidi, rtmidi_out_free);
    real(device);
}

unsigned int rtmidi_get_port_count(RtMidiPtr device)
{
    SONAVEX_LATE(rtmidi, rtmidi_get_port_count);
    return real(device);
}

int rtmidi_get_port_name(RtMidiPtr device, unsigned int portNumber, char* bufOut, int* bufLen)
{
    SONAVEX_LATE(rtmidi, rtmidi_get_port_name);
    return real(device, portNumber, bufOut, bufLen);
}

void rtmidi_open_port(RtMidiPtr device, unsigned int portNumber, const char* portName)
{
    SONAVEX_LATE(rtmidi, rtmidi_open_port);
    real(device, portNumber, portName);
}

void rtmidi_in_ignore_types(RtMidiInPtr device, bool midiSysex, bool midiTime, bool midiSense)
{
    SONAVEX_LATE(rtmidi, rtmidi_in_ignore_types);
    real(device, midiSysex, midiTime, midiSense);
}

void rtmidi_in_set_callback(RtMidiInPtr device, RtMidiCCallback callback, void* userData)
{
    SONAVEX_LATE(rtmidi, rtmidi_in_set_callback);
    real(device, callback, userData);
}

int rtmidi_out_send_message(RtMidiOutPtr device, const unsigned char* message, int length)
{
    SONAVEX_LATE(rtmidi, rtmidi_out_send_message);
    return real(device, message, length);
}

// Only ever called with the three arguments below: no server is named.
jack_client_t* jack_client_open(const char* clientName, jack_options_t options, jack_status_t* status, ...)
{
    SONAVEX_LATE(jack, jack_client_open);
    return real(clientName, options, status);
}

int jack_client_close(jack_client_t* client)
{
    SONAVEX_LATE(jack, jack_client_close);
    return real(client);
}

void jack_on_shutdown(jack_client_t* client, JackShutdownCallback function, void* arg)
{
    SONAVEX_LATE(jack, jack_on_shutdown);
    real(client, function, arg);
}

jack_port_t* jack_port_by_name(jack_client_t* client, const char* portName)
{
    SONAVEX_LATE(jack, jack_port_by_name);
    return real(client, portName);
}

int jack_port_flags(const jack_port_t* port)
{
    SONAVEX_LATE(jack, jack_port_flags);
    return real(port);
}

void jack_set_error_function(void (*function)(const char*))
{
    SONAVEX_LATE(jack, jack_set_error_function);
    real(function);
}

void jack_set_info_function(void (*function)(const char*))
{
    SONAVEX_LATE(jack, jack_set_info_function);
    real(function);
}

} // extern "C"
#pragma GCC visibility pop
