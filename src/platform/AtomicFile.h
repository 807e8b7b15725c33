// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <chrono>

/// Replaces a file's whole content so that a failure at any point leaves the old
/// file exactly as it was: write a temporary file beside it, flush and sync it,
/// then rename it over the old one. A symbolic link is written through: the file
/// it points to is replaced in its own folder and the link stays as it is.
class AtomicFileWriter {
public:
    virtual ~AtomicFileWriter() = default;
    /// Returns false (and leaves `path` untouched) on any failure; errorString() says why.
    /// The folder must exist: nothing is created but the file.
    [[nodiscard]] virtual bool replace(const QString& path, const QByteArray& content);
    /// What the last failed replace() ran into: the file and the system's reason.
    [[nodiscard]] const QString& errorString() const { return m_error; }

    /// The file a write to `path` really lands in: `path` with every symbolic link
    /// followed (also a link whose target does not exist yet).
    [[nodiscard]] static QString resolvedTarget(const QString& path);
    /// Removes the temporary files that a replace() of `path` killed part-way left
    /// behind, when they are older than `minAge` (a younger one may be another
    /// program's write in progress); all of them when `minAge` is 0.
    static void removeStaleTemporaries(const QString& path, std::chrono::seconds minAge);

protected:
    /// Writes `data` to the open descriptor; tests override it to fail part-way.
    [[nodiscard]] virtual bool writeAll(int fd, const char* data, qsizetype size);

private:
    bool fail(const QString& file, int error);

    QString m_error;
};
