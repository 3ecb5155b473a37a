// The template files an index directory gets beside its index files: the
// page template with its style sheets and scripts, either built into the
// program (every file of examples/template, the example site's template) or
// read from a folder the webmaster names.
#pragma once

#include <stddef.h>

#include <string>
#include <utility>
#include <vector>

namespace indexer {

// One file built into the program.
struct EmbeddedFile {
    const char *name;  // file name (no folder); null ends the table
    const unsigned char *bytes;
    size_t size;
};

// The built-in files, ended by an entry with a null name. Defined by the
// source that the build generates (cmake/embed_files.cmake).
const EmbeddedFile *built_in_template_files();

using NamedFile = std::pair<std::string, std::string>;  // name, bytes

// The built-in files as name and bytes, in name order.
std::vector<NamedFile> built_in_template();

// Every regular file of folder whose name does not end in ".vdat" and does
// not begin with '.', in name order. False with *error when the folder cannot
// be read, a file cannot be read, or it holds no "search_template.html".
bool read_template_folder(const std::string &folder, std::vector<NamedFile> *files,
                          std::string *error);

}  // namespace indexer
