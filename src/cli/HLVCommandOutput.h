#pragma once

#include "HLVFileDetails.h"
#include "HLVJsonWriter.h"
#include "HLVTagMap.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

class HLVFileData;

// What cadrelle-cli prints on standard output, in one of its two forms: tab-
// separated text, one block per file, or (with --json) one JSON array whose
// elements are added per file and printed by finish().
class HLVCommandOutput
{
public:
    explicit HLVCommandOutput(bool json);

    // The show command's block for one file, in either form (with details,
    // the file's own details follow the tags). Blocks of many files can be put
    // together on several threads and then added in order.
    static QByteArray showBlock(bool json, const HLVFileData& record, const HLVTagMap& tags, int missingTagScore,
                                const HLVFileDetails* details = nullptr);
    void addBlock(const QByteArray& block);
    // The identify command's block: the outcome, the candidates, and whether
    // it was saved (only when the candidate was applied).
    void identifiedFile(const HLVFileData& record, const QString& outcome,
                        const QList<std::shared_ptr<HLVTagMap>>& candidates, std::optional<bool> saved);
    // A plain text line of columns (commands without a JSON form).
    static void printLine(const QStringList& columns);
    // Prints the JSON array; nothing in the text form.
    void finish();

    static void print(const QByteArray& text);
    // One line of tab-separated columns, escaped so values stay on their line.
    static QByteArray line(const QStringList& columns);

private:
    bool _json;
    HLVJsonWriter _writer;
};
