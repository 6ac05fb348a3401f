// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The wizard window TfrmSelect and the program-wide state its handlers share.
//
// One class, as its handlers share one form and one set of flags; its
// definitions are split by concern:
//   Select.cpp             the frame: start-up, page layout, navigation, closing
//   SelectionPage.cpp      the entry list (page 1)
//   DialQueue.cpp          dialing the selected entries (page 4)
//   ConnectionMonitor.cpp  the connected state (page 5, timer, tray)
// Handlers keep the names of the window description (btnNextClick, ...), take
// the sender first, and are wired in the constructor with wire().
#pragma once

#include "components/Events.h"
#include "components/RegFiles.h"
#include "platform/system/system.h"
#include "wizard/KivoApplication.h"
#include "wizard/ListView.h"
#include "wizard/Placement.h"
#include "wizard/SortedNames.h"

#include <QDateTime>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace Ui
{
class TfrmSelect;
}
class QAction;
class QMenu;
class TRAS;
class QTimer;
class TTrayIcon;
class TPDTThread;
class TFWThread;

// What closing a window does; FormClose may change it (caNone keeps it open).
enum TCloseAction { caNone, caHide, caFree, caMinimize };

// ---- program-wide state (one wizard window per process) ------------------

// The entries chosen on the selection page, in the order they are dialled.
// Exists from program start, so a start-up that failed half-way cannot leave
// the later pages without it.
extern SortedNames SelectedEntries;
// True ends a running dial queue at the end of its current attempt.
extern bool StopDialing;
// Set by Skip Entry; the dial queue clears it and gives up the attempt.
extern bool SkipEntry;
// Caption format of the system's "connected" window ("Connected to %s"),
// read at start-up; at most 500 characters are read into it.
extern char ConnectedCaptionFormat[1001];
// Position in SelectedEntries of the next entry the dial queue dials.
extern int DialIndex;
// The moment the current connection was reported, and the timer ticks since.
extern QDateTime ConnectStart;
extern int ConnectSeconds;

class TfrmSelect : public QWidget
{
    Q_OBJECT
  public:
    explicit TfrmSelect(QWidget* parent = nullptr);
    ~TfrmSelect() override;

    // ---- the window ------------------------------------------------------

    // Sizes are those of the window including a Windows 95 dialog frame
    // (4-pixel borders and a 19-pixel caption): the client area is the outer
    // size less FrameWidth x FrameHeight, whatever the desktop draws around it.
    static constexpr int FrameWidth = kivo::kNominalFrameWidth;
    static constexpr int FrameHeight = kivo::kNominalFrameHeight;
    int Width() const;
    int Height() const;
    void setWidth(int outer);
    void setHeight(int outer);

    // The page notebook's index. Setting the current index or one outside
    // 0..PageCount-1 does nothing; any other change runs Notebook1PageChanged
    // before it returns, and an exception of that handler reaches the caller
    // (the handler that changed the page ends too).
    static constexpr int PageCount = 6;
    int PageIndex() const;
    void setPageIndex(int index);

    // True when start-up has ended the program (the installation could not
    // be repaired): the window must not be shown; the program exits with 0.
    bool Terminated() const { return m_terminated; }

    // The installer started when the installation file cannot be read;
    // by default "initkivo" in the program's own directory.
    std::string InstallerPath;
    // How long start-up waits for the installer to finish.
    int InstallerTimeoutMs = 60000;

    // ---- controls and components ------------------------------------------

    std::unique_ptr<Ui::TfrmSelect> ui; // the controls, by their given names
    TRegFile* reg = nullptr;            // RootKey local machine
    TRAS* RAS = nullptr;                // the dialer; RedialAttempts 0
    QTimer* Timer1 = nullptr;           // 1000 ms, disabled
    std::string PDTCaptionText;         // the PDTCaption setting, read at start-up

    // ---- Select.cpp: start-up, frame, navigation ----------------------------

    void FormCreate(QObject* Sender);
    void FormClose(QObject* Sender, TCloseAction& Action);
    void Notebook1PageChanged(QObject* Sender);
    void btnNextClick(QObject* Sender);
    void btnPrevClick(QObject* Sender);
    void btnCloseClick(QObject* Sender);

    // ---- SelectionPage.cpp ----------------------------------------------------

    TImageList* Large = nullptr; // 32 x 32, the large-icon view of ConList
    TImageList* Small = nullptr; // 16 x 16, its other views
    QMenu* pm = nullptr;         // the View menu, shown on empty space of ConList
    QAction* View1 = nullptr;
    QAction* LArgeIcons1 = nullptr;
    QAction* Small1 = nullptr;
    QAction* List1 = nullptr;
    QAction* Details1 = nullptr;
    QMenu* pmEntry = nullptr; // shown on an item of ConList
    QAction* EntryProperties1 = nullptr;
    // The item on which pmEntry was last opened.
    TListItem* PopupItem = nullptr;

    // Why the entries could not be listed at start-up (shown on the
    // selection page); empty when they were.
    QString EntryListError;
    // Lists the dialer's phonebook entries, giving new ones their initial statistics.
    void FillEntryList();
    // Says on the selection page why listing the entries failed with code.
    void ShowEntryListError(std::int32_t code);
    // Rebuilds the statistics columns of every item from the registry.
    void RefreshStatistics();
    void ConListChange(QObject* Sender, TListItem* Item, TItemChange Change);
    void ConListMouseUp(QObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
    void LArgeIcons1Click(QObject* Sender);
    void Small1Click(QObject* Sender);
    void List1Click(QObject* Sender);
    void Details1Click(QObject* Sender);
    void EntryProperties1Click(QObject* Sender);

    // ---- DialQueue.cpp ----------------------------------------------------------

    // The tune thread of the dial run under way, or none.
    std::unique_ptr<TPDTThread> PDTThread;
    // Page 4, once its title is set: dials the selected entries in turn and
    // returns when the queue has ended (a connection, Abort, Close or another
    // page change).
    void DialQueue();
    void btnSkipClick(QObject* Sender);
    void btnAbortClick(QObject* Sender);
    void RASDisconnect(QObject* Sender, std::int32_t Error, QString ErrorString);

    // ---- ConnectionMonitor.cpp ---------------------------------------------------

    TTrayIcon* TI = nullptr; // inactive; the program icon
    QMenu* Ipm = nullptr;    // the tray icon's menu: Info, Disconnect
    QAction* Info1 = nullptr;
    QAction* Disconnect1 = nullptr;
    // The last window-hiding thread made; it frees itself, so this is never
    // dereferenced.
    TFWThread* FWThread = nullptr;
    // Whether the desktop shows a notification area, so that hiding the
    // window behind the tray icon leaves the user a way back.
    std::function<bool()> NotificationAreaAvailable;

    void RASConnect(QObject* Sender);
    void Timer1Timer(QObject* Sender);
    void Button1Click(QObject* Sender);
    void TIClick(QObject* Sender);
    void TIRightClick(QObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
    void Info1Click(QObject* Sender);
    void Disconnect1Click(QObject* Sender);

    // ---- welcome page, tune page, about box ---------------------------------------

    void cbShowWelcomeClick(QObject* Sender);
    // Key and Shift are left as they are.
    void cbShowWelcomeKeyDown(QObject* Sender, int& Key, TShiftState Shift);
    void edTuneExit(QObject* Sender);
    void btnBrowseClick(QObject* Sender);
    void rdbAboutClick(QObject* Sender);
    // The about box's line naming a dial service ("sim", "pppd", "nm") in
    // plain words.
    static QString DialServiceText(const std::string& service);

    // The file-open dialog of the Browse button; FileName (initialFile) is
    // the name it returned last.
    kivo::sys::OpenFileRequest Od;

    // Shows the window, brings it to the front and restores it if minimised.
    void ShowAndRestore();
    void ShowWelcomeAfterLineEnd();

  signals:
    // The window has closed (FormClose let it); as the main window, this ends the program.
    void closed();

    // ---- for those who follow the wizard from outside (kivo::WizardControl) ----
    // The dial queue begins, and ends (after its last pause).
    void dialRunStarted();
    void dialRunEnded();
    // An attempt begins; an attempt failed with a RAS error, reported before
    // it is hung up (Skip, Abort and a connection are no failures).
    void dialAttemptStarted(const QString& entry);
    void dialAttemptFailed(const QString& entry, int code, const QString& text);
    // RASConnect has taken the connection over (timed, the window out of sight).
    void connectedTo(const QString& entry);
    // The monitor found the line gone, before it says so in its box.
    void lineBroken(const QString& entry, int code, const QString& text);
    // The dialer reported the end of a line (RASDisconnect), whoever ended it.
    void lineReleased(int code, const QString& text);

  protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

    // Connects a control's signal to a handler that takes the sender. The
    // handler runs guarded: an exception it throws is reported and ends it
    // here, before it could unwind through Qt's code. (Handlers with more
    // arguments wrap their call in KivoApplication::guard the same way.)
    template <typename Control, typename Signal>
    void wire(Control* control, Signal signal, void (TfrmSelect::*handler)(QObject*))
    {
        connect(control, signal, this,
                [this, control, handler] { KivoApplication::guard([&] { (this->*handler)(control); }); });
    }

  private:
    void SetUpSelectionPage();
    void ObtainPDTCaption();
    bool ReadInstallationFile();
    void InstallationError();
    void LayoutForPage(int index);
    void SetUpWelcomeTuneAbout(); // WelcomeTunePages.cpp
    void SetUpDialQueue();        // DialQueue.cpp
    void EndTuneThread();
    void SetUpConnectionMonitor(); // ConnectionMonitor.cpp
    void CountTick();
    void HideToTray();

    // The connection the monitor follows, and what it has reported about it.
    std::string m_connectedEntry;
    bool m_badTotalReported = false;
    bool m_statsFailureReported = false;
    bool m_closed = false; // the window has closed: the program is ending

    bool m_terminated = false;
    bool m_centred = false;
};

// The main window.
extern TfrmSelect* frmSelect;
