#include "HLVUpdateChecker.h"

#include "HLVDataRequest.h"
#include "HLVMakerPages.h"
#include "HLVServiceConfiguration.h"

#include <QCoreApplication>
#include <QNetworkRequest>
#include <QRegularExpression>

namespace {

struct HLVDecimal
{
    QString whole;    // no leading zeros
    QString fraction; // no trailing zeros
};

std::optional<HLVDecimal> parseDecimal(const QString& text)
{
    static const QRegularExpression pattern(QStringLiteral("^(\\d+)(?:\\.(\\d+))?$"));
    const QRegularExpressionMatch match = pattern.match(text.trimmed());
    if (!match.hasMatch())
        return std::nullopt;
    HLVDecimal decimal{match.captured(1), match.captured(2)};
    while (decimal.whole.size() > 1 && decimal.whole.startsWith(QLatin1Char('0')))
        decimal.whole.remove(0, 1);
    while (decimal.fraction.endsWith(QLatin1Char('0')))
        decimal.fraction.chop(1);
    return decimal;
}

} // namespace

QUrl HLVUpdateChecker::LatestVersionURL()
{
    return QUrl(HLVServiceConfiguration::versionFileAddress());
}

QUrl HLVUpdateChecker::UpdateDownloadURL()
{
    return HLVMakerPages::downloadAddress();
}

bool HLVUpdateChecker::isVersionNewer(const QString& fetched, const QString& running)
{
    const auto latest = parseDecimal(fetched);
    const auto current = parseDecimal(running);
    if (!latest || !current)
        return false;
    // Compared digit by digit, so no number is too long or too fine for a double.
    if (latest->whole.size() != current->whole.size())
        return latest->whole.size() > current->whole.size();
    if (latest->whole != current->whole)
        return latest->whole > current->whole;
    const qsizetype digits = std::max(latest->fraction.size(), current->fraction.size());
    return latest->fraction.leftJustified(digits, QLatin1Char('0'))
        > current->fraction.leftJustified(digits, QLatin1Char('0'));
}

QString HLVUpdateChecker::runningVersion()
{
    return QCoreApplication::applicationVersion().section(QLatin1Char('.'), 0, 1);
}

HLVUpdateChecker::Check HLVUpdateChecker::check()
{
    QNetworkRequest request(LatestVersionURL());
    request.setHeader(QNetworkRequest::UserAgentHeader, HLVServiceConfiguration::userAgent());
    std::optional<HLVURLResponse> response;
    std::optional<HLVRequestError> error;
    const std::optional<QByteArray> body = HLVDataRequest::sendSynchronousReturningResponse(request, response, error);
    Check result;
    if (!body || !response) {
        result.failure = error && !error->message.isEmpty() ? error->message
                                                            : QCoreApplication::translate("HLVUpdateChecker", "the update server could not be reached");
    } else if (response->statusCode != 200) {
        result.failure = QCoreApplication::translate("HLVUpdateChecker", "the update server answered with status %1").arg(response->statusCode);
    } else if (body->size() > 1024 || !parseDecimal(QString::fromUtf8(*body))) {
        result.failure = QCoreApplication::translate("HLVUpdateChecker", "the update server's answer is not a version number");
    } else {
        result.available = isVersionNewer(QString::fromUtf8(*body), runningVersion());
    }
    return result;
}
