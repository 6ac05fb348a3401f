// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The entry properties dialog: the four statistics of one phonebook entry,
// each of which can be reset after a Yes/No question.
//
// Whoever opens it sets the registry component's Key to the entry's key and
// fills lbConn and the four value labels; the dialog writes through that
// same component and calls `refresh` (the list's RefreshStatistics) on OK.
#pragma once

#include <QDialog>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace Ui
{
class TfrmProps;
}
class TRegFile;

class TfrmProps : public QDialog
{
    Q_OBJECT
  public:
    TfrmProps(QWidget* AOwner, TRegFile& reg, std::function<void()> refresh);
    ~TfrmProps() override;

    // Asks whether to clear `what` of the entry; true only for Yes.
    bool ConfirmClear(const std::string& what);

    void btnclNAClick(QObject* Sender);
    void btnclLAClick(QObject* Sender);
    void btnclLATClick(QObject* Sender);
    void btnclTATClick(QObject* Sender);
    void Button1Click(QObject* Sender);

    std::unique_ptr<Ui::TfrmProps> ui;

    // Makes room for the values as they are: a value wider than its column
    // (a long regional date, a hand-edited text) wraps onto more lines, and
    // the rows below it, the notes and if need be the dialog move down, so
    // that no value is cut off. Runs when the dialog is shown and after a
    // Clear (nothing happens while it is hidden); the dialog keeps its
    // designed size whenever the values fit.
    void LayOutValues();

  protected:
    // Lays the values out and opens centred on the screen.
    void showEvent(QShowEvent* event) override;

  private:
    TRegFile& m_reg;
    std::function<void()> m_refresh;
    // The designed places of the sheet's controls and the designed sizes.
    std::vector<std::pair<QWidget*, QRect>> m_designed;
    QSize m_designedDialog, m_designedPages;
    QPoint m_designedOk;
    bool m_placed = false;
};
