#pragma once
// Records what the serial receive routines report for the progress bar and the status line.

#include "link/linktypes.h"

#include <QList>
#include <QStringList>

struct RecordingObserver : qlx::TransportObserver {
    QList<int> ranges, values;
    QStringList countdowns;
    void serialProgressRange(int max) override { ranges << max; }
    void serialProgress(int value) override { values << value; }
    void serialCountdown(const QString& text) override { countdowns << text; }
};
