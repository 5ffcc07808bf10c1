#pragma once

#include <string>
#include <vector>

namespace kurvex {

// The name filters of the Open and Merge dialogs, in order: one per Open
// group of the reader table, with its readers' extensions, then all files.
std::vector<std::string> OpenFileFilters();

// The entries of a "Name|*.a;*.b|...||" filter list as name filters of the
// form "Name (*.a *.b)", in order.
std::vector<std::string> NameFilters(const std::string& filterList);

// `path` with the first extension of `nameFilter` appended when its file name
// has no extension ("Text files (*.txt)" gives "run" the name "run.txt").
std::string WithFilterExtension(const std::string& path, const std::string& nameFilter);

}  // namespace kurvex
