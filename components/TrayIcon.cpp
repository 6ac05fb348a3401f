// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "components/TrayIcon.h"

#include "platform/system/system.h"

#include <algorithm>
#include <cstring>

TTrayIcon::TTrayIcon(QObject* AOwner) : QObject(AOwner)
{
    m_windowHandle = kivo::sys::AllocateHWnd(
        [this](HWND, UINT msg, WPARAM wParam, LPARAM lParam) { return WndProc(msg, wParam, lParam); });
}

TTrayIcon::~TTrayIcon()
{
    if (m_designing ? m_showDesigning : m_active)
        HideIcon();
    if (m_iconHandle)
        DestroyIcon(m_iconHandle);
    kivo::sys::DeallocateHWnd(m_windowHandle);
}

void TTrayIcon::setActive(bool value)
{
    if (value == m_active)
        return;
    m_active = value;
    if (m_designing)
        return;
    if (value)
        ShowIcon();
    else
        HideIcon();
}

void TTrayIcon::setShowDesigning(bool value)
{
    if (!m_designing || value == m_showDesigning)
        return;
    m_showDesigning = value;
    if (value)
        ShowIcon();
    else
        HideIcon();
}

void TTrayIcon::setIcon(const QIcon& value)
{
    if (&value == &m_icon)
        return;
    m_icon = value;
    if (m_iconHandle) {
        DestroyIcon(m_iconHandle);
        m_iconHandle = nullptr;
    }
    UpdateIcon();
}

void TTrayIcon::setToolTip(const std::string& value)
{
    std::size_t n = std::min(value.size(), MaxToolTip);
    // Back off to the start of a UTF-8 sequence the cut would split, so the
    // tip never ends in half a character.
    if (n < value.size())
        while (n > 0 && (static_cast<unsigned char>(value[n]) & 0xC0) == 0x80)
            --n;
    m_toolTip = value.substr(0, n);
    UpdateIcon();
}

HICON TTrayIcon::iconHandle()
{
    if (!m_iconHandle && !m_icon.isNull())
        m_iconHandle = kivo::notify::CreateIconHandle(m_icon);
    return m_iconHandle;
}

void TTrayIcon::FillIconData()
{
    std::memset(&m_iconData, 0, sizeof m_iconData);
    m_iconData.cbSize = sizeof m_iconData;
    m_iconData.hWnd = kivo::notify::HandleToValue(m_windowHandle);
    m_iconData.uID = 0;
    m_iconData.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    m_iconData.uCallbackMessage = CallbackMessage;
    m_iconData.hIcon = kivo::notify::HandleToValue(iconHandle());
    std::memcpy(m_iconData.szTip, m_toolTip.data(), std::min(m_toolTip.size(), sizeof m_iconData.szTip - 1));
}

bool TTrayIcon::ShowIcon()
{
    FillIconData();
    return Shell_NotifyIconA(NIM_ADD, &m_iconData) != FALSE;
}

bool TTrayIcon::UpdateIcon()
{
    FillIconData();
    if (!m_active)
        return true;
    return Shell_NotifyIconA(NIM_MODIFY, &m_iconData) != FALSE;
}

bool TTrayIcon::HideIcon()
{
    return Shell_NotifyIconA(NIM_DELETE, &m_iconData) != FALSE;
}

LRESULT TTrayIcon::WndProc(UINT Msg, WPARAM WParam, LPARAM LParam)
{
    if (Msg != CallbackMessage)
        return DefWindowProcA(m_windowHandle, Msg, WParam, LParam);
    switch (LParam) {
    case WM_LBUTTONUP:
        if (OnClick)
            OnClick(this);
        break;
    case WM_LBUTTONDBLCLK:
        if (OnDblClick)
            OnDblClick(this);
        break;
    case WM_RBUTTONUP:
        if (OnRightClick) {
            POINT cursor{0, 0};
            GetCursorPos(&cursor);
            OnRightClick(this, mbRight, TShiftState(), cursor.x, cursor.y);
        }
        break;
    default:
        break;
    }
    return 0;
}
