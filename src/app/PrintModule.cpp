// SPDX-License-Identifier: GPL-3.0-or-later
// The entry point of the printing library, which the program loads at the first print: Qt's
// printing support is then never loaded at start-up.
#include <QDialog>
#include <QFontDatabase>
#include <QPrintDialog>
#include <QPrinter>
#include <QTextDocument>

/// Asks for a printer over `parent` and prints `text` in the system's fixed-width font; false
/// when the operator cancelled.
extern "C" Q_DECL_EXPORT bool sonavexPrintText(QWidget* parent, const QString& text)
{
    QPrinter printer;
    QPrintDialog dialog(&printer, parent);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    QTextDocument document;
    document.setDefaultFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    document.setPlainText(text);
    document.print(&printer);
    return true;
}
