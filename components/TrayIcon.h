// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// TTrayIcon: one icon with a tooltip in the desktop's notification area,
// turning mouse actions on it into OnClick, OnDblClick and OnRightClick.
//
// The component owns a hidden window that receives the notification area's
// callback message, so the events arrive on the thread that created it.
// Whether the desktop has a notification area at all is the caller's
// concern: kivo::notify::TrayAvailable() says so before a window is hidden
// behind the icon.
#pragma once

#include "components/Events.h"
#include "platform/desktop/notify.h"

#include <QIcon>
#include <QObject>
#include <QString>

#include <string>

class TTrayIcon : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool Active READ Active WRITE setActive)
    Q_PROPERTY(bool ShowDesigning READ ShowDesigning WRITE setShowDesigning)
    Q_PROPERTY(QIcon Icon READ Icon WRITE setIcon)
    Q_PROPERTY(QString ToolTip READ ToolTipQ WRITE setToolTipQ)
  public:
    // The tip field would hold 63 bytes; the component has always stored
    // at most 62.
    static constexpr std::size_t MaxToolTip = 62;
    static constexpr UINT CallbackMessage = WM_USER + 1;

    explicit TTrayIcon(QObject* AOwner = nullptr);
    ~TTrayIcon() override;

    // Switches the icon on (NIM_ADD) or off (NIM_DELETE); setting the
    // current value does nothing. Outside the designing state only.
    bool Active() const { return m_active; }
    void setActive(bool value);

    // The same for a component hosted by a form designer; at run time the
    // assignment is ignored and the value stays false.
    bool ShowDesigning() const { return m_showDesigning; }
    void setShowDesigning(bool value);

    // The owned image. Assigning copies the image into it (and updates a
    // shown icon); assigning the owned object itself does nothing.
    const QIcon& Icon() const { return m_icon; }
    void setIcon(const QIcon& value);

    // At most MaxToolTip bytes are kept; a longer text is cut there (never
    // inside a multi-byte character). A shown icon is updated at once, a
    // hidden one takes the text with its next add.
    const std::string& ToolTip() const { return m_toolTip; }
    void setToolTip(const std::string& value);
    QString ToolTipQ() const { return QString::fromLocal8Bit(m_toolTip.c_str()); }
    void setToolTipQ(const QString& value) { setToolTip(value.toLocal8Bit().toStdString()); }

    HWND WindowHandle() const { return m_windowHandle; }
    // The record as last handed to the shell.
    const NOTIFYICONDATAA& IconData() const { return m_iconData; }

    // The hidden window's message handler: the callback message becomes
    // the events; everything else gets the default handling (so a log-off
    // is never vetoed).
    LRESULT WndProc(UINT Msg, WPARAM WParam, LPARAM LParam);

    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TMouseEvent OnRightClick;

  protected:
    void FillIconData();
    // The shell's answers are returned but nobody needs them: a failed call
    // leaves the component as if it had succeeded.
    bool ShowIcon();
    bool UpdateIcon();
    bool HideIcon();

    // The state of a component hosted by a form designer. Never set at run
    // time; a designer (or a test) sets it right after construction.
    bool Designing() const { return m_designing; }
    void setDesigning(bool value) { m_designing = value; }

  private:
    HICON iconHandle();

    NOTIFYICONDATAA m_iconData{};
    QIcon m_icon;
    HICON m_iconHandle = nullptr; // made on first use, dropped when the image changes
    std::string m_toolTip;
    HWND m_windowHandle = nullptr;
    bool m_active = false;
    bool m_showDesigning = false;
    bool m_designing = false;
};
