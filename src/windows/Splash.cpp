// SPDX-License-Identifier: GPL-3.0-or-later
#include "Splash.h"

#include "Logo.h"
#include "controls/MPanel.h"
#include "platform/Fonts.h"
#include "platform/Guard.h"
#include "platform/WindowFrame.h"

#include <QCoreApplication>
#include <QDialog>
#include <QEvent>
#include <QLabel>

namespace {
constexpr QSize ClientSize(552, 368);

QLabel* makeLabel(QWidget* parent, const char* name, const QRect& geometry, const QColor& colour)
{
    auto* label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(geometry);
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, colour);
    label->setPalette(pal);
    return label;
}
} // namespace

TfrmSplash::TfrmSplash(QWidget* owner)
    : QWidget(owner, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setFixedSize(ClientSize);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    setPalette(pal);
    setAutoFillBackground(true);

    auto* Panel1 = new TMPanel(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(rect());
    Panel1->setColor(QColor(128, 0, 0));
    Panel1->setBevelWidth(2); // the raised outer bevel is the panel's default

    auto* Panel2 = new TMPanel(Panel1);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setGeometry(13, 16, 526, 335);
    Panel2->setColor(QColor(128, 128, 0));
    Panel2->setBevelOuter(TPanelBevel::bvNone);
    Panel2->setBevelInner(TPanelBevel::bvLowered);

    imgLogo = new QLabel(Panel2);
    imgLogo->setObjectName(QStringLiteral("imgLogo"));
    imgLogo->setGeometry(168, 66, 172, 133);
    imgLogo->setAlignment(Qt::AlignCenter);
    imgLogo->setPixmap(Logo::pixmap());
    imgLogo->setToolTip(QStringLiteral("Click here to close the splash screen"));
    imgLogo->installEventFilter(this);

    auto* lblCompanyName = makeLabel(Panel2, "lblCompanyName", QRect(154, 10, 211, 43), Qt::white);
    lblCompanyName->setText(QStringLiteral("Brasswold"));
    lblCompanyName->setFont(Fonts::garamond(37, true, true));
    lblCompanyName->setAlignment(Qt::AlignCenter);

    lblContinue = makeLabel(Panel2, "lblContinue", QRect(186, 200, 136, 16), QColor(255, 255, 0));
    lblContinue->setText(QStringLiteral("Click on me to continue"));
    lblContinue->setFont(Fonts::msSansSerif(13));
    lblContinue->setWordWrap(true);
    lblContinue->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    lblContinue->installEventFilter(this);

    WindowFrame::centre(this);
}

void TfrmSplash::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // The splash stays above every window: a box that opened under it would leave the
    // program looking hung. It watches for one while it is up.
    QCoreApplication::instance()->installEventFilter(this);
    guard([this] { FormShow(); });
}

void TfrmSplash::hideEvent(QHideEvent* event)
{
    QCoreApplication::instance()->removeEventFilter(this);
    QWidget::hideEvent(event);
}

void TfrmSplash::FormShow()
{
    lblContinue->setText(QStringLiteral("Loading. . ."));
}

bool TfrmSplash::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonRelease && (watched == imgLogo || watched == lblContinue)) {
        guard([this] { hide(); });
        return true;
    }
    // Any dialog or message box that opens while the splash is up gets the front.
    if (event->type() == QEvent::Show && watched != this && qobject_cast<QDialog*>(watched)) {
        guard([this] { hide(); });
        return false;
    }
    return QWidget::eventFilter(watched, event);
}
