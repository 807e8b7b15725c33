// SPDX-License-Identifier: GPL-3.0-or-later
// What any Qt program pays to show a window: an empty main window of the board's size, shown at
// once. bench_startup starts it beside the board to set the board's start-up against it.
#include <QApplication>
#include <QMainWindow>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Bare window"));
    window.resize(718, 464);
    window.show();
    return QApplication::exec();
}
