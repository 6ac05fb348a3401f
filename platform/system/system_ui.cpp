// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Message boxes, beeps, the file-open dialog and the mapping between
// top-level widgets and window handles.
#include "platform/system/system.h"

#include "platform/desktop/desktop.h"
#include "platform/system/trace.h"

#include <QApplication>
#include <QFileDialog>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QWidget>
#include <QWindow>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string_view>

namespace
{

// The button sets and answers Windows has beyond the three our headers name.
constexpr UINT kTypeMask = 0x0000000F;
constexpr UINT kIconMask = 0x000000F0;
constexpr UINT kDefMask = 0x00000F00;
constexpr UINT kAbortRetryIgnore = 2;
constexpr UINT kYesNoCancel = 3;
constexpr UINT kRetryCancel = 5;
constexpr UINT kDefButton3 = 0x200;
constexpr INT kIdAbort = 3;
constexpr INT kIdRetry = 4;
constexpr INT kIdIgnore = 5;

struct Hooks {
    std::mutex lock;
    kivo::sys::MessageBoxHook box;
    kivo::sys::BeepHook beep;
    kivo::sys::OpenFileHook openFile;
};

Hooks& hooks()
{
    static Hooks h;
    return h;
}

template <typename T> T current(T Hooks::*member)
{
    Hooks& h = hooks();
    std::lock_guard g(h.lock);
    return h.*member;
}

template <typename T> T exchange(T Hooks::*member, T hook)
{
    Hooks& h = hooks();
    std::lock_guard g(h.lock);
    std::swap(h.*member, hook);
    return hook;
}

std::string hex(std::uintptr_t v)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "0x%llx", static_cast<unsigned long long>(v));
    return buf;
}

// ---- widget <-> handle ----------------------------------------------------

// Widgets without a native window get a handle from a range of their own, far
// from X11 ids (32 bits) and from the hidden windows' range.
constexpr std::uintptr_t kWidgetBase = std::uintptr_t(0x7EEF) << 32;

struct WidgetTable {
    std::mutex lock;
    std::map<std::uintptr_t, QPointer<QWidget>> byHandle;
    std::uintptr_t next = 1;
};

WidgetTable& widgetTable()
{
    static WidgetTable t;
    return t;
}

// ---- the message box --------------------------------------------------------

struct Answer {
    QMessageBox::StandardButton button;
    INT id;
};

std::vector<Answer> buttonsFor(UINT type)
{
    switch (type & kTypeMask) {
    case MB_OKCANCEL:
        return {{QMessageBox::Ok, IDOK}, {QMessageBox::Cancel, IDCANCEL}};
    case kAbortRetryIgnore:
        return {
            {QMessageBox::Abort, kIdAbort}, {QMessageBox::Retry, kIdRetry}, {QMessageBox::Ignore, kIdIgnore}};
    case kYesNoCancel:
        return {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}, {QMessageBox::Cancel, IDCANCEL}};
    case MB_YESNO:
        return {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}};
    case kRetryCancel:
        return {{QMessageBox::Retry, kIdRetry}, {QMessageBox::Cancel, IDCANCEL}};
    default:
        return {{QMessageBox::Ok, IDOK}};
    }
}

QMessageBox::Icon iconFor(UINT type)
{
    switch (type & kIconMask) {
    case MB_ICONHAND:
        return QMessageBox::Critical;
    case MB_ICONQUESTION:
        return QMessageBox::Question;
    case MB_ICONEXCLAMATION:
        return QMessageBox::Warning;
    case MB_ICONASTERISK:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

// Windows lets Escape and the close box answer only where there is a Cancel
// button (IDCANCEL), or the single OK button (IDOK); a Yes/No box can only be
// answered by its buttons. QMessageBox would treat "No" as the escape button,
// so the box refuses Escape and closing itself when there is none.
class Win32MessageBox : public QMessageBox
{
  public:
    using QMessageBox::QMessageBox;
    bool escapeAllowed = true;

  protected:
    void keyPressEvent(QKeyEvent* e) override
    {
        if (e->key() == Qt::Key_Escape && !escapeAllowed) {
            e->accept();
            return;
        }
        QMessageBox::keyPressEvent(e);
    }
    void closeEvent(QCloseEvent* e) override
    {
        if (!escapeAllowed) {
            e->ignore();
            return;
        }
        QMessageBox::closeEvent(e);
    }
};

// Windows breaks a box's text once at CR LF, LF CR, or a lone CR or LF; Qt
// would break twice at a pair, with an empty line between.
QString boxLines(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != u'\r' && c != u'\n') {
            out += c;
            continue;
        }
        if (i + 1 < text.size() && (text[i + 1] == u'\r' || text[i + 1] == u'\n') && text[i + 1] != c)
            ++i;
        out += u'\n';
    }
    return out;
}

INT showRealBox(const kivo::sys::MessageBoxRequest& r)
{
    const std::vector<Answer> answers = buttonsFor(r.type);
    Win32MessageBox box(r.owner);
    box.setWindowTitle(QString::fromLocal8Bit(r.caption.c_str()));
    box.setText(boxLines(QString::fromLocal8Bit(r.text.c_str())));
    box.setTextFormat(Qt::PlainText);
    box.setIcon(iconFor(r.type));
    std::vector<QAbstractButton*> buttons;
    for (const Answer& a : answers)
        buttons.push_back(box.addButton(a.button));
    std::size_t def = 0;
    if ((r.type & kDefMask) == MB_DEFBUTTON2)
        def = 1;
    else if ((r.type & kDefMask) == kDefButton3)
        def = 2;
    if (def >= buttons.size())
        def = 0;
    box.setDefaultButton(static_cast<QPushButton*>(buttons[def]));

    INT escapeId = 0;
    for (const Answer& a : answers)
        if (a.id == IDCANCEL)
            escapeId = IDCANCEL;
    if (answers.size() == 1)
        escapeId = IDOK;
    box.escapeAllowed = escapeId != 0;
    for (std::size_t i = 0; i < answers.size(); ++i)
        if (answers[i].id == escapeId)
            box.setEscapeButton(buttons[i]);
    if (!r.owner)
        box.setWindowModality(Qt::ApplicationModal);

    box.exec();
    QAbstractButton* clicked = box.clickedButton();
    for (std::size_t i = 0; i < buttons.size(); ++i)
        if (buttons[i] == clicked)
            return answers[i].id;
    return escapeId ? escapeId : answers.front().id;
}

// A machine with nobody at the screen (KIVO95_MESSAGEBOX=default) answers
// every box with its default button; the trace still records the box.
bool answerWithDefault()
{
    const char* v = std::getenv("KIVO95_MESSAGEBOX");
    return v && std::string_view(v) == "default";
}

INT defaultAnswer(UINT type)
{
    const std::vector<Answer> answers = buttonsFor(type);
    std::size_t def = (type & kDefMask) == MB_DEFBUTTON2 ? 1 : (type & kDefMask) == kDefButton3 ? 2 : 0;
    return answers[def < answers.size() ? def : 0].id;
}

// ---- the file-open dialog -------------------------------------------------

// "Wave files (*.wav)|*.wav|All files|*.*" -> "Wave files (*.wav);;All files (*.*)".
// A description that already shows its patterns in parentheses is kept as is,
// since Qt reads the patterns from there.
QStringList qtFilters(const std::string& vcl)
{
    QStringList parts = QString::fromLocal8Bit(vcl.c_str()).split('|');
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString desc = parts[i].trimmed();
        QString patterns = parts[i + 1].split(';', Qt::SkipEmptyParts).join(' ');
        if (!desc.contains('(') || !desc.endsWith(')'))
            desc += " (" + patterns + ")";
        out << desc;
    }
    if (out.isEmpty() && !parts.isEmpty() && !parts.front().isEmpty())
        out << parts.front();
    return out;
}

} // namespace

// ---- public calls -----------------------------------------------------------

namespace kivo::sys
{

MessageBoxHook setMessageBoxHook(MessageBoxHook hook)
{
    return exchange(&Hooks::box, std::move(hook));
}

BeepHook setBeepHook(BeepHook hook)
{
    return exchange(&Hooks::beep, std::move(hook));
}

OpenFileHook setOpenFileHook(OpenFileHook hook)
{
    return exchange(&Hooks::openFile, std::move(hook));
}

HWND hwndOf(QWidget* widget)
{
    if (!widget)
        return nullptr;
    QWidget* top = widget->window();
    // A widget with a desktop window is known by that window's handle, the
    // one the desktop calls (EnumWindows, ShowWindow) use for it too.
    if (QWindow* window = top->windowHandle())
        if (HWND h = desktop::hwndOfWindow(window))
            return h;
    WidgetTable& t = widgetTable();
    std::lock_guard g(t.lock);
    for (auto it = t.byHandle.begin(); it != t.byHandle.end();) {
        if (it->second.isNull())
            it = t.byHandle.erase(it);
        else if (it->second == top)
            return reinterpret_cast<HWND>(it->first);
        else
            ++it;
    }
    // Not shown yet: a handle of its own, which stays valid for its life.
    const std::uintptr_t h = kWidgetBase + t.next++;
    t.byHandle.emplace(h, top);
    return reinterpret_cast<HWND>(h);
}

QWidget* widgetOf(HWND hwnd)
{
    if (!hwnd)
        return nullptr;
    const auto h = reinterpret_cast<std::uintptr_t>(hwnd);
    {
        WidgetTable& t = widgetTable();
        std::lock_guard g(t.lock);
        auto it = t.byHandle.find(h);
        if (it != t.byHandle.end())
            return it->second.data();
    }
    if (!qApp)
        return nullptr;
    QWindow* window = desktop::windowOfHwnd(hwnd);
    if (!window)
        return nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->windowHandle() == window)
            return w;
    return nullptr;
}

std::string GetOpenFileName(const OpenFileRequest& request)
{
    std::string result;
    if (OpenFileHook hook = current(&Hooks::openFile)) {
        result = hook(request);
    } else {
        QFileDialog dialog(request.owner, QString::fromLocal8Bit(request.title.c_str()));
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(request.fileMustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
        dialog.setNameFilters(qtFilters(request.filter));
        dialog.setDefaultSuffix(QString::fromLocal8Bit(request.defaultExt.c_str()));
        if (!request.initialFile.empty())
            dialog.selectFile(QString::fromLocal8Bit(request.initialFile.c_str()));
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
            result = dialog.selectedFiles().front().toLocal8Bit().toStdString();
    }
    if (trace::enabled())
        trace::line("GetOpenFileName(title=" + trace::quote(request.title) + ", filter=" +
                    trace::quote(request.filter) + ", defaultExt=" + trace::quote(request.defaultExt) +
                    ", initialFile=" + trace::quote(request.initialFile) + ") = " + trace::quote(result));
    return result;
}

} // namespace kivo::sys

INT MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    kivo::sys::MessageBoxRequest r;
    r.owner = kivo::sys::widgetOf(owner);
    r.text = text ? text : "";
    // Windows shows "Error" (in the user's language) for a null caption.
    r.caption = caption ? std::string(caption)
                        : QCoreApplication::translate("MessageBox", "Error").toLocal8Bit().toStdString();
    r.type = type;
    INT answer;
    if (kivo::sys::MessageBoxHook hook = current(&Hooks::box)) {
        answer = hook(r);
    } else if (answerWithDefault()) {
        answer = defaultAnswer(type);
    } else if (!QCoreApplication::instance() || !QCoreApplication::instance()->inherits("QApplication")) {
        // No widgets in this process (a command-line tool): the message goes
        // to stderr and the default button answers.
        std::fprintf(stderr, "%s: %s\n", kivo::trace::escape(r.caption).c_str(),
                     kivo::trace::escape(r.text).c_str());
        answer = defaultAnswer(type);
    } else {
        answer = showRealBox(r);
    }
    if (kivo::trace::enabled())
        kivo::trace::line("MessageBoxA(owner=" + hex(reinterpret_cast<std::uintptr_t>(owner)) +
                          ", text=" + kivo::trace::quote(text) + ", caption=" + kivo::trace::quote(caption) +
                          ", type=" + hex(type) + ") = " + std::to_string(answer));
    return answer;
}

BOOL MessageBeep(UINT type)
{
    if (kivo::sys::BeepHook hook = current(&Hooks::beep))
        hook(type);
    else
        QApplication::beep();
    if (kivo::trace::enabled())
        kivo::trace::line("MessageBeep(type=" + hex(type) + ") = 1");
    return TRUE;
}
