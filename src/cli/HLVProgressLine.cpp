#include "HLVProgressLine.h"

#include <unistd.h>

HLVProgressLine::HLVProgressLine(bool enabled)
    : _enabled(enabled)
{
}

HLVProgressLine::~HLVProgressLine()
{
    clear();
}

bool HLVProgressLine::standardErrorIsTerminal()
{
    return isatty(STDERR_FILENO) == 1;
}

void HLVProgressLine::show(const QString& label, qsizetype done, qsizetype total)
{
    if (!_enabled)
        return;
    const QByteArray text = QStringLiteral("\r\033[K%1: %2 of %3 files").arg(label).arg(done).arg(total).toUtf8();
    std::fputs(text.constData(), stderr);
    std::fflush(stderr);
    _shown = true;
}

void HLVProgressLine::clear()
{
    if (!_enabled || !_shown)
        return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    _shown = false;
}
