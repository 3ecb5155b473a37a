// Template files from a folder (see template_files.h).
#include "indexer/template_files.h"

#include <dirent.h>
#include <errno.h>
#include <string.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <sstream>

namespace indexer {

namespace {

const char kTemplateName[] = "search_template.html";
const char kIndexSuffix[] = ".vdat";

bool is_template_file(const std::string &name) {
    const size_t suffix = sizeof kIndexSuffix - 1;
    return name[0] != '.' && !(name.size() >= suffix &&
                               name.compare(name.size() - suffix, suffix, kIndexSuffix) == 0);
}

}  // namespace

std::vector<NamedFile> built_in_template() {
    std::vector<NamedFile> files;
    for (const EmbeddedFile *file = built_in_template_files(); file->name != nullptr; file++)
        files.emplace_back(file->name, std::string((const char *)file->bytes, file->size));
    std::sort(files.begin(), files.end());
    return files;
}

bool read_template_folder(const std::string &folder, std::vector<NamedFile> *files,
                          std::string *error) {
    DIR *dir = opendir(folder.c_str());
    if (dir == nullptr)
        return *error = "cannot read template folder " + folder + ": " + strerror(errno), false;
    std::vector<std::string> names;
    while (const struct dirent *entry = readdir(dir))
        if (is_template_file(entry->d_name)) names.push_back(entry->d_name);
    closedir(dir);
    std::sort(names.begin(), names.end());
    files->clear();
    for (const std::string &name : names) {
        const std::string path = folder + "/" + name;
        struct stat status;
        if (stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) continue;
        std::ifstream in(path, std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        if (!in) return *error = "cannot read template file " + path, false;
        files->emplace_back(name, bytes.str());
    }
    for (const NamedFile &file : *files)
        if (file.first == kTemplateName) return true;
    return *error = "template folder " + folder + " holds no " + kTemplateName, false;
}

}  // namespace indexer
