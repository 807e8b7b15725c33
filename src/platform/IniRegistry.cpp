// SPDX-License-Identifier: GPL-3.0-or-later
#include "IniRegistry.h"

#include "AtomicFile.h"
#include "ErrorReporter.h"
#include "Errors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <ctime>

#include <sys/stat.h>

namespace {

QStringList splitKey(const QString& key)
{
    QStringList parts;
    for (const QString& p : key.split(QLatin1Char('\\'), Qt::SkipEmptyParts))
        parts << p;
    return parts;
}

QString escape(const QString& text, bool isName)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '\\':
            out += QLatin1String("\\\\");
            break;
        case '\n':
            out += QLatin1String("\\n");
            break;
        case '\r':
            out += QLatin1String("\\r");
            break;
        case '\t':
            out += QLatin1String("\\t");
            break;
        case '=':
            out += isName ? QLatin1String("\\=") : QLatin1String("=");
            break;
        default:
            out += c;
        }
    }
    // Readers drop blanks at either end and take "[", ";" and "#" at a line's start for
    // a section or a comment: escape them where they would be misread.
    if (isName && (out.startsWith(QLatin1Char('[')) || out.startsWith(QLatin1Char(';')) ||
                   out.startsWith(QLatin1Char('#'))))
        out.prepend(QLatin1Char('\\'));
    if (out.startsWith(QLatin1Char(' ')))
        out.prepend(QLatin1Char('\\'));
    if (out.endsWith(QLatin1Char(' ')))
        out.insert(out.size() - 1, QLatin1Char('\\'));
    return out;
}

/// `text` without the blanks at either end, keeping a blank escaped with "\\".
QStringView trimmed(QStringView text)
{
    qsizetype begin = 0;
    while (begin < text.size() && (text[begin] == QLatin1Char(' ') || text[begin] == QLatin1Char('\t')))
        ++begin;
    qsizetype end = text.size();
    while (end > begin && (text[end - 1] == QLatin1Char(' ') || text[end - 1] == QLatin1Char('\t'))) {
        qsizetype slashes = 0;
        while (end - 2 - slashes >= begin && text[end - 2 - slashes] == QLatin1Char('\\'))
            ++slashes;
        if (slashes % 2 == 1)
            break; // an escaped blank is part of the text
        --end;
    }
    return text.mid(begin, end - begin);
}

QString unescape(QStringView text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        QChar c = text[i];
        if (c == QLatin1Char('\\') && i + 1 < text.size()) {
            const QChar n = text[++i];
            switch (n.unicode()) {
            case 'n':
                out += QLatin1Char('\n');
                break;
            case 'r':
                out += QLatin1Char('\r');
                break;
            case 't':
                out += QLatin1Char('\t');
                break;
            default:
                out += n;
            }
        } else {
            out += c;
        }
    }
    return out;
}

qsizetype findSeparator(const QString& line)
{
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line[i] == QLatin1Char('\\'))
            ++i;
        else if (line[i] == QLatin1Char('='))
            return i;
    }
    return -1;
}

bool sameName(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

template <typename V> bool isNamed(const V& v, const QString& name)
{
    return v.note.isEmpty() && sameName(v.name, name);
}

} // namespace

IniRegistry::IniRegistry(QString configDir)
    : m_configDir(configDir.isEmpty() ? defaultConfigDir() : std::move(configDir))
{
}

QString IniRegistry::defaultConfigDir()
{
    const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg))
        return xdg;
    return QDir::homePath() + QLatin1String("/.config");
}

QString IniRegistry::fileForKey(const QString& key) const
{
    const QStringList parts = splitKey(key);
    const QString name =
        parts.size() >= 2 ? parts[1] : (parts.isEmpty() ? QStringLiteral("Default") : parts[0]);
    const QString fileName = name + QLatin1String(".ini");
    // Key names ignore case: an existing file of any spelling is the key's file.
    QStringList existing;
    {
        const std::optional<Stamp> folder = stampOf(m_configDir);
        const std::lock_guard lock(m_cache->mutex);
        if (!folder || !m_cache->folderListed || m_cache->folderStamp != *folder) {
            // Names matched here: a name filter is a pattern compiled anew at each listing.
            m_cache->folderFiles.clear();
            for (const QString& file : QDir(m_configDir).entryList(QDir::Files))
                if (file.endsWith(QLatin1String(".ini"), Qt::CaseInsensitive))
                    m_cache->folderFiles.append(file);
            m_cache->folderStamp = folder.value_or(Stamp{});
            m_cache->folderListed = folder && settled(*folder);
        }
        existing = m_cache->folderFiles;
    }
    for (const QString& candidate : existing)
        if (sameName(candidate, fileName))
            return m_configDir + QLatin1Char('/') + candidate;
    return m_configDir + QLatin1Char('/') + fileName;
}

bool IniRegistry::OpenKey(const QString& key, bool canCreate)
{
    QString file;
    QString section;
    QStringList parts = splitKey(key);
    const bool absolute = key.startsWith(QLatin1Char('\\')) || !m_open;
    if (absolute) {
        // "Software\Name" is the file, what follows is the section.
        file = fileForKey(key);
        section = parts.mid(2).join(QLatin1Char('\\'));
    } else {
        file = m_file;
        section = m_section.isEmpty() ? parts.join(QLatin1Char('\\'))
                                      : m_section + QLatin1Char('\\') + parts.join(QLatin1Char('\\'));
    }

    // Opening another key of the same file goes on with this opening's changes.
    const bool sameFile = m_open && file == m_file;
    const bool fileExists =
        QFileInfo::exists(file) || m_fallback->documents.contains(file) || (sameFile && !m_changes.isEmpty());
    const Document doc = sameFile ? load(file) : (fileExists ? loadStored(file) : Document{});
    const bool sectionExists = section.isEmpty() ? fileExists : findSection(doc, section) != nullptr;
    if (!sectionExists && !canCreate)
        return false;
    if (!sameFile)
        commit();
    m_file = file;
    m_section = section;
    m_open = true;
    if (!sectionExists)
        m_changes.append({Change::Kind::CreateSection, section, {}, {}});
    return true;
}

void IniRegistry::CloseKey()
{
    commit();
    m_open = false;
    m_file.clear();
    m_section.clear();
}

IniRegistry::~IniRegistry()
{
    try {
        commit();
    } catch (...) { // NOLINT(bugprone-empty-catch): a destructor must not throw; the reporter was told
    }
}

void IniRegistry::commit()
{
    if (m_changes.isEmpty())
        return;
    Document doc = loadStored(m_file);
    for (const Change& c : m_changes)
        apply(doc, c);
    m_changes.clear();
    save(m_file, doc);
}

void IniRegistry::apply(Document& doc, const Change& change)
{
    Section* s = findSection(doc, change.section);
    if (!s) {
        if (change.kind == Change::Kind::Delete)
            return;
        doc.append(Section{change.section, {}});
        s = &doc.back();
    }
    switch (change.kind) {
    case Change::Kind::CreateSection:
        return;
    case Change::Kind::Delete:
        s->values.removeIf([&](const Value& v) { return isNamed(v, change.name); });
        return;
    case Change::Kind::Set: {
        bool found = false;
        for (auto& v : s->values) {
            if (isNamed(v, change.name)) {
                v.value = change.value;
                found = true;
            }
        }
        if (!found)
            s->values.append({change.name, change.value, QString()});
        return;
    }
    }
}

void IniRegistry::removeLeftoverTemporaries(const QString& key) const
{
    AtomicFileWriter::removeStaleTemporaries(fileForKey(key), std::chrono::seconds(0));
}

IniRegistry::Document IniRegistry::parse(const QByteArray& bytes)
{
    Document doc;
    doc.append(Section{QString(), {}});
    QString text = QString::fromUtf8(bytes);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    Section* current = &doc.front();
    for (const QString& rawLine : text.split(QLatin1Char('\n'))) {
        // A file passed between systems can end its lines in more than one carriage return.
        QStringView line = trimmed(QStringView(rawLine));
        while (line.endsWith(QLatin1Char('\r')))
            line = trimmed(line.chopped(1));
        if (line.isEmpty())
            continue;
        if (line.startsWith(QLatin1Char(';')) || line.startsWith(QLatin1Char('#'))) {
            current->values.append({QString(), QString(), line.toString()});
            continue;
        }
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            const QString name = trimmed(line.mid(1, line.size() - 2)).toString();
            current = findSection(doc, name);
            if (!current) {
                doc.append(Section{name, {}});
                current = &doc.back();
            }
            continue;
        }
        const qsizetype eq = findSeparator(line.toString());
        if (eq < 0) {
            current->values.append({QString(), QString(), line.toString()});
            continue;
        }
        const QString name = unescape(trimmed(line.left(eq)));
        const QString value = unescape(trimmed(line.mid(eq + 1)));
        bool replaced = false;
        for (auto& v : current->values) {
            if (isNamed(v, name)) {
                v.value = value;
                replaced = true;
            }
        }
        if (!replaced)
            current->values.append({name, value, QString()});
    }
    return doc;
}

IniRegistry::Document IniRegistry::load(const QString& file) const
{
    Document doc = loadStored(file);
    if (m_open && file == m_file)
        for (const Change& c : m_changes)
            apply(doc, c);
    return doc;
}

IniRegistry::Document IniRegistry::loadStored(const QString& file) const
{
    if (file.isEmpty())
        return parse({});
    if (const auto kept = m_fallback->documents.constFind(file); kept != m_fallback->documents.constEnd())
        return *kept;
    const std::optional<Stamp> stamp = stampOf(file);
    if (!stamp)
        return parse({});
    {
        const std::lock_guard lock(m_cache->mutex);
        if (const auto read = m_cache->documents.constFind(file);
            read != m_cache->documents.constEnd() && read->first == *stamp)
            return read->second;
    }
    QFile f(file);
    QByteArray bytes;
    if (!f.open(QIODevice::ReadOnly) || (bytes = f.readAll(), f.error() != QFileDevice::NoError)) {
        // Never replaced: a later write would lose everything in it.
        const Document empty = parse({});
        keepInMemory(file, empty,
                     QStringLiteral("The settings file %1 cannot be read (%2). Sonavex starts with its "
                                    "defaults and leaves that file as it is; settings changed in this run "
                                    "are not kept")
                         .arg(QDir::toNativeSeparators(file), f.errorString()));
        return empty;
    }
    Document doc = parse(bytes);
    if (settled(*stamp)) {
        const std::lock_guard lock(m_cache->mutex);
        m_cache->documents.insert(file, {*stamp, doc});
    }
    return doc;
}

bool IniRegistry::settled(const Stamp& stamp)
{
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    constexpr qint64 Ns = 1'000'000'000;
    return static_cast<qint64>(now.tv_sec) * Ns + now.tv_nsec - std::max(stamp.modifiedNs, stamp.changedNs) >
           SettledAfterNs;
}

std::optional<IniRegistry::Stamp> IniRegistry::stampOf(const QString& path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return std::nullopt;
    constexpr qint64 Ns = 1'000'000'000;
    return Stamp{static_cast<quint64>(st.st_dev), static_cast<quint64>(st.st_ino),
                 static_cast<qint64>(st.st_size),
                 static_cast<qint64>(st.st_mtim.tv_sec) * Ns + st.st_mtim.tv_nsec,
                 static_cast<qint64>(st.st_ctim.tv_sec) * Ns + st.st_ctim.tv_nsec};
}

void IniRegistry::save(const QString& file, const Document& doc) const
{
    if (auto kept = m_fallback->documents.find(file); kept != m_fallback->documents.end()) {
        *kept = doc;
        return;
    }
    QString text;
    for (const Section& s : doc) {
        if (!s.name.isEmpty())
            text += QLatin1Char('[') + s.name + QLatin1String("]\n");
        for (const auto& v : s.values)
            text += (v.note.isEmpty() ? escape(v.name, true) + QLatin1Char('=') + escape(v.value, false)
                                      : v.note) +
                    QLatin1Char('\n');
        if (!s.name.isEmpty() || !s.values.isEmpty())
            text += QLatin1Char('\n');
    }
    const QString folder = QFileInfo(file).absolutePath();
    if (!QDir().mkpath(folder)) {
        keepInMemory(file, doc,
                     QStringLiteral("The settings folder %1 cannot be made. Sonavex goes on with the "
                                    "settings it has; settings changed in this run are not kept")
                         .arg(QDir::toNativeSeparators(folder)));
        return;
    }
    // A write killed part-way left its temporary file behind; this one clears it away.
    AtomicFileWriter::removeStaleTemporaries(file, std::chrono::seconds(30));
    AtomicFileWriter writer;
    if (!writer.replace(file, text.toUtf8()))
        keepInMemory(file, doc,
                     QStringLiteral("The settings file cannot be written (%1). Sonavex goes on with the "
                                    "settings it has; settings changed in this run are not kept")
                         .arg(writer.errorString()));
}

void IniRegistry::keepInMemory(const QString& file, const Document& doc, const QString& why) const
{
    m_fallback->documents.insert(file, doc);
    if (m_fallback->told)
        return;
    m_fallback->told = true;
    ErrorReporter::reportMessage(why);
}

IniRegistry::Section* IniRegistry::findSection(Document& doc, const QString& name)
{
    for (Section& s : doc)
        if (sameName(s.name, name))
            return &s;
    return nullptr;
}

const IniRegistry::Section* IniRegistry::findSection(const Document& doc, const QString& name)
{
    for (const Section& s : doc)
        if (sameName(s.name, name))
            return &s;
    return nullptr;
}

const IniRegistry::Section* IniRegistry::openSection(const Document& doc) const
{
    return m_open ? findSection(doc, m_section) : nullptr;
}

QString IniRegistry::ReadString(const QString& name) const
{
    const Document doc = load(m_file);
    if (const Section* s = openSection(doc))
        for (const auto& v : s->values)
            if (isNamed(v, name))
                return v.value;
    return {};
}

bool IniRegistry::ValueExists(const QString& name) const
{
    const Document doc = load(m_file);
    if (const Section* s = openSection(doc))
        for (const auto& v : s->values)
            if (isNamed(v, name))
                return true;
    return false;
}

QStringList IniRegistry::GetValueNames() const
{
    QStringList names;
    const Document doc = load(m_file);
    if (const Section* s = openSection(doc))
        for (const auto& v : s->values)
            if (v.note.isEmpty())
                names << v.name;
    return names;
}

void IniRegistry::WriteString(const QString& name, const QString& value)
{
    if (!m_open)
        throw GeneralError(QStringLiteral("Failed to set data for '%1'").arg(name));
    m_changes.append({Change::Kind::Set, m_section, name, value});
}

bool IniRegistry::DeleteValue(const QString& name)
{
    if (!m_open)
        throw GeneralError(QStringLiteral("Failed to delete '%1'").arg(name));
    if (!ValueExists(name))
        return false;
    m_changes.append({Change::Kind::Delete, m_section, name, {}});
    return true;
}
