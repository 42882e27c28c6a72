// The setup folders of the temp root: each run claims a fresh one and marks
// it as in use by a file beside it (the folder's name + ".LCK") that it
// holds open, without delete sharing, for as long as the run lasts. A
// folder whose mark nobody holds any more was left by a run that was killed
// or lost power, and the next start removes it. A folder without the mark
// is never touched. The mark lies beside the folder so that the folder
// holds the package's files and nothing else.
#pragma once

#include <string>

// Removes, in one bounded pass, the setup folders of `tempRoot` whose mark
// exists and is not held; then makes a new setup folder there (the first
// free name for `timeOfDay`) and holds its mark. Returns the folder, or a
// name that does not exist when none could be made (the extraction then
// reports why, and nothing is removed at the end).
std::string ClaimSetupFolder(const std::string& tempRoot, unsigned timeOfDay);

// Lets go of the claimed folder's mark and deletes the folder. A folder that
// cannot be removed completely (a file of it held by another program) keeps
// a mark, so that a later start removes it.
void RemoveClaimedSetupFolder();
