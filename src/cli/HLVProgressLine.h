#pragma once

#include <QString>
#include <cstdio>

// "identify: 3 of 10 files" on one line of standard error, rewritten in place.
// Shown only when standard error is a terminal and the user did not ask for
// quiet; otherwise every call does nothing.
class HLVProgressLine
{
public:
    explicit HLVProgressLine(bool enabled);
    ~HLVProgressLine();

    bool isEnabled() const { return _enabled; }
    void show(const QString& label, qsizetype done, qsizetype total);
    // Wipes the line, so that what follows starts on a clean one.
    void clear();

    // True when standard error is a terminal.
    static bool standardErrorIsTerminal();

private:
    bool _enabled;
    bool _shown = false;
};
