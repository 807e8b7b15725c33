// SPDX-License-Identifier: GPL-3.0-or-later
#include "help.h"

#include "platform/Errors.h"
#include "platform/Fonts.h"
#include "platform/Guard.h"
#include "platform/Registry.h"
#include "platform/WindowFrame.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

TfrmHelp::TfrmHelp(QWidget* owner, Registry& registry)
    : QDialog(owner, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint)
    , m_registry(registry)
{
    setWindowTitle(QStringLiteral("Help"));
    setFont(Fonts::msSansSerif(11));
    move(228, 151);
    WindowFrame::setOuterSize(this, QSize(696, 480));

    WebBrowser1 = new QTextBrowser(this);
    WebBrowser1->setObjectName(QStringLiteral("WebBrowser1"));
    WebBrowser1->setFrameShape(QFrame::NoFrame);
    // Pages link to the publisher's site; those go to the desktop's browser.
    WebBrowser1->setOpenExternalLinks(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(WebBrowser1);

    // An error here is reported and the window opens all the same, with an empty browser.
    guard([this] { FormCreate(); });
}

void TfrmHelp::FormCreate()
{
    m_registry.OpenKey(QStringLiteral("\\Software\\Brasswold"), true);
    QString helpPath;
    if (m_registry.OpenKey(QStringLiteral("System"), false))
        helpPath = m_registry.ReadString(QStringLiteral("HelpPath"));
    m_registry.CloseKey();

    // The address is the stored text behind "file://", nothing converted or escaped.
    const QString url = QStringLiteral("file://") + helpPath;
    if (url == QLatin1String("file://"))
        throw GeneralError(QStringLiteral("Help path missing from the registry. re-install Sonavex"));
    navigate(helpPath);
}

void TfrmHelp::navigate(const QString& path)
{
    // The browser shows an empty page for a file it cannot read and says nothing;
    // the operator should learn that the help is missing instead.
    const QFileInfo info(path);
    QFile file(path);
    if (!info.isFile() || !file.open(QIODevice::ReadOnly))
        throw GeneralError(QStringLiteral("Unable to open %1").arg(path));
    file.close();
    // A local path taken as the address's path: a "#" or "%" in a folder name stays part of it.
    WebBrowser1->setSource(QUrl::fromLocalFile(QDir::isAbsolutePath(path) ? path : info.absoluteFilePath()));
}
