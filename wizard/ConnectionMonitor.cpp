// The connected state: the Info page, the timer and the tray icon (page 5).
#include "wizard/Select.h"

void TfrmSelect::RASConnect(QObject*)
{
}
