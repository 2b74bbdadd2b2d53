#pragma once

#include "HLVFileNameStructure.h"
#include "HLVTagMap.h"

#include <optional>

// The name a file would get from a naming structure and its stored tags,
// shared by the record's rename and the command line's preview.
namespace HLVRenamingPlan {

// The text of one structure component (numbers of 0 count as absent).
std::optional<QString> valueForIdentifier(const HLVTagMap& tags, int identifier);
// The components that have a value, joined by " - "; absent when none has.
std::optional<QString> fileName(const HLVTagMap& tags, const std::optional<HLVFileNameStructure>& structure);
// The path in the file's folder with the cleaned name and the file's extension;
// absent when the tags give no usable name. Says nothing about whether it is free.
std::optional<QString> renamedFilePath(const QString& currentPath, const HLVTagMap& tags,
                                       const std::optional<HLVFileNameStructure>& structure);

} // namespace HLVRenamingPlan
