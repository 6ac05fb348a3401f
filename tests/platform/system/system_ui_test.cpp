// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Message boxes, beeps, the file-open dialog and widget handles.
#include "platform/desktop/desktop.h"
#include "platform/system/system.h"
#include "platform/system/trace.h"
#include "tests/support/testsupport.h"

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>

using kivo::test::waitUntil;

namespace
{

// Runs `act` on the first modal widget of type T once it is shown.
template <typename T> void whenShown(std::function<void(T*)> act)
{
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        if (auto* w = qobject_cast<T*>(QApplication::activeModalWidget())) {
            if (!w->isVisible())
                return;
            timer->stop();
            timer->deleteLater();
            act(w);
        }
    });
    timer->start(10);
}

QPushButton* buttonWithText(QMessageBox* box, const QString& text)
{
    for (QAbstractButton* b : box->buttons())
        if (b->text().remove('&') == text)
            return qobject_cast<QPushButton*>(b);
    return nullptr;
}

} // namespace

TEST(MessageBox, HookReceivesTheRequestWithTheOwnerWidget)
{
    QWidget owner;
    kivo::sys::MessageBoxRequest seen;
    kivo::sys::setMessageBoxHook([&](const kivo::sys::MessageBoxRequest& r) {
        seen = r;
        return IDNO;
    });
    EXPECT_EQ(MessageBoxA(kivo::sys::hwndOf(&owner), "Text", "Caption", MB_YESNO | MB_ICONQUESTION), IDNO);
    EXPECT_EQ(seen.owner, &owner);
    EXPECT_EQ(seen.text, "Text");
    EXPECT_EQ(seen.caption, "Caption");
    EXPECT_EQ(seen.type, MB_YESNO | MB_ICONQUESTION);

    EXPECT_EQ(MessageBoxA(nullptr, "x", "y", MB_OK), IDNO);
    EXPECT_EQ(seen.owner, nullptr) << "a null owner means no owner window";

    auto previous = kivo::sys::setMessageBoxHook(nullptr);
    EXPECT_TRUE(previous) << "setting a hook returns the one it replaces";
}

TEST(MessageBox, RealBoxShowsIconButtonsAndDefault)
{
    QWidget owner;
    owner.show();
    QString title, text;
    QMessageBox::Icon icon{};
    QStringList buttons;
    QString defaultButton;
    bool ownerMatches = false;
    whenShown<QMessageBox>([&](QMessageBox* box) {
        title = box->windowTitle();
        text = box->text();
        icon = box->icon();
        for (QAbstractButton* b : box->buttons())
            buttons << b->text().remove('&');
        defaultButton = box->defaultButton() ? box->defaultButton()->text().remove('&') : QString();
        ownerMatches = box->parentWidget() == &owner;
        buttonWithText(box, "Cancel")->click();
    });
    INT r = MessageBoxA(kivo::sys::hwndOf(&owner), "Dial now?", "Question",
                        MB_OKCANCEL | MB_ICONERROR | MB_DEFBUTTON2);
    EXPECT_EQ(r, IDCANCEL);
    EXPECT_EQ(title, "Question");
    EXPECT_EQ(text, "Dial now?");
    EXPECT_EQ(icon, QMessageBox::Critical);
    EXPECT_TRUE(buttons.contains("OK"));
    EXPECT_TRUE(buttons.contains("Cancel"));
    EXPECT_EQ(buttons.size(), 2);
    EXPECT_EQ(defaultButton, "Cancel") << "MB_DEFBUTTON2 makes the second button the default";
    EXPECT_TRUE(ownerMatches);
}

TEST(MessageBox, ALineBreakPairIsOneBreak)
{
    // CR LF and LF CR (the order the entry properties' question uses) each
    // break the line once, as a lone CR or LF does; two pairs make an empty
    // line. The hook and the trace still see the text as it was given.
    const std::pair<const char*, QString> cases[] = {
        {"Do you really want to clear Office's \n\rNumber of Accesses?",
         "Do you really want to clear Office's \nNumber of Accesses?"},
        {"a\r\nb", "a\nb"},
        {"a\rb\nc", "a\nb\nc"},
        {"a\r\n\r\nb", "a\n\nb"},
        {"a\n\nb", "a\n\nb"},
    };
    for (const auto& [given, shown] : cases) {
        QString text, label;
        whenShown<QMessageBox>([&](QMessageBox* box) {
            text = box->text();
            if (auto* l = box->findChild<QLabel*>("qt_msgbox_label"))
                label = l->text();
            box->button(QMessageBox::Yes)->click();
        });
        EXPECT_EQ(MessageBoxA(nullptr, given, "Confirmation", MB_YESNO | MB_ICONINFORMATION | MB_DEFBUTTON2),
                  IDYES);
        EXPECT_EQ(text, shown) << given;
        EXPECT_EQ(label, shown) << "what the box shows";
    }
}

TEST(MessageBox, IconsFollowTheTypeBits)
{
    const std::pair<UINT, QMessageBox::Icon> cases[] = {
        {MB_ICONERROR, QMessageBox::Critical},  {MB_ICONQUESTION, QMessageBox::Question},
        {MB_ICONWARNING, QMessageBox::Warning}, {MB_ICONINFORMATION, QMessageBox::Information},
        {MB_OK, QMessageBox::NoIcon},
    };
    for (auto [type, expected] : cases) {
        QMessageBox::Icon icon{};
        whenShown<QMessageBox>([&](QMessageBox* box) {
            icon = box->icon();
            box->buttons().front()->click();
        });
        EXPECT_EQ(MessageBoxA(nullptr, "t", "c", type), IDOK);
        EXPECT_EQ(icon, expected) << "type " << type;
    }
}

TEST(MessageBox, EscapeAnswersAsWindowsDoes)
{
    // A single OK button: Escape answers IDOK.
    whenShown<QMessageBox>([](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); });
    EXPECT_EQ(MessageBoxA(nullptr, "t", "c", MB_OK), IDOK);

    // OK and Cancel: Escape is Cancel.
    whenShown<QMessageBox>([](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); });
    EXPECT_EQ(MessageBoxA(nullptr, "t", "c", MB_OKCANCEL), IDCANCEL);

    // Yes and No: neither Escape nor the close box answers; only a button does.
    bool stillOpen = false;
    whenShown<QMessageBox>([&](QMessageBox* box) {
        QTest::keyClick(box, Qt::Key_Escape);
        box->close();
        stillOpen = box->isVisible();
        buttonWithText(box, "Yes")->click();
    });
    EXPECT_EQ(MessageBoxA(nullptr, "t", "c", MB_YESNO), IDYES);
    EXPECT_TRUE(stillOpen);
}

TEST(MessageBox, CallsAreTraced)
{
    kivo::test::TempDir dir;
    setenv("KIVO95_TRACE", dir.file("trace").c_str(), 1);
    kivo::trace::reset();
    kivo::sys::setMessageBoxHook([](const kivo::sys::MessageBoxRequest&) { return IDOK; });
    kivo::sys::setBeepHook([](UINT) {});
    MessageBoxA(nullptr, "Hello \"there\"", "Cap", MB_OK | MB_ICONERROR);
    MessageBeep(MB_ICONASTERISK);
    const std::string trace = kivo::test::readFile(dir.file("trace"));
    EXPECT_NE(
        trace.find("MessageBoxA(owner=0x0, text=\"Hello \\\"there\\\"\", caption=\"Cap\", type=0x10) = 1\n"),
        std::string::npos)
        << trace;
    EXPECT_NE(trace.find("MessageBeep(type=0x40) = 1\n"), std::string::npos) << trace;
    unsetenv("KIVO95_TRACE");
    kivo::trace::reset();
}

TEST(MessageBox, UnattendedModeAnswersWithTheDefaultButton)
{
    setenv("KIVO95_MESSAGEBOX", "default", 1);
    EXPECT_EQ(MessageBoxA(nullptr, "t", "c", MB_OK), IDOK);
    EXPECT_EQ(MessageBoxA(nullptr, "t", "c", MB_YESNO), IDYES);
    EXPECT_EQ(MessageBoxA(nullptr, "t", "c", MB_YESNO | MB_DEFBUTTON2), IDNO);
    EXPECT_EQ(MessageBoxA(nullptr, "t", "c", MB_OKCANCEL | MB_DEFBUTTON2), IDCANCEL);
    unsetenv("KIVO95_MESSAGEBOX");
}

TEST(Beep, GoesThroughTheHook)
{
    std::vector<UINT> beeps;
    kivo::sys::setBeepHook([&](UINT t) { beeps.push_back(t); });
    EXPECT_EQ(MessageBeep(MB_ICONASTERISK), TRUE);
    EXPECT_EQ(beeps, std::vector<UINT>{MB_ICONASTERISK});
    kivo::sys::setBeepHook(nullptr);
    EXPECT_EQ(MessageBeep(MB_OK), TRUE) << "the real beep is harmless without a sound device";
}

TEST(WidgetHandles, MapBothWaysAndForgetDestroyedWidgets)
{
    EXPECT_EQ(kivo::sys::hwndOf(nullptr), nullptr);
    EXPECT_EQ(kivo::sys::widgetOf(nullptr), nullptr);
    auto* top = new QWidget;
    auto* child = new QWidget(top);
    HWND h = kivo::sys::hwndOf(top);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(kivo::sys::hwndOf(top), h) << "a widget keeps its handle";
    EXPECT_EQ(kivo::sys::hwndOf(child), h) << "a child stands for its window";
    EXPECT_EQ(kivo::sys::widgetOf(h), top);
    QWidget other;
    EXPECT_NE(kivo::sys::hwndOf(&other), h);
    delete top;
    EXPECT_EQ(kivo::sys::widgetOf(h), nullptr) << "a destroyed widget is no owner";
}

TEST(WidgetHandles, AShownWidgetIsKnownByItsDesktopHandle)
{
    QWidget top;
    HWND before = kivo::sys::hwndOf(&top);
    top.show();
    ASSERT_NE(top.windowHandle(), nullptr);
    HWND shown = kivo::sys::hwndOf(&top);
    EXPECT_EQ(shown, kivo::desktop::hwndOfWindow(top.windowHandle()))
        << "message boxes and the desktop calls name the window alike";
    EXPECT_EQ(kivo::sys::widgetOf(shown), &top);
    EXPECT_EQ(kivo::sys::widgetOf(before), &top) << "a handle given out before the window showed stays valid";
}

TEST(OpenFile, HookAnswersTheRequest)
{
    kivo::sys::OpenFileRequest seen;
    kivo::sys::setOpenFileHook([&](const kivo::sys::OpenFileRequest& r) {
        seen = r;
        return std::string("/tmp/x.wav");
    });
    kivo::sys::OpenFileRequest r;
    r.filter = "Wave files (*.wav)|*.wav";
    r.defaultExt = "wav";
    r.initialFile = "/old.wav";
    EXPECT_EQ(kivo::sys::GetOpenFileName(r), "/tmp/x.wav");
    EXPECT_EQ(seen.filter, r.filter);
    EXPECT_EQ(seen.initialFile, "/old.wav");
    kivo::sys::setOpenFileHook(nullptr);
}

TEST(OpenFile, RealDialogTakesFilterSuffixAndModeAndReturnsTheChosenFile)
{
    kivo::test::TempDir dir;
    kivo::test::writeFile(dir.file("tune.wav"), "RIFF");
    QStringList filters;
    QString suffix;
    QFileDialog::FileMode mode{};
    whenShown<QFileDialog>([&](QFileDialog* d) {
        filters = d->nameFilters();
        suffix = d->defaultSuffix();
        mode = d->fileMode();
        // Type the name without its extension: the default suffix completes it.
        auto* edit = d->findChild<QLineEdit*>("fileNameEdit");
        ASSERT_NE(edit, nullptr);
        edit->setText(QString::fromStdString(dir.file("tune")));
        static_cast<QDialog*>(d)->accept(); // as the Open button does
    });
    kivo::sys::OpenFileRequest r;
    r.title = "Tune";
    r.filter = "Wave files (*.wav)|*.wav";
    r.defaultExt = "wav";
    EXPECT_EQ(kivo::sys::GetOpenFileName(r), dir.file("tune.wav"));
    EXPECT_EQ(filters, QStringList{"Wave files (*.wav)"});
    EXPECT_EQ(suffix, "wav");
    EXPECT_EQ(mode, QFileDialog::ExistingFile);
}

TEST(OpenFile, CancelGivesAnEmptyName)
{
    QStringList filters;
    whenShown<QFileDialog>([&](QFileDialog* d) {
        filters = d->nameFilters();
        d->reject();
    });
    kivo::sys::OpenFileRequest r;
    r.filter = "Sounds|*.wav;*.au|All files|*.*";
    EXPECT_EQ(kivo::sys::GetOpenFileName(r), "");
    EXPECT_EQ(filters, (QStringList{"Sounds (*.wav *.au)", "All files (*.*)"}));
}
