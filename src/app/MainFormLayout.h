// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class TMainForm;

/// Lays out the main window as the operator knows it (menus, tool bar, the tab strip with its
/// 36 sound buttons, the status bar) and wires each control to the window's handler for it.
class MainFormLayout {
public:
    static void build(TMainForm& form);

private:
    static void buildMenus(TMainForm& form);
    static void buildToolBar(TMainForm& form);
    static void buildTabControl(TMainForm& form);
    static void buildStatusBar(TMainForm& form);
};
