// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

/// Replaces a file's whole content so that a failure at any point leaves the old
/// file exactly as it was: write a temporary file beside it, flush and sync it,
/// then rename it over the old one.
class AtomicFileWriter {
public:
    virtual ~AtomicFileWriter() = default;
    /// Returns false (and leaves `path` untouched) on any failure.
    [[nodiscard]] virtual bool replace(const QString& path, const QByteArray& content);

protected:
    /// Writes `data` to the open descriptor; tests override it to fail part-way.
    [[nodiscard]] virtual bool writeAll(int fd, const char* data, qsizetype size);
};
