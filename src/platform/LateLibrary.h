// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <future>
#include <mutex>

/// A shared library the program opens when it first needs it, not at its start: each library
/// the program is linked with is loaded (with every library it needs in turn) before the window
/// can show, and the window needs only some of them. The program reaches such a library's
/// functions through forwarding functions of its own, which look each function up once, at its
/// first call. Never closed: what it made may outlive any owner.
class LateLibrary {
public:
    /// `soname`: the name the library is known by ("libsndfile.so.1").
    explicit LateLibrary(const char* soname);
    LateLibrary(const LateLibrary&) = delete;
    LateLibrary& operator=(const LateLibrary&) = delete;

    /// Starts opening the library on a thread of its own, once; returns at once.
    void loadSoon();
    /// The function `name` of the library, once the library is open (waiting for it). Raises
    /// DeviceError when the library cannot be opened or has no such function.
    [[nodiscard]] void* function(const char* name);

    /// `function(name)` as a pointer to the function type `Function` (the type of its declaration).
    template <typename Function> [[nodiscard]] Function* function(const char* name)
    {
        return reinterpret_cast<Function*>(function(name));
    }

private:
    struct Opened {
        void* handle = nullptr;
        QString error;
    };
    std::shared_future<Opened> opening();

    const char* m_soname;
    std::mutex m_mutex;
    std::shared_future<Opened> m_opening;
};

/// In a function that stands in for the function `name` of the late library that `library()`
/// returns: `real`, the library's own, found at the first call.
#define SONAVEX_LATE(library, name) static auto* const real = library().function<decltype(name)>(#name)
