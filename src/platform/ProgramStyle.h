// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QProxyStyle>

/// The desktop's own style, with one difference: the few pictures of its own it is asked for while
/// the main window is made (the menu bar's arrow for menus that do not fit) are read when they are
/// first drawn, and then as the PNG pictures they are. Read through an icon, each would first load
/// every picture format plugin there is, and the SVG library with them; read at once, the first
/// picture read still looks through the plugins' folder before the window can show.
class ProgramStyle : public QProxyStyle {
    Q_OBJECT
public:
    ProgramStyle();

    QIcon standardIcon(StandardPixmap standardIcon, const QStyleOption* option = nullptr,
                       const QWidget* widget = nullptr) const override;
};
