#pragma once

#include "HLVCommandState.h"

#include <QList>
#include <QObject>
#include <functional>

class QAbstractButton;
class QAction;
class QActionGroup;

// The window's commands on files, one QAction each, shared by the menus, the
// file list's context menu and the editor's control bar. refresh() is the one
// place that sets whether they are enabled, so that those never disagree.
// Whoever owns the set connects the actions to what they run.
class HLVWindowActions : public QObject
{
    Q_OBJECT
public:
    explicit HLVWindowActions(QObject* parent = nullptr);

    // What the commands act on now (the selection, the lists, the running
    // batch); asked at every refresh.
    using InputsSource = std::function<HLVCommandState::Inputs()>;
    void setInputsSource(InputsSource source) { _source = std::move(source); }
    // Works the state out from the inputs and applies it to every action.
    HLVCommandState refresh();
    const HLVCommandState& state() const { return _state; }

    // The button is enabled with the action and a click triggers it, unless
    // triggers is false (the button then runs its own variant of the command).
    static void bindButton(QAbstractButton* button, QAction* action, bool triggers = true);

    QList<QAction*> filters() const { return {filterAll, filterUntagged, filterPartiallyTagged, filterModified}; }

    QAction* const addFiles;
    QAction* const addFolder;
    QAction* const save;
    QAction* const revert;
    QAction* const downloadTags;
    QAction* const removeTags;
    QAction* const selectAll;
    QAction* const rename;
    QAction* const syncArtwork;
    QAction* const removeSelection;
    QAction* const find;
    QAction* const filterAll;
    QAction* const filterUntagged;
    QAction* const filterPartiallyTagged;
    QAction* const filterModified;

private:
    void apply(const HLVCommandState& state);

    InputsSource _source;
    HLVCommandState _state;
};
