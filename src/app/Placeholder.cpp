// SPDX-License-Identifier: GPL-3.0-or-later
// The application library; its windows arrive with the main window.
