// SPDX-License-Identifier: GPL-3.0-or-later
#include "Fonts.h"

#include <QFontDatabase>
#include <QStringList>

#include <fontconfig/fontconfig.h>

namespace {
bool g_loaded = false;
QString g_tahomaFamily = QStringLiteral("DejaVu Sans");

QFont withPixels(const QString& family, int pixelSize, bool bold = false, bool italic = false)
{
    QFont f(family);
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    f.setItalic(italic);
    f.setStyleStrategy(QFont::PreferAntialias);
    return f;
}
} // namespace

Fonts::SystemFontsReader::SystemFontsReader()
    : m_thread([this] {
        // The configuration every later font question answers from; the library takes
        // care that a question asked meanwhile is answered all the same.
        FcInit();
        std::unique_lock lock(m_mutex);
        m_told.wait(lock, [this] { return m_next != Next::Hold; });
        if (m_next == Next::List) {
            lock.unlock();
            // The toolkit's font database lists every font at its first question, under a lock
            // of its own: a font the window asks for meanwhile waits for the list.
            (void)QFontDatabase::families();
        }
    })
{
}

Fonts::SystemFontsReader::~SystemFontsReader()
{
    wait();
}

void Fonts::SystemFontsReader::applicationMade()
{
    tell(Next::List);
}

void Fonts::SystemFontsReader::wait()
{
    tell(Next::Leave);
    if (m_thread.joinable())
        m_thread.join();
}

void Fonts::SystemFontsReader::tell(Next next)
{
    {
        const std::lock_guard lock(m_mutex);
        if (m_next != Next::Hold)
            return;
        m_next = next;
    }
    m_told.notify_one();
}

void Fonts::loadProgramFonts()
{
    if (g_loaded)
        return;
    g_loaded = true;
    // Wine ships Tahoma outside the system's font folders. Only its regular cut: the
    // file it ships as the bold one has strokes no heavier than the regular's.
    const int id = QFontDatabase::addApplicationFont(QStringLiteral("/usr/share/wine/fonts/tahoma.ttf"));
    if (id >= 0) {
        const QStringList families = QFontDatabase::applicationFontFamilies(id);
        if (!families.isEmpty())
            g_tahomaFamily = families.first();
    }
}

QFont Fonts::transistor(int pixelSize, bool bold)
{
    QFont f = withPixels(QStringLiteral("DSEG7 Classic"), pixelSize, bold);
    f.setStyleHint(QFont::Monospace);
    return f;
}

QFont Fonts::arial(int pixelSize)
{
    return withPixels(QStringLiteral("Liberation Sans"), pixelSize);
}

QFont Fonts::arialPoints(int pointSize)
{
    QFont f(QStringLiteral("Liberation Sans"));
    f.setPointSize(pointSize);
    return f;
}

QFont Fonts::msSansSerif(int pixelSize)
{
    return withPixels(QStringLiteral("Liberation Sans"), pixelSize);
}

QFont Fonts::tahoma(int pixelSize, bool bold)
{
    loadProgramFonts(); // at the first use: nothing the main window shows at its start is set in it
    // Bold text is drawn in the bold cut of the stand-in, which is bold indeed.
    return withPixels(bold ? QStringLiteral("DejaVu Sans") : g_tahomaFamily, pixelSize, bold);
}

QFont Fonts::garamond(int pixelSize, bool bold, bool italic)
{
    return withPixels(QStringLiteral("EB Garamond"), pixelSize, bold, italic);
}
