// Publishing an index under a symlink: each run writes a new folder beside
// the link and switches the link to it with one atomic rename, so that a
// search reads either the old index or the new one, never a mixture, and a
// run that stops early leaves the published index as it was.
#pragma once

#include <string>

namespace indexer {

// The folders of one publishing run.
struct PublishPlan {
    std::string link;    // the symlink that names the published index
    std::string folder;  // the new index's folder, beside the link: LINK.<UTC time>
    std::string work;    // where the index is written first: folder + ".partial"
};

// Plans a run for link: checks that link is a symlink or absent (a real
// folder or file there is refused) and picks a new folder name that is not
// taken. Creates nothing. False with *error when the link cannot be used.
bool plan_publish(const std::string &link, long long now, PublishPlan *plan, std::string *error);

// Flushes every file of the work folder to disk, renames it to the plan's
// folder and points the link at it (a symlink under a temporary name renamed
// over the link). The previous index stays where it was. Afterwards the new
// files are read ahead into the page cache once. False with *error when a
// step fails; the link is then unchanged.
bool switch_published(const PublishPlan &plan, std::string *error);

// The folder the link names now ("" when it names none).
std::string published_folder(const std::string &link);

}  // namespace indexer
