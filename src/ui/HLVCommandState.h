#pragma once

#include <QList>
#include <functional>
#include <memory>

class HLVFileData;

// Which commands on files can run now: the one rule behind the menus, the
// file list's context menu and the editor's control bar, so that they never
// disagree. Cheap enough to ask on every notice (it looks at flags only).
struct HLVCommandState
{
    struct Inputs
    {
        qsizetype selected = 0;         // files selected (or shown in the editor)
        qsizetype listed = 0;           // files in the list the user sees
        qsizetype added = 0;            // files added, whatever the list shows
        bool anySelectedModified = false;
        bool anySelectedEditable = false; // one of them can be written
        int operation = 0;              // the batch running (HLVFileOperation)
    };
    // The selection's part of the inputs, from its records.
    static void describeSelection(Inputs& inputs, const QList<std::shared_ptr<HLVFileData>>& selected);
    // The same from count records that recordAt(i) answers (null for none).
    static void describeSelection(Inputs& inputs, qsizetype count,
                                  const std::function<std::shared_ptr<HLVFileData>(qsizetype)>& recordAt);
    static HLVCommandState forInputs(const Inputs& inputs);

    bool addFiles = false;
    bool save = false;     // Save Selection, Save Changes, the Save button
    bool revert = false;   // Revert Selection, Undo Changes, the Undo button
    bool downloadTags = false;
    bool removeTags = false;
    bool syncArtwork = false;
    bool rename = false;
    bool removeSelection = false;
    bool selectAll = false;
    bool filters = false;
};
