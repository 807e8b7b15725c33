// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <chrono>
#include <utility>

/// Replaces a file's whole content so that a failure at any point leaves the old
/// file exactly as it was: write a temporary file beside it, flush and sync it,
/// then rename it over the old one. A symbolic link is written through: the file
/// it points to is replaced in its own folder and the link stays as it is.
///
/// A temporary file is locked (flock) by its writer from the moment it exists until
/// it has its final name, so that a temporary nobody holds is known to be left over
/// from a writer that was killed.
class AtomicFileWriter {
public:
    using Files = QList<std::pair<QString, QByteArray>>;

    virtual ~AtomicFileWriter() = default;
    /// Returns false (and leaves `path` untouched) on any failure; errorString() says why.
    /// The folder must exist: nothing is created but the file.
    [[nodiscard]] virtual bool replace(const QString& path, const QByteArray& content);
    /// Replaces files that belong together, so that after a kill or a power cut at any moment
    /// either all of them are old or, once finishInterrupted() of the first path has run, all
    /// of them are new. Every file is written and synced under a temporary name first; then a
    /// commit list (".<first file's name>-commit", beside the first file) naming each temporary
    /// and its file is synced; only then are the temporaries renamed, and the list removed.
    /// A list found complete means "rename what is left"; one cut short means "never committed".
    /// Returns false on any failure; when a rename failed after the commit, the list stays for
    /// the next finishInterrupted() to complete.
    [[nodiscard]] virtual bool replaceTogether(const Files& files);
    /// What the last failed replace() ran into: the file and the system's reason.
    [[nodiscard]] const QString& errorString() const { return m_error; }

    /// The file a write to `path` really lands in: `path` with every symbolic link
    /// followed (also a link whose target does not exist yet).
    [[nodiscard]] static QString resolvedTarget(const QString& path);
    /// Removes the temporary files that a replace() of `path` killed part-way left
    /// behind, when they are older than `minAge` (a younger one may be another
    /// program's write in progress); all of them when `minAge` is 0.
    static void removeStaleTemporaries(const QString& path, std::chrono::seconds minAge);
    /// Removes every temporary file of `path` that no running writer holds, whatever its age.
    static void removeAbandonedTemporaries(const QString& path);
    /// Completes a replaceTogether() whose first file is `path` and that was killed after it
    /// committed, or drops the commit list of one killed before; a list a running writer holds
    /// is left alone. Call it before removeAbandonedTemporaries(), which would take the
    /// committed temporaries for strays.
    static void finishInterrupted(const QString& path);

protected:
    /// Writes `data` to the open descriptor; tests override it to fail part-way.
    [[nodiscard]] virtual bool writeAll(int fd, const char* data, qsizetype size);
    /// Called between the steps of replaceTogether() (each file written, the commit list
    /// written, each rename); tests override it to widen the moments a kill can fall into.
    virtual void betweenSteps() {}

private:
    struct Temporary;
    bool fail(const QString& file, int error);
    /// Creates, locks, fills and syncs a temporary beside `target`; false (and nothing left
    /// behind) on failure.
    bool writeTemporary(const QString& target, const QByteArray& content, Temporary& temporary);

    QString m_error;
};
