// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

class QTextBrowser;
class Registry;

/// The help window: shows the HTML page that the settings name as HelpPath.
/// Errors of its creation are reported and the window still opens.
class TfrmHelp : public QDialog {
    Q_OBJECT
public:
    TfrmHelp(QWidget* owner, Registry& registry);

    QTextBrowser* WebBrowser1 = nullptr;

private:
    void FormCreate();
    /// Shows the page at `path`; raises an error when it cannot be read.
    void navigate(const QString& path);

    Registry& m_registry;
};
