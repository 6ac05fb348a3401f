// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The wizard frame: start-up, page layout, navigation and closing.
#include "wizard/Select.h"

#include "components/Rascomp32.h"
#include "platform/system/system.h"
#include "ui_Select.h"
#include "wizard/FormFont.h"
#include "wizard/Pictures.h"
#include "wizard/Placement.h"
#include "wizard/Stats.h"
#include "wizard/WatchThreads.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QSignalBlocker>
#include <QTimer>

SortedNames SelectedEntries;
bool StopDialing = false;
bool SkipEntry = false;
char ConnectedCaptionFormat[1001] = "";
TfrmSelect* frmSelect = nullptr;

namespace
{

constexpr char kInstallationFile[] = "kivoinfo.pdt";
constexpr qint64 kMaxCaptionBytes = 4096;

const char* const kTitles[TfrmSelect::PageCount] = {
    QT_TRANSLATE_NOOP("TfrmSelect", "KIVO95 Wizard - Welcome (0 of 3)"),
    QT_TRANSLATE_NOOP("TfrmSelect", "KIVO95 Wizard - Entry Selection (1 of 3)"),
    QT_TRANSLATE_NOOP("TfrmSelect", "KIVO95 Wizard - Tune (2 of 3)"),
    QT_TRANSLATE_NOOP("TfrmSelect", "KIVO95 Wizard - Confirmation (3 of 3)"),
    QT_TRANSLATE_NOOP("TfrmSelect", "KIVO95 Wizard - Dialing"),
    QT_TRANSLATE_NOOP("TfrmSelect", "KIVO95 Wizard - Info"),
};

QString title(int page)
{
    return QCoreApplication::translate("TfrmSelect", kTitles[page]);
}

// The frame's own layout on pages 0 to 4.
constexpr int kOuterWidth = 467;
constexpr int kOuterHeight = 322;
constexpr int kInfoOuterHeight = 161;
constexpr int kBevelWidth = 447;
constexpr int kLeftAbout = 136, kLeftPrev = 212, kLeftNext = 289, kLeftClose = 380;

void setLabelFont(QWidget* w, int pixels, const QColor& colour)
{
    QFont f = w->font();
    f.setPixelSize(pixels);
    f.setBold(true);
    w->setFont(f);
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, colour);
    w->setPalette(p);
}

void moveLeft(QWidget* w, int left)
{
    w->move(left, w->y());
}

// The welcome text, one memo line per text line (a translation breaks its
// lines for the memo's width itself); the closing paragraph is ours.
const char* const kWelcomeText =
    QT_TRANSLATE_NOOP("TfrmSelect", "This program  complements the features of Windows 95's \n"
                                    "Dial-Up Networking folder.\n"
                                    "\n"
                                    "It is a new version of the KIVO95 v0.5, which was only\n"
                                    "a connection alarm, now it has evolved into a wizard that\n"
                                    "guides you through a series of steps to connect you to RAS\n"
                                    "servers (Windows NT in your office, Internet Access Provider,\n"
                                    "etc.)\n"
                                    "\n"
                                    "Through it, you can cycle through the various phone numbers \n"
                                    "of your connections while they are busy, play a tune when you\n"
                                    "get a successful connection and keep track of statistical data \n"
                                    "about your connections (total connect time,last connect \n"
                                    "time, etc.) on a per entry basis.\n"
                                    "\n"
                                    "Questions, suggestions and bug reports are welcome: write to\n"
                                    "kivo95@morvel.example, or to Morvel Software, P.O. Box 95,\n"
                                    "Kivo, Finland.");

} // namespace

TfrmSelect::TfrmSelect(QWidget* parent) : QWidget(parent), ui(std::make_unique<Ui::TfrmSelect>())
{
    ui->setupUi(this);
    // A fixed dialog frame with only the close box.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFont(kivo::FormFont());
    QPalette black = palette();
    black.setColor(QPalette::WindowText, Qt::black);
    setPalette(black);
    setWidth(kOuterWidth);
    setHeight(kOuterHeight);

    setLabelFont(ui->Label8, 19, QColor(0x80, 0x00, 0x00));  // maroon
    setLabelFont(ui->lblTime, 24, QColor(0x00, 0x80, 0x00)); // green
    for (QWidget* w : {ui->Label8, ui->Label5, ui->Label3, ui->Label6, ui->Label4, ui->Label7})
        w->adjustSize();
    // The lines were laid out for the narrow width of an edit control's
    // one-pixel margin; Qt's wider default would wrap the longest of them.
    ui->Memo1->document()->setDocumentMargin(1);
    for (const QString& line : tr(kWelcomeText).split(u'\n'))
        ui->Memo1->appendPlainText(line);
    ui->Memo1->moveCursor(QTextCursor::Start);

    const QIcon icon = kivo::pictures::ProgramIcon();
    setWindowIcon(icon);
    ui->Image1->setPixmap(kivo::pictures::ProgramPixmap(32));
    ui->imgSteps->setPixmap(kivo::pictures::StepsPicture());
    ui->imgFinished->setPixmap(kivo::pictures::FinishedPicture());

    ui->lbEntries->setUniformItemSizes(true);

    reg = new TRegFile(this);
    reg->setObjectName("reg");
    reg->setRootKey(hkLocalMachine);
    RAS = new TRAS(this);
    RAS->setObjectName("RAS");
    RAS->setRedialAttempts(0);
    RAS->OnConnect = [this](QObject* sender) { KivoApplication::guard([&] { RASConnect(sender); }); };
    RAS->OnDisconnect = [this](QObject* sender, std::int32_t error, QString text) {
        KivoApplication::guard([&] { RASDisconnect(sender, error, text); });
    };
    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(1000);

    InstallerPath = QCoreApplication::applicationDirPath().toLocal8Bit().toStdString() + "/initkivo";

    // setPageIndex runs the page-change handler itself; this covers a change
    // made on the notebook directly.
    wire(ui->Notebook1, &QStackedWidget::currentChanged, &TfrmSelect::Notebook1PageChanged);
    wire(ui->btnPrev, &QPushButton::clicked, &TfrmSelect::btnPrevClick);
    wire(ui->btnNext, &QPushButton::clicked, &TfrmSelect::btnNextClick);
    wire(ui->btnClose, &QPushButton::clicked, &TfrmSelect::btnCloseClick);
    // ---- wiring of the other concerns' handlers ----
    SetUpWelcomeTuneAbout();
    SetUpSelectionPage();
    SetUpDialQueue();
    SetUpConnectionMonitor();
}

TfrmSelect::~TfrmSelect()
{
    if (frmSelect == this)
        frmSelect = nullptr;
}

// ---- the window ----------------------------------------------------------------

int TfrmSelect::Width() const
{
    return width() + FrameWidth;
}

int TfrmSelect::Height() const
{
    return height() + FrameHeight;
}

void TfrmSelect::setWidth(int outer)
{
    setFixedWidth(outer - FrameWidth);
}

void TfrmSelect::setHeight(int outer)
{
    setFixedHeight(outer - FrameHeight);
}

int TfrmSelect::PageIndex() const
{
    return ui->Notebook1->currentIndex();
}

void TfrmSelect::setPageIndex(int index)
{
    if (index < 0 || index >= PageCount || index == PageIndex())
        return;
    // The handler is called here rather than from the notebook's signal, so
    // that its exceptions travel through our frames only.
    {
        const QSignalBlocker quiet(ui->Notebook1);
        ui->Notebook1->setCurrentIndex(index);
    }
    Notebook1PageChanged(ui->Notebook1);
}

void TfrmSelect::showEvent(QShowEvent* event)
{
    // Centred on the screen when first shown.
    if (!m_centred) {
        m_centred = true;
        kivo::CentreOnScreen(this);
    }
    QWidget::showEvent(event);
}

void TfrmSelect::closeEvent(QCloseEvent* event)
{
    // A FormClose that fails keeps the window open.
    event->ignore();
    TCloseAction action = caHide;
    if (!KivoApplication::guard([&] { FormClose(this, action); }) || action == caNone)
        return;
    event->accept();
    emit closed();
}

// ---- start-up --------------------------------------------------------------------

void TfrmSelect::FormCreate(QObject*)
{
    // 1.
    setHeight(kOuterHeight);
    setWidth(kOuterWidth);
    reg->setKey(kivo::reg::AppKey);

    // 2. A missing module or string leaves the format empty, unreported.
    HMODULE rnaapp = LoadLibraryA("rnaapp.exe");
    LoadStringA(rnaapp, 204, ConnectedCaptionFormat, 500);
    FreeLibrary(rnaapp);

    // 3.
    if (!reg->ValueExists("", kivo::reg::PDTCaption)) {
        ObtainPDTCaption();
        if (m_terminated)
            return;
    }
    PDTCaptionText = reg->ReadValue(kivo::reg::PDTCaption).toString();

    // 4. The defaults of the registry layout: an empty Tune, ShowWelcome 1.
    for (const char* name : {kivo::reg::Tune, kivo::reg::ShowWelcome})
        if (!reg->ValueExists("", name))
            reg->WriteValue(name, kivo::reg::Find(name).Default());

    // 5. The description leaves the notebook on page 1, so this is a change.
    setPageIndex(0);
    if (reg->ReadValue(kivo::reg::ShowWelcome).toInt() != 1) {
        setPageIndex(1);
        setWindowTitle(title(1));
    }

    // 6. SelectedEntries exists from program start and is still empty here.

    // 7. An empty phonebook is no error, but a listing that failed (the dial
    // service is not running, ...) is: the user would see an empty list and
    // only learn that nothing is selected.
    const std::int32_t listed = RAS->GetPhoneBookEntries();
    if (listed != 0 && listed != static_cast<std::int32_t>(ERROR_BUFFER_TOO_SMALL))
        ShowEntryListError(listed);
    SkipEntry = false;
    StopDialing = false;

    // 8.
    FillEntryList();
    RefreshStatistics();
}

// The installation file's first line becomes PDTCaption. When the file cannot
// be read the installer is started and waited for, then the file is read once
// more; if that fails too, the installation is broken and the program ends.
void TfrmSelect::ObtainPDTCaption()
{
    if (ReadInstallationFile())
        return;
    // One word, whatever the folder's name holds (blanks, quotes).
    const std::string command = kivo::sys::QuoteCommandWord(InstallerPath);
    if (WinExec(command.c_str(), SW_SHOWNORMAL) < 32) {
        InstallationError();
        return;
    }
    kivo::sys::waitForLastWinExec(InstallerTimeoutMs);
    if (!ReadInstallationFile())
        InstallationError();
}

bool TfrmSelect::ReadInstallationFile()
{
    QFile file(QString::fromLatin1(kInstallationFile));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    // A caption is one short line; a file without line ends is not read whole.
    QByteArray line = file.readLine(kMaxCaptionBytes);
    if (file.error() != QFileDevice::NoError)
        return false;
    if (line.endsWith('\n'))
        line.chop(1);
    if (line.endsWith('\r'))
        line.chop(1);
    reg->WriteValue(kivo::reg::PDTCaption, Variant(line.toStdString()));
    file.close();
    return file.error() == QFileDevice::NoError;
}

void TfrmSelect::InstallationError()
{
    MessageBoxA(nullptr, tr("KIVO95 must be reinstalled. Closing...").toLocal8Bit().constData(),
                tr("Error in installation").toLocal8Bit().constData(), MB_OK);
    m_terminated = true;
}

// ---- page changes --------------------------------------------------------------

void TfrmSelect::LayoutForPage(int index)
{
    if (index <= 4) {
        setHeight(kOuterHeight);
        ui->pnlBorder->show();
        setWidth(kOuterWidth);
        ui->Bevel1->resize(kBevelWidth, ui->Bevel1->height());
        moveLeft(ui->rdbAbout, kLeftAbout);
        moveLeft(ui->btnPrev, kLeftPrev);
        moveLeft(ui->btnNext, kLeftNext);
        moveLeft(ui->btnClose, kLeftClose);
        ui->nbWizImg->setCurrentIndex(index == 4 ? 1 : 0);
        if (index == 4) {
            // Painted before dialing begins.
            QCoreApplication::processEvents();
        }
    } else {
        // The picture panel's width comes off the window and the button bar.
        const int cut = ui->pnlBorder->maximumWidth();
        setHeight(kInfoOuterHeight);
        setWidth(Width() - cut);
        ui->Bevel1->resize(ui->Bevel1->width() - cut, ui->Bevel1->height());
        for (QWidget* w : {static_cast<QWidget*>(ui->rdbAbout), static_cast<QWidget*>(ui->btnPrev),
                           static_cast<QWidget*>(ui->btnNext), static_cast<QWidget*>(ui->btnClose)})
            moveLeft(w, w->x() - cut);
        ui->pnlBorder->hide();
    }
}

void TfrmSelect::Notebook1PageChanged(QObject*)
{
    StopDialing = true;
    const int index = PageIndex();
    LayoutForPage(index);

    switch (index) {
    case 0:
        setWindowTitle(title(0));
        ui->btnPrev->setEnabled(false);
        ui->btnNext->setEnabled(true);
        break;
    case 1:
        setWindowTitle(title(1));
        reg->setKey(kivo::reg::AppKey);
        ui->btnPrev->setEnabled(reg->ReadValue(kivo::reg::ShowWelcome).toInt() == 1);
        ui->btnNext->setEnabled(true);
        // Not during start-up: the window is not shown yet.
        if (isVisible())
            ui->ConList->setFocus();
        RefreshStatistics();
        break;
    case 2:
        setWindowTitle(title(2));
        reg->setKey(kivo::reg::AppKey);
        ui->btnPrev->setEnabled(true);
        ui->btnNext->setEnabled(true);
        ui->edTune->setText(QString::fromLocal8Bit(reg->ReadValue(kivo::reg::Tune).toString().c_str()));
        break;
    case 3:
        setWindowTitle(title(3));
        break;
    case 4:
        // The dial queue takes over here and returns when it has ended.
        setWindowTitle(title(4));
        DialQueue();
        break;
    case 5:
        setWindowTitle(title(5));
        ui->btnPrev->hide();
        ui->btnNext->hide();
        break;
    }

    // A nested page change may have moved the notebook on meanwhile.
    if (PageIndex() == 3) {
        ui->lbEntries->clear();
        for (const std::string& name : SelectedEntries)
            ui->lbEntries->addItem(QString::fromLocal8Bit(name.c_str()));
    }
}

// ---- navigation and closing -------------------------------------------------------

void TfrmSelect::btnNextClick(QObject*)
{
    if (PageIndex() == 1 && SelectedEntries.empty()) {
        MessageBeep(MB_ICONASTERISK);
        // With nothing listed, why there is nothing to select.
        const QString text =
            EntryListError.isEmpty() ? tr("At least one entry must be selected!") : EntryListError;
        MessageBoxA(kivo::sys::hwndOf(this), text.toLocal8Bit().constData(),
                    tr("Error").toLocal8Bit().constData(), MB_OK | MB_ICONERROR);
        return;
    }
    setPageIndex((PageIndex() + 1) % PageCount);
}

void TfrmSelect::btnPrevClick(QObject*)
{
    setPageIndex(PageIndex() - 1);
}

void TfrmSelect::btnCloseClick(QObject*)
{
    StopDialing = true;
    close();
}

void TfrmSelect::FormClose(QObject*, TCloseAction&)
{
    StopDialing = true;
    RAS->Disconnect();
}
