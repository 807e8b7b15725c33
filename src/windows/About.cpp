// SPDX-License-Identifier: GPL-3.0-or-later
#include "About.h"

#include "Logo.h"
#include "platform/Fonts.h"
#include "platform/Guard.h"
#include "platform/Realtime.h"
#include "platform/WindowFrame.h"

#include <QLabel>
#include <QPushButton>

namespace {
constexpr QSize ClientSize(556, 250);
const QColor Teal(0, 128, 128);
} // namespace

TfrmAbout::TfrmAbout(QWidget* owner, const QStringList& notes)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
{
    setWindowTitle(QStringLiteral("About"));
    setFont(Fonts::msSansSerif(11));
    setFixedSize(ClientSize);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Teal);
    setPalette(pal);
    setAutoFillBackground(true);

    auto* Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(193, 6, 169, 133);
    Image1->setAlignment(Qt::AlignCenter);
    Image1->setPixmap(Logo::pixmap());

    auto* Label1 = new QLabel(QStringLiteral("Visit Brasswold Audio at brasswold.example"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(62, 151, 432, 23);
    Label1->setAlignment(Qt::AlignCenter);
    Label1->setFont(Fonts::tahoma(19));
    QPalette white = Label1->palette();
    white.setColor(QPalette::WindowText, Qt::white);
    Label1->setPalette(white);

    // Said here once, never in a message: the board works at normal priority, only less surely
    // at once on a busy machine.
    if (const QString priority = Realtime::statusLine(); !priority.isEmpty()) {
        auto* lblPriority = new QLabel(priority, this);
        lblPriority->setObjectName(QStringLiteral("lblPriority"));
        lblPriority->setGeometry(8, 175, ClientSize.width() - 16, 17);
        lblPriority->setAlignment(Qt::AlignCenter);
        lblPriority->setPalette(white);
    }

    int buttonTop = 195;
    if (!notes.isEmpty()) {
        auto* lblNotes = new QLabel(notes.join(QLatin1Char('\n')), this);
        lblNotes->setObjectName(QStringLiteral("lblNotes"));
        lblNotes->setWordWrap(true);
        lblNotes->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        lblNotes->setPalette(white);
        const int width = ClientSize.width() - 16;
        const int height = lblNotes->heightForWidth(width);
        lblNotes->setGeometry(8, buttonTop, width, height);
        buttonTop += height + 6;
        setFixedSize(ClientSize.width(), ClientSize.height() + height + 6);
    }

    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(198, buttonTop, 75, 25);
    Button1->setDefault(true);
    Button1->setFocus();
    connectGuarded(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });

    // Centred on the screen rather than over the owner.
    WindowFrame::centre(this);
}

void TfrmAbout::Button1Click()
{
    done(QDialog::Accepted);
}
