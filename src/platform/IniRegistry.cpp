// SPDX-License-Identifier: GPL-3.0-or-later
#include "IniRegistry.h"

#include "Errors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

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
        case '\\': out += QLatin1String("\\\\"); break;
        case '\n': out += QLatin1String("\\n"); break;
        case '\r': out += QLatin1String("\\r"); break;
        case '\t': out += QLatin1String("\\t"); break;
        case '=':
            out += isName ? QLatin1String("\\=") : QLatin1String("=");
            break;
        default: out += c;
        }
    }
    if (isName && out.startsWith(QLatin1Char('[')))
        out.prepend(QLatin1Char('\\'));
    if (isName && out.startsWith(QLatin1Char(';')))
        out.prepend(QLatin1Char('\\'));
    return out;
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
            case 'n': out += QLatin1Char('\n'); break;
            case 'r': out += QLatin1Char('\r'); break;
            case 't': out += QLatin1Char('\t'); break;
            default: out += n;
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
    const QString name = parts.size() >= 2 ? parts[1] : (parts.isEmpty() ? QStringLiteral("Default") : parts[0]);
    const QString fileName = name + QLatin1String(".ini");
    // Key names ignore case: an existing file of any spelling is the key's file.
    const QStringList existing = QDir(m_configDir).entryList({QStringLiteral("*.ini")}, QDir::Files);
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

    const bool fileExists = QFileInfo::exists(file);
    IniRegistry probe(*this);
    probe.m_file = file;
    probe.m_open = true;
    Document doc = fileExists ? probe.load() : Document{};
    const bool sectionExists = section.isEmpty() ? fileExists : findSection(doc, section) != nullptr;
    if (!sectionExists) {
        if (!canCreate)
            return false;
        if (!section.isEmpty())
            doc.append(Section{section, {}});
        probe.save(doc);
    }
    m_file = file;
    m_section = section;
    m_open = true;
    return true;
}

void IniRegistry::CloseKey()
{
    m_open = false;
    m_file.clear();
    m_section.clear();
}

IniRegistry::Document IniRegistry::load() const
{
    Document doc;
    doc.append(Section{QString(), {}});
    if (m_file.isEmpty())
        return doc;
    QFile f(m_file);
    if (!f.open(QIODevice::ReadOnly))
        return doc;
    const QString text = QString::fromUtf8(f.readAll());
    Section* current = &doc.front();
    for (QString line : text.split(QLatin1Char('\n'))) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')))
            continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            const QString name = line.mid(1, line.size() - 2);
            current = findSection(doc, name);
            if (!current) {
                doc.append(Section{name, {}});
                current = &doc.back();
            }
            continue;
        }
        const qsizetype eq = findSeparator(line);
        if (eq < 0)
            continue;
        const QString name = unescape(QStringView(line).left(eq));
        const QString value = unescape(QStringView(line).mid(eq + 1));
        bool replaced = false;
        for (auto& v : current->values) {
            if (sameName(v.first, name)) {
                v.second = value;
                replaced = true;
            }
        }
        if (!replaced)
            current->values.append({name, value});
    }
    return doc;
}

void IniRegistry::save(const Document& doc) const
{
    QString text;
    for (const Section& s : doc) {
        if (!s.name.isEmpty())
            text += QLatin1Char('[') + s.name + QLatin1String("]\n");
        for (const auto& v : s.values)
            text += escape(v.first, true) + QLatin1Char('=') + escape(v.second, false) + QLatin1Char('\n');
        if (!s.name.isEmpty() || !s.values.isEmpty())
            text += QLatin1Char('\n');
    }
    QDir().mkpath(QFileInfo(m_file).absolutePath());
    QSaveFile f(m_file);
    const QByteArray bytes = text.toUtf8();
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.commit())
        throw GeneralError(QStringLiteral("Unable to write the settings file ") + m_file);
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
    const Document doc = load();
    if (const Section* s = openSection(doc))
        for (const auto& v : s->values)
            if (sameName(v.first, name))
                return v.second;
    return {};
}

bool IniRegistry::ValueExists(const QString& name) const
{
    const Document doc = load();
    if (const Section* s = openSection(doc))
        for (const auto& v : s->values)
            if (sameName(v.first, name))
                return true;
    return false;
}

QStringList IniRegistry::GetValueNames() const
{
    QStringList names;
    const Document doc = load();
    if (const Section* s = openSection(doc))
        for (const auto& v : s->values)
            names << v.first;
    return names;
}

void IniRegistry::WriteString(const QString& name, const QString& value)
{
    if (!m_open)
        throw GeneralError(QStringLiteral("Failed to set data for '%1'").arg(name));
    Document doc = load();
    Section* s = findSection(doc, m_section);
    if (!s) {
        doc.append(Section{m_section, {}});
        s = &doc.back();
    }
    bool found = false;
    for (auto& v : s->values) {
        if (sameName(v.first, name)) {
            v.second = value;
            found = true;
        }
    }
    if (!found)
        s->values.append({name, value});
    save(doc);
}
