#pragma once

#include "HLVFileNameStructure.h"
#include "HLVTagMap.h"

#include <QList>
#include <memory>
#include <optional>

class HLVFileData;

// The name a file would get from a naming structure and its stored tags, and
// what a rename of several files would do: the one rule shared by the record's
// rename, the rename dialog's preview and the command line.
namespace HLVRenamingPlan {

// The text of one structure component (numbers of 0 count as absent).
std::optional<QString> valueForIdentifier(const HLVTagMap& tags, int identifier);
// The components that have a value, joined by " - "; absent when none has.
std::optional<QString> fileName(const HLVTagMap& tags, const std::optional<HLVFileNameStructure>& structure);
// The path in the file's folder with the cleaned name and the file's extension;
// absent when the tags give no usable name. Says nothing about whether it is free.
std::optional<QString> renamedFilePath(const QString& currentPath, const HLVTagMap& tags,
                                       const std::optional<HLVFileNameStructure>& structure);

// Whether moving the file at from to target would meet something already
// there: any file, folder or symbolic link (a dangling one too), except the
// file itself under a name that differs only in letter case (on a disk that
// ignores case), which a rename may change.
bool isTaken(const QString& target, const QString& from);

enum class Outcome {
    Rename,       // target is where the file goes
    NoName,       // its tags give no name for the structure
    AlreadyNamed, // it is so named already
    Taken,        // target is taken, by another file or by an earlier rename of the plan
};

struct Step
{
    std::shared_ptr<HLVFileData> record;
    QString from;
    std::optional<QString> target; // absent for NoName
    Outcome outcome = Outcome::NoName;
};

// What renaming the records in order would do, as the rename queue runs them:
// a later file cannot take a name an earlier one takes, and may take one an
// earlier one leaves. Reads the records' tags and looks at the disk, so never
// on the main thread.
QList<Step> plan(const QList<std::shared_ptr<HLVFileData>>& records,
                 const std::optional<HLVFileNameStructure>& structure);

} // namespace HLVRenamingPlan
