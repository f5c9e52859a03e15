#pragma once

class QWidget;

namespace pm {

// What the window asks of an X server beyond what Qt does; each does
// nothing on another display system.

// Asks the server to send the auto-repeat of a held key as key presses
// alone, with no release between them, so that the only release a widget
// sees is the real one, however long its press handler ran.
void UseDetectableAutoRepeat();

// Keeps window's title empty on the desktop while its windowTitle() is
// empty: Qt shows the application's name in place of an empty title.
void KeepEmptyTitle(QWidget* window);

}  // namespace pm
