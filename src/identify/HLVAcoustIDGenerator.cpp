#include "HLVAcoustIDGenerator.h"

#include "HLVTagValueParser.h"

#include <QCoreApplication>
#include <QProcess>
#include <QStringDecoder>

HLVAcoustIDGenerator::HLVAcoustIDGenerator() : _toolPath(defaultToolPath()) {}

QString HLVAcoustIDGenerator::defaultToolPath()
{
    if (!QCoreApplication::instance())
        return QString();
    return QCoreApplication::applicationDirPath() + QLatin1String("/fpcalc");
}

HLVAcoustIDGenerator::ToolOutput HLVAcoustIDGenerator::parseToolOutput(const QByteArray& output)
{
    static const QString durationMarker = QStringLiteral("DURATION=");
    static const QString fingerprintMarker = QStringLiteral("FINGERPRINT=");

    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder.decode(output);
    if (decoder.hasError() || !text.contains(durationMarker) || !text.contains(fingerprintMarker))
        return {};

    ToolOutput result;
    for (QString line : text.split(QLatin1Char('\n'))) {
        if (line.contains(durationMarker))
            result.duration = line.remove(durationMarker);
        else if (line.contains(fingerprintMarker))
            result.fingerprint = line.remove(fingerprintMarker);
    }
    // Both markers on one line leave one value unset: that output is not the tool's.
    if (!result.fingerprint || !result.duration)
        return {};
    return result;
}

void HLVAcoustIDGenerator::generateFingerprintForFileAtPath(const std::optional<QString>& path)
{
    if (!_delegate)
        return;
    using Kind = HLVFailure::Kind;
    const auto fail = [this](Kind kind, const QString& message) {
        _delegate->OnFingerprintGenerated(std::nullopt, std::nullopt, HLVFailure::make(kind, message));
    };
    if (!path)
        return fail(Kind::FileMissing, QStringLiteral("the file has no path"));
    if (HLVTagValueParser::pathExtension(*path).compare(QLatin1String("m4p"), Qt::CaseInsensitive) == 0)
        return fail(Kind::Other, QStringLiteral("protected .m4p files cannot be fingerprinted"));
    if (_toolPath.isEmpty())
        return fail(Kind::FingerprinterMissing, QStringLiteral("fpcalc was not found"));

    // A path that starts with a dash would read as an option of the tool.
    const QString argument = path->startsWith(QLatin1Char('-')) ? QLatin1String("./") + *path : *path;
    QProcess tool;
    tool.setProcessChannelMode(QProcess::MergedChannels);
    tool.setProgram(_toolPath);
    tool.setArguments({argument});
    tool.start(QIODevice::ReadOnly);
    if (!tool.waitForStarted())
        return fail(Kind::FingerprinterMissing, QStringLiteral("fpcalc was not found"));
    if (!tool.waitForFinished(toolTimeLimitMs)) {
        tool.kill();
        tool.waitForFinished();
        return fail(Kind::TimedOut, QStringLiteral("fpcalc took too long"));
    }
    const ToolOutput output = parseToolOutput(tool.readAll());
    if (!output.fingerprint || output.fingerprint->trimmed().isEmpty())
        return fail(Kind::FingerprintEmpty, QStringLiteral("fpcalc found no fingerprint in the file"));
    _delegate->OnFingerprintGenerated(output.fingerprint, output.duration, std::nullopt);
}
