// Event handler types shared by the components. A handler is "assigned"
// when the std::function is not empty; the sender is always the component.
#pragma once

#include <QFlags>
#include <QObject>

#include <functional>

enum TMouseButton { mbLeft, mbRight, mbMiddle };

// The keys and buttons held during a mouse or key event; ssDouble marks the
// press that follows a double-click notification.
enum TShiftStateFlag : unsigned {
    ssShift = 0x01,
    ssAlt = 0x02,
    ssCtrl = 0x04,
    ssLeft = 0x08,
    ssRight = 0x10,
    ssMiddle = 0x20,
    ssDouble = 0x40,
};
Q_DECLARE_FLAGS(TShiftState, TShiftStateFlag)
Q_DECLARE_OPERATORS_FOR_FLAGS(TShiftState)

using TNotifyEvent = std::function<void(QObject* Sender)>;
using TMouseEvent =
    std::function<void(QObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
