#include "cli/progress.h"

#include <cstdio>

namespace qlx::cli {

void ProgressLine::serialProgressRange(int max)
{
    m_max = max;
    m_value = 0;
    draw();
}

void ProgressLine::serialProgress(int value)
{
    m_value = value;
    draw();
}

void ProgressLine::serialCountdown(const QString& text)
{
    m_countdown = text;
    draw();
}

void ProgressLine::draw()
{
    const int percent = m_max > 0 ? static_cast<int>(100LL * m_value / m_max) : 0;
    std::fprintf(stderr, "\r\033[K%3d%%  %d of %d bytes  %s", percent, m_value, m_max, qPrintable(m_countdown));
    std::fflush(stderr);
    m_drawn = true;
}

void ProgressLine::finish()
{
    if (m_drawn)
        std::fputs("\r\033[K", stderr);
    m_drawn = false;
    m_max = m_value = 0;
    m_countdown.clear();
}

} // namespace qlx::cli
