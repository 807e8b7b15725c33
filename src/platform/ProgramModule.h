// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

/// A library of the program's own that it loads while it runs, not at its start: what such a
/// library brings in (the decoders, printing) would otherwise be loaded, with every library it
/// needs in turn, before the window could show. Looked for beside the program as installed (the
/// same path from the program's folder as in the build tree), then in the build tree's and the
/// installed folder. Never unloaded: what it made may outlive any owner of the handle.
namespace ProgramModule {

/// The function the library `fileName` ("libsonavex-print.so") exports as `entryPoint`; null,
/// with the reason in `error`, when the library is missing, cannot be loaded or has no such function.
[[nodiscard]] void* entry(const QString& fileName, const char* entryPoint, QString* error);

} // namespace ProgramModule
