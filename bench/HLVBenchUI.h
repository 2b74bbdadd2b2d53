#pragma once

#include "HLVBenchCorpus.h"

#include <QList>
#include <QString>

// The file list over a real file manager, offscreen: adding a folder of files
// (the entries) until the list shows them all and until every tag column is
// filled (against a bare TagLib loop over the same files), sorting by album,
// selecting all until the selection has been handed on for display, and
// switching filters. Prints ui.* figures; false when a check failed.
bool runUI(const QString& folder, const QList<HLVBenchCorpus::Entry>& entries);
