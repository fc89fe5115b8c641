// Noticing that files on disk changed, without a notification API: the
// viewer looks a few times a second at the name, size, modification time and
// inode of every file below some folders.
//
// A change is reported only once the folders look the same on two looks in
// a row, so a file caught half-written (an editor saving, the town generator
// writing its textures one by one) is not picked up until the writer is done.
#pragma once

#include <string>
#include <vector>

struct FolderWatch {
    std::vector<std::string> folders;
    std::vector<std::string> extensions;  // ".frag" and the like; empty: every file
    std::string accepted;  // what is in use
    std::string lastSeen;  // what the previous look saw
};

// One line per regular file below the folders (symbolic links followed)
// whose name ends in one of the extensions (any, when there are none),
// sorted; an empty text for folders that are missing or empty.
std::string folderFingerprint(const FolderWatch& watch);

// A watch that takes what is there now as accepted. Extensions keep an
// editor's swap and backup files beside the shaders from counting as changes.
FolderWatch watchFolders(const std::vector<std::string>& folders, const std::vector<std::string>& extensions = {});

// One look. True when the folders differ from what was accepted and looked
// the same at the previous look; what they hold now is then accepted, so one
// change is reported once, whatever the caller makes of it.
bool foldersChanged(FolderWatch& watch);

// The regular files below folder with one of the extensions (any, when
// there are none), as paths that start with folder, sorted.
std::vector<std::string> filesBelow(const std::string& folder, const std::vector<std::string>& extensions = {});
