// The town's two scene files loaded again while the viewer runs. The new
// scenes replace the shown ones only when both load; whichever pair is
// dropped (the new on failure, the old on success) gives back its GPU
// objects, its pixel copies and the heap they took, so reloading again and
// again keeps the viewer's memory where it was.
#pragma once

// True when both files loaded and are shown now. On failure prints which
// file did not load and the importer's reason; the scenes shown stay.
bool reloadScenes();
