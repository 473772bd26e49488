// File searches whose patterns are match rules: one folder, or a folder tree breadth first.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace files {

// Lists the folder named by `pattern` through the Win32 find functions. A plain pattern
// (C:\dir\*.txt) is the listing mask itself. A pattern with a match prefix ("<wc>", "<substr>",
// "<bool>", "<bm>") lists its folder whole and keeps the entries whose full path satisfies the
// whole rule, letter case ignored; after "<regexpr>" the path separators are written as doubled
// backslashes and the part after the last of them is the name expression. Result form 0 gives
// names, 1 folder + name, anything else nothing. "." and ".." are kept when the mask lists them.
// An invalid regular expression throws std::regex_error.
std::vector<std::string> FindFiles(std::string_view pattern, bool includeFiles, bool includeFolders,
                                   int resultForm);

// The same search over the pattern's folder and, when `walkSubfolders`, every folder below it,
// breadth first. Per folder its files come before its folders; results are full paths or paths
// relative to the pattern's folder.
std::vector<std::string> FindFilesTree(std::string_view pattern, bool includeFiles, bool includeFolders,
                                       bool walkSubfolders, bool fullPaths);

}  // namespace files
