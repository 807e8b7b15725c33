// SPDX-License-Identifier: GPL-3.0-or-later
#include "StandIn.h"

#include "platform/Ansi.h"

#include <QHash>
#include <QStringView>

namespace {

struct Spelling {
    char32_t letter;
    const char* latin;
};

// Latin spellings of the letters an operator's file names are most often written in. Capital
// letters spell with a capital first letter; the small ones wholly in small letters.
constexpr Spelling Spellings[] = {
    // Cyrillic: Russian, Ukrainian, Belarusian, Serbian, Macedonian.
    {U'А', "A"},
    {U'Б', "B"},
    {U'В', "V"},
    {U'Г', "G"},
    {U'Д', "D"},
    {U'Е', "E"},
    {U'Ё', "Yo"},
    {U'Ж', "Zh"},
    {U'З', "Z"},
    {U'И', "I"},
    {U'Й', "Y"},
    {U'К', "K"},
    {U'Л', "L"},
    {U'М', "M"},
    {U'Н', "N"},
    {U'О', "O"},
    {U'П', "P"},
    {U'Р', "R"},
    {U'С', "S"},
    {U'Т', "T"},
    {U'У', "U"},
    {U'Ф', "F"},
    {U'Х', "Kh"},
    {U'Ц', "Ts"},
    {U'Ч', "Ch"},
    {U'Ш', "Sh"},
    {U'Щ', "Shch"},
    {U'Ъ', ""},
    {U'Ы', "Y"},
    {U'Ь', ""},
    {U'Э', "E"},
    {U'Ю', "Yu"},
    {U'Я', "Ya"},
    {U'Є', "Ye"},
    {U'І', "I"},
    {U'Ї', "Yi"},
    {U'Ґ', "G"},
    {U'Ў', "U"},
    {U'Ђ', "Dj"},
    {U'Ј', "J"},
    {U'Љ', "Lj"},
    {U'Њ', "Nj"},
    {U'Ћ', "C"},
    {U'Џ', "Dz"},
    {U'Ѓ', "Gj"},
    {U'Ќ', "Kj"},
    {U'Ѕ', "Dz"},
    // Greek.
    {U'Α', "A"},
    {U'Β', "V"},
    {U'Γ', "G"},
    {U'Δ', "D"},
    {U'Ε', "E"},
    {U'Ζ', "Z"},
    {U'Η', "I"},
    {U'Θ', "Th"},
    {U'Ι', "I"},
    {U'Κ', "K"},
    {U'Λ', "L"},
    {U'Μ', "M"},
    {U'Ν', "N"},
    {U'Ξ', "X"},
    {U'Ο', "O"},
    {U'Π', "P"},
    {U'Ρ', "R"},
    {U'Σ', "S"},
    {U'Τ', "T"},
    {U'Υ', "Y"},
    {U'Φ', "F"},
    {U'Χ', "Ch"},
    {U'Ψ', "Ps"},
    {U'Ω', "O"},
    {U'ς', "s"},
    // Latin letters that do not come apart into a letter and its accent.
    {U'Ł', "L"},
    {U'Đ', "D"},
    {U'Ħ', "H"},
    {U'ı', "i"},
    {U'Ŀ', "L"},
    {U'Ŧ', "T"},
    {U'Ŋ', "Ng"},
    {U'ĸ', "q"},
    {U'Ə', "E"},
    {U'ə', "e"},
    // Arabic: the letters; the vowel signs are dropped as accents are.
    {U'ء', "'"},
    {U'آ', "a"},
    {U'أ', "a"},
    {U'ؤ', "'"},
    {U'إ', "i"},
    {U'ئ', "'"},
    {U'ا', "a"},
    {U'ب', "b"},
    {U'ة', "h"},
    {U'ت', "t"},
    {U'ث', "th"},
    {U'ج', "j"},
    {U'ح', "h"},
    {U'خ', "kh"},
    {U'د', "d"},
    {U'ذ', "dh"},
    {U'ر', "r"},
    {U'ز', "z"},
    {U'س', "s"},
    {U'ش', "sh"},
    {U'ص', "s"},
    {U'ض', "d"},
    {U'ط', "t"},
    {U'ظ', "z"},
    {U'ع', "'"},
    {U'غ', "gh"},
    {U'ف', "f"},
    {U'ق', "q"},
    {U'ك', "k"},
    {U'ل', "l"},
    {U'م', "m"},
    {U'ن', "n"},
    {U'ه', "h"},
    {U'و', "w"},
    {U'ى', "a"},
    {U'ي', "y"},
    {U'پ', "p"},
    {U'چ', "ch"},
    {U'ژ', "zh"},
    {U'گ', "g"},
    {U'ک', "k"},
    {U'ی', "y"},
    {U'،', ","},
    {U'؛', ";"},
    {U'؟', "?"},
};

const QHash<char32_t, QString>& spellings()
{
    static const QHash<char32_t, QString> table = [] {
        QHash<char32_t, QString> t;
        for (const Spelling& s : Spellings) {
            const QString latin = QString::fromUtf8(s.latin);
            t.insert(s.letter, latin);
            const char32_t small = QChar::toLower(s.letter);
            if (small != s.letter)
                t.insert(small, latin.toLower());
        }
        return t;
    }();
    return table;
}

bool dropped(char32_t c)
{
    switch (QChar::category(c)) {
    case QChar::Mark_NonSpacing:
    case QChar::Mark_SpacingCombining:
    case QChar::Mark_Enclosing:
    case QChar::Other_Format: // joiners and direction marks
        return true;
    default:
        return false;
    }
}

/// The record's spelling of one character (one code point).
QString spell(char32_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return QString(QChar(static_cast<char16_t>(c)));
    // No letter of the table is one a record holds.
    if (const auto it = spellings().constFind(c); it != spellings().cend())
        return *it;
    const QString whole = QString::fromUcs4(&c, 1);
    if (Ansi::holds(whole))
        return whole;
    if (dropped(c))
        return {};
    if (QChar::isDigit(c))
        return QString::number(QChar::digitValue(c));
    // Apart: a letter and its accents, a ligature's letters, a wide form's narrow one.
    const QString apart = QChar::decompositionTag(c) == QChar::NoDecomposition
                              ? whole
                              : whole.normalized(QString::NormalizationForm_KD);
    if (apart != whole) {
        QString out;
        for (const char32_t part : apart.toUcs4())
            out += spell(part);
        return out;
    }
    return QStringLiteral("{%1}").arg(static_cast<uint>(c), 4, 16, QLatin1Char('0')).toUpper();
}

} // namespace

QString standIn(const QString& text, int capacity)
{
    if (text.size() <= capacity && Ansi::holds(text))
        return text;
    QString out;
    for (const char32_t c : text.toUcs4()) {
        const QString piece = spell(c);
        if (out.size() + piece.size() > capacity)
            break;
        out += piece;
    }
    return out;
}

QString cutText(const QString& text, qsizetype length)
{
    if (text.size() <= length)
        return text;
    if (length > 0 && text.at(length - 1).isHighSurrogate())
        --length;
    return text.left(length);
}
