#pragma once

#include "HLVDataRequest.h"
#include "HLVRecordingReleasesGroup.h"
#include "HLVXMLParser.h"

#include <QByteArray>
#include <QStringList>
#include <memory>
#include <mutex>
#include <optional>

class HLVGenreValidator;

class HLVRecordingReleasesDelegate
{
public:
    virtual ~HLVRecordingReleasesDelegate() = default;
    // Exactly once per query; null, with the reason, when nothing usable was found. Any thread.
    virtual void OnRecordingReleasesObtained(const std::shared_ptr<HLVRecordingReleasesGroup>& group,
                                             const std::optional<HLVFailure>& failure) = 0;
};

// Asks MusicBrainz on which releases a recording was issued and answers the
// acceptable ones, ordered, as an HLVRecordingReleasesGroup.
//
// Create with std::make_shared (the object is the delegate of its own web
// requests). One query at a time: start the next only after the delegate has
// heard the previous one. The first attempt searches the recording by artist and
// title with strict filters at serverAddress(); when it fails or yields nothing,
// a looser search by recording identifier goes to the fallback address. The
// request layer's MusicBrainz gate keeps the requests a second apart.
class HLVRecordingReleases : public HLVDataRequestDelegate,
                             public HLVXMLParserDelegate,
                             public std::enable_shared_from_this<HLVRecordingReleases>
{
public:
    HLVRecordingReleases();
    ~HLVRecordingReleases() override;

    void setDelegate(std::weak_ptr<HLVRecordingReleasesDelegate> delegate);

    // Queries and returns at once; the answer comes through the delegate.
    void ObtianRecordingReleasesWithRecordingMBID(const std::optional<QString>& recordingMBID,
                                                  const std::optional<QString>& trackName,
                                                  const std::optional<QString>& artistMBID);

    // Path and query of the first attempt.
    static QString createApiStringForTrackNamed(const std::optional<QString>& trackName,
                                                const std::optional<QString>& artistId);
    // Path and query of the fallback attempt.
    static QString fallbackApiStringForRecording(const QString& recordingMBID);

    // Request-layer callbacks; answers to a request that is no longer awaited are ignored.
    void dataRequestDidFailWithError(HLVRequestToken token, const HLVRequestError& error) override;
    void dataRequestDidReceiveResponse(HLVRequestToken token, const std::optional<HLVURLResponse>& response) override;
    void dataRequestDidReceiveData(HLVRequestToken token, const std::optional<QByteArray>& data) override;
    void dataRequestFinishedLoading(HLVRequestToken token) override;

    // Parser callbacks, for the reply being read.
    void parserDidStartDocument() override;
    void parserDidStartElement(const QString& elementName, const QXmlStreamAttributes& attributes) override;
    void parserFoundCharacters(const QString& string) override;
    void parserDidEndElement(const QString& elementName) override;
    void parserDidEndDocument() override;

private:
    // These run with _mutex held. They answer true when a request was sent.
    bool sendRequestToApi(const QString& apiString, bool canFallBack);
    bool obtainRecordingReleasesFallback();
    // Parses the reply into the group; false when it is not a well-formed document.
    bool parseResponse(const QByteArray& data);
    void acceptCurrentRelease();
    QString enclosingElement() const;

    void tellDelegate(const std::shared_ptr<HLVRecordingReleasesGroup>& group,
                      const std::optional<HLVFailure>& failure = std::nullopt);
    // The reason of a failed attempt (with _mutex held).
    std::optional<HLVFailure> attemptFailure(const std::optional<HLVFailure>& requestFailure) const;

    std::optional<QByteArray> _responseData;
    std::shared_ptr<HLVRecordingReleasesGroup> _recordingReleasesGroup;
    std::shared_ptr<HLVRecordingRelease> _currentRecordingRelease;
    std::optional<QString> _currentReleaseStatus;
    std::unique_ptr<HLVGenreValidator> _genreValidator;
    bool _canFallBack = false;
    HLVRequestToken _requestToken = 0;   // 0 while no answer is awaited
    int _responseCode = 200;
    std::optional<HLVURLResponse> _response;   // of the request awaited, for the failure reason
    QString _apiString;
    std::optional<QString> _currentReleaseType;
    QStringList _elementStack;
    QList<std::shared_ptr<HLVRecordingRelease>> _potentialReleases;
    QString _buffer;
    bool _artistIdMatch = false;
    std::optional<QString> _recordingMBID;
    std::optional<QString> _recordingTitle;
    std::weak_ptr<HLVRecordingReleasesDelegate> _delegate;

    HLVXMLParser* _parser = nullptr;   // the parser running, to stop it early
    // The request layer answers on its own threads while the next query may start
    // on the caller's; every field is touched with this held.
    std::mutex _mutex;
};
