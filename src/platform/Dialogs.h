// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <optional>

class QWidget;

/// The standard questions and file pickers. Windows take it by injection so that
/// tests can script the operator's answers.
class Dialogs {
public:
    enum class Style { Error, Information, Confirmation };
    /// YesNo has Yes as its default button; YesNoDefaultNo No, for a question whose Yes ends something.
    enum class Buttons { Ok, YesNo, YesNoDefaultNo };
    enum class Answer { Ok, Yes, No };

    virtual ~Dialogs() = default;

    /// A modal message box titled with the application's title.
    virtual Answer messageBox(QWidget* parent, const QString& text, Style style, Buttons buttons) = 0;

    /// The classic one-line input box: OK returns the edited text, Cancel returns `initial`.
    virtual QString inputBox(QWidget* parent, const QString& caption, const QString& prompt,
                             const QString& initial) = 0;

    /// File pickers; no value when the operator cancels.
    virtual std::optional<QString> openFileName(QWidget* parent, const QString& initialDir,
                                                const QString& filter) = 0;
    virtual std::optional<QString> saveFileName(QWidget* parent, const QString& initialDir,
                                                const QString& filter) = 0;
};
