#include "HLVCommandState.h"
#include "HLVFileData.h"
#include "HLVFileManager.h"

namespace {

// Batches that change the files' tags or names: nothing else may touch them meanwhile.
bool editsFiles(int operation)
{
    return operation == HLVFileOperationSaving || operation == HLVFileOperationArtwork
        || operation == HLVFileOperationIdentifying || operation == HLVFileOperationRenaming;
}

} // namespace

void HLVCommandState::describeSelection(Inputs& inputs, const QList<std::shared_ptr<HLVFileData>>& selected)
{
    describeSelection(inputs, selected.size(), [&selected](qsizetype i) { return selected[i]; });
}

void HLVCommandState::describeSelection(Inputs& inputs, qsizetype count,
                                        const std::function<std::shared_ptr<HLVFileData>(qsizetype)>& recordAt)
{
    inputs.selected = count;
    inputs.anySelectedModified = false;
    inputs.anySelectedEditable = false;
    // This runs on every notice: it stops at the first record that settles
    // both, and looks from the end, since a save goes through the files in
    // order and the last ones stay modified longest.
    for (qsizetype i = count - 1; i >= 0; --i) {
        const auto record = recordAt(i);
        if (!record)
            continue;
        inputs.anySelectedModified = inputs.anySelectedModified || record->IsModified();
        inputs.anySelectedEditable = inputs.anySelectedEditable || record->canBeEdited();
        if (inputs.anySelectedModified && inputs.anySelectedEditable)
            break;
    }
}

HLVCommandState HLVCommandState::forInputs(const Inputs& inputs)
{
    HLVCommandState state;
    const int operation = inputs.operation;
    const bool idle = operation == HLVFileOperationNone;
    const bool editing = editsFiles(operation);
    const bool removing = operation == HLVFileOperationRemoving;
    const bool any = inputs.selected > 0;
    state.addFiles = idle;
    state.save = !editing && !removing && inputs.anySelectedModified;
    state.revert = state.save;
    // Tags may be edited while files are still being added.
    state.downloadTags = !editing && !removing && any && inputs.anySelectedEditable;
    state.removeTags = state.downloadTags;
    state.syncArtwork = idle && any;
    state.rename = idle && any;
    state.removeSelection = idle && any;
    state.selectAll = !removing && inputs.listed > 0;
    state.filters = inputs.added > 0 && !(operation >= HLVFileOperationSaving && operation <= HLVFileOperationFiltering);
    return state;
}
