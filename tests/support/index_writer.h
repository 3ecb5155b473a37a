// Test support: writes index directories (settings.vdat, template, index files)
// for unit and end-to-end tests. Not part of the program.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "context/settings_writer.h"

namespace testsupport {

// One custom meta field of the metafields block (the settings writer's record).
using MetaFieldSpec = MetaFieldOut;

// Everything settings.vdat says. Lines are written in this order: the key lines
// (in insertion order of `keys`), the interface texts, the accent lines, the
// catnames and metafields blocks, `extra_lines`.
struct SettingsSpec {
    std::vector<std::pair<std::string, std::string>> keys;  // key, raw value text
    std::map<std::string, std::string> texts;               // STR_ key -> text (all 49 by default)
    std::vector<std::string> categories;                    // catnames block when not empty
    std::vector<MetaFieldSpec> meta_fields;                 // metafields block when not empty
    std::vector<std::string> accent_chars, normal_chars;    // accent lines when not empty
    std::vector<std::string> extra_lines;                   // written verbatim at the end
    std::string line_end = "\n";                            // "\n" or "\r\n"

    // Sets an integer key (replacing an earlier one of the same name).
    SettingsSpec &set(const std::string &key, long long value);
    // Sets a text key: written as key = "value".
    SettingsSpec &set_text(const std::string &key, const std::string &value);
    // Removes a key line.
    SettingsSpec &remove(const std::string &key);
};

// A SettingsSpec with every interface text set to a short readable default.
SettingsSpec default_settings();
// The text of settings.vdat for spec.
std::string settings_text(const SettingsSpec &spec);

// Creates a fresh empty directory under the system's temporary directory.
std::string make_temp_dir(const std::string &prefix);
// Writes bytes to dir/name (binary).
void write_file(const std::string &dir, const std::string &name, const std::string &bytes);
// Reads a whole file ("" when missing).
std::string read_file(const std::string &path);
// Writes settings.vdat for spec into dir.
void write_settings(const std::string &dir, const SettingsSpec &spec);
// Removes a directory tree.
void remove_tree(const std::string &dir);

}  // namespace testsupport
