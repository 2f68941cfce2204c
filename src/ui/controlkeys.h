#pragma once

#include <QColor>
#include <QKeyEvent>

// The colour a focused control of the window is framed in.
inline const QColor FocusColor(0x1a, 0x5f, 0xb4);

// Whether a key press presses a control: Space or Enter, not held down.
inline bool isPress(const QKeyEvent* e)
{
    return !e->isAutoRepeat() && (e->key() == Qt::Key_Space || e->key() == Qt::Key_Return ||
                                  e->key() == Qt::Key_Enter);
}
