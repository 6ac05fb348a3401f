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

  private:
    TRegFile& m_reg;
    std::function<void()> m_refresh;
};
