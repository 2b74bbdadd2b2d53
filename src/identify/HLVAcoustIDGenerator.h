#pragma once

#include "HLVFailure.h"

#include <QByteArray>
#include <QString>
#include <optional>

// Told the outcome of one run of the fingerprinting tool: the fingerprint and
// duration texts, or both absent and the reason.
class HLVAcoustIDGeneratorDelegate
{
public:
    virtual ~HLVAcoustIDGeneratorDelegate() = default;
    virtual void OnFingerprintGenerated(const std::optional<QString>& fingerprint,
                                        const std::optional<QString>& duration,
                                        const std::optional<HLVFailure>& failure) = 0;
};

// Runs Chromaprint's fpcalc on one file and reads the fingerprint and the
// duration from its output (standard output and error merged). The tool is the
// "fpcalc" beside the program's executable; tests may name another one.
class HLVAcoustIDGenerator
{
public:
    HLVAcoustIDGenerator();

    HLVAcoustIDGeneratorDelegate* delegate() const { return _delegate; }
    void setDelegate(HLVAcoustIDGeneratorDelegate* delegate) { _delegate = delegate; }

    const QString& toolPath() const { return _toolPath; }
    void setToolPath(const QString& toolPath) { _toolPath = toolPath; }
    static QString defaultToolPath();

    // Runs the tool on the calling thread and reports before returning. Nothing
    // happens without a delegate; an absent path or an .m4p file is reported as a
    // failure without starting the tool.
    void generateFingerprintForFileAtPath(const std::optional<QString>& path);

    struct ToolOutput
    {
        std::optional<QString> fingerprint;
        std::optional<QString> duration;
    };
    // Both values from the tool's output, or neither: the output must be UTF-8 and
    // hold both markers. The last line with a marker wins; values are not trimmed.
    static ToolOutput parseToolOutput(const QByteArray& output);

    // A tool still running after this long is stopped and counts as a failure.
    static constexpr int toolTimeLimitMs = 120000;

private:
    HLVAcoustIDGeneratorDelegate* _delegate = nullptr;
    QString _toolPath;
};
