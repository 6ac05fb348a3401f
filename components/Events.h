// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Event handler types shared by the components. A handler is "assigned"
// when the std::function is not empty; the sender is always the component.
#pragma once

#include "platform/system/win32types.h"

#include <QFlags>
#include <QObject>
#include <QString>
#include <Qt>

#include <cstdint>
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

// The dialer's disconnect event: the RAS result code and its display text
// (empty when there is nothing to tell the user).
using TRasStateEvent = std::function<void(QObject* Sender, std::int32_t Error, QString ErrorString)>;

// A window message as a component's message handler gets it; the handler
// stores its answer in Result.
struct TMessage {
    UINT Msg = 0;
    WPARAM WParam = 0;
    LPARAM LParam = 0;
    LRESULT Result = 0;
};

// The keyboard part of a shift state.
inline TShiftState KeyShiftState(Qt::KeyboardModifiers m)
{
    TShiftState s;
    if (m & Qt::ShiftModifier)
        s |= ssShift;
    if (m & Qt::AltModifier)
        s |= ssAlt;
    if (m & Qt::ControlModifier)
        s |= ssCtrl;
    return s;
}
