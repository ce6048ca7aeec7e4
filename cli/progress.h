#pragma once
// The serial receive routine's progress as one line on standard error, redrawn in place:
// percent, bytes and the seconds still to go.

#include "link/linktypes.h"

#include <QString>

namespace qlx::cli {

class ProgressLine : public TransportObserver {
public:
    void serialProgressRange(int max) override;
    void serialProgress(int value) override;
    void serialCountdown(const QString& text) override;
    // Ends the line of the file that arrived (or broke off), if one was drawn.
    void finish();

private:
    void draw();
    int m_max = 0;
    int m_value = 0;
    QString m_countdown;
    bool m_drawn = false;
};

} // namespace qlx::cli
