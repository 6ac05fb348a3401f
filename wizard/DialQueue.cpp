// Dialing the selected entries in turn (page 4).
#include "wizard/Select.h"

#include <QTimer>

void TfrmSelect::RASDisconnect(QObject*, std::int32_t, QString)
{
    Timer1->stop();
}
