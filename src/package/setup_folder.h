// The setup folders of the temp root: each run claims a fresh one and marks
// it as in use by a file beside it (the folder's name + ".LCK") that it
// holds open, without delete sharing, for as long as the run lasts. A
// folder whose mark nobody holds any more was left by a run that was killed
// or lost power, and the next start removes it. A folder without the mark
// is never touched. The mark lies beside the folder so that the folder
// holds the package's files and nothing else.
#pragma once

#include <string>

// The setup folder of the current run: the temporary folder + "SETUP_" +
// the low 16 bits of the launcher file's DOS date/time (+ "_2", ... when
// that name is taken). The first call of a run sweeps the stale setup
// folders of earlier runs, makes the folder and holds its mark; later calls
// give the same folder until RemoveSetupFolder. When no folder can be made
// it gives a name that does not exist (the extraction then reports why,
// and nothing is removed at the end).
std::string GetSetupFolder();

// Lets go of the mark and deletes the folder GetSetupFolder made (nothing
// when it made none). A folder that cannot be removed completely (a file of
// it held by another program) keeps a mark, so that a later start removes
// it. The next GetSetupFolder claims a fresh folder: a long-lived agent
// runs one update after another.
void RemoveSetupFolder();
