#include "folder_watch.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

std::vector<std::string> filesBelow(const std::string& folder, const std::vector<std::string>& extensions) {
    std::vector<std::string> files;
    std::error_code error;
    fs::recursive_directory_iterator it(folder, error), end;
    for (; !error && it != end; it.increment(error)) {
        std::error_code typeError;
        if (!it->is_regular_file(typeError)) continue;
        const std::string extension = it->path().extension().string();
        if (!extensions.empty() && std::find(extensions.begin(), extensions.end(), extension) == extensions.end()) {
            continue;
        }
        files.push_back(it->path().string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::string folderFingerprint(const FolderWatch& watch) {
    std::string text;
    for (const std::string& folder : watch.folders) {
        for (const std::string& file : filesBelow(folder, watch.extensions)) {
            struct stat info {};
            // Gone between the listing and this look: the next look sees that.
            if (stat(file.c_str(), &info) != 0) continue;
            text += file + ' ' + std::to_string(info.st_size) + ' ' + std::to_string(info.st_mtim.tv_sec) + '.' +
                    std::to_string(info.st_mtim.tv_nsec) + ' ' + std::to_string(info.st_ino) + '\n';
        }
    }
    return text;
}

FolderWatch watchFolders(const std::vector<std::string>& folders, const std::vector<std::string>& extensions) {
    FolderWatch watch;
    watch.folders = folders;
    watch.extensions = extensions;
    watch.accepted = folderFingerprint(watch);
    watch.lastSeen = watch.accepted;
    return watch;
}

bool foldersChanged(FolderWatch& watch) {
    const std::string now = folderFingerprint(watch);
    const bool settled = now == watch.lastSeen;
    watch.lastSeen = now;
    if (!settled || now == watch.accepted) return false;
    watch.accepted = now;
    return true;
}
