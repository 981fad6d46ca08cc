#pragma once

#include <set>
#include <string>

// File names made from another file's path: the exports that write several
// files from one chosen path (the chosen path without its extension, a part
// per cluster or sample, and a suffix) and the caches kept beside a data file.
// Parts come from names the user can edit, so they are made safe, and names
// already handed out are never handed out again, so that no file of the same
// export overwrites another.
//
// A path is split at its last '/' only: the folder is everything up to and
// including it, the file name what follows, and the extension starts at the
// last '.' of the file name.
class MCV_ExportNames {
public:
    // The folder of `path` with its trailing '/'; empty when the path has no '/'.
    static std::string folder(const std::string& path);
    // The file name of `path`: the text after its last '/', all of it without one.
    static std::string fileName(const std::string& path);
    // `path` without the last '.' of its file name and what follows
    // (unchanged when the file name has no '.'); a '.' in a folder's name is
    // not a suffix.
    static std::string base(const std::string& path);
    // The text after the last '.' of the file name (the part after the last
    // '/'), or empty when the file name has no '.'.
    static std::string extension(const std::string& path);
    // Whether the extension is "fcs" in any case.
    static bool isFcs(const std::string& path);
    // A name usable inside a file name: '/', '\' and NUL become '_', so that a
    // name cannot lead out of the chosen folder.
    static std::string component(const std::string& text);

    // `stem` + `suffix`, or, when that was already handed out by this object,
    // `stem` + "-" + k + `suffix` for the first free k from 2.
    std::string unique(const std::string& stem, const std::string& suffix);

private:
    std::set<std::string> m_used;
};
