#pragma once

#include "HLVBenchCorpus.h"

#include <QList>
#include <QString>

// Quitting the real window (offscreen) while work is in flight, timed from
// Quit until the program could end (window closed, work stopped, controller
// gone): during the listing of a folder of count files (ui.quit_listing_s),
// and during a save that waits for a cover from a service that never answers
// (ui.quit_silent_service_s). False when a check failed.
bool runQuit(HLVBenchCorpus& corpus, const QString& folder, int count, const QList<HLVBenchCorpus::Entry>& tagged);
