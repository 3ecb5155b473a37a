// Test support: the settings.vdat writer and small file helpers.
#include "support/index_writer.h"

#include "context/context.h"

#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace testsupport {

SettingsSpec &SettingsSpec::set(const std::string &key, long long value) {
    remove(key);
    keys.emplace_back(key, std::to_string(value));
    return *this;
}

SettingsSpec &SettingsSpec::set_text(const std::string &key, const std::string &value) {
    remove(key);
    keys.emplace_back(key, "\"" + value + "\"");
    return *this;
}

SettingsSpec &SettingsSpec::remove(const std::string &key) {
    for (size_t i = 0; i < keys.size(); i++)
        if (keys[i].first == key) {
            keys.erase(keys.begin() + (long)i);
            break;
        }
    return *this;
}

SettingsSpec default_settings() {
    SettingsSpec spec;
    for (int i = 0; i < kStrTextCount; i++)
        spec.texts[interface_text_key(i)] = default_interface_text(i);
    // Without a match limit every search would stop before its first word.
    spec.set("MaxMatches", 10000);
    return spec;
}

std::string settings_text(const SettingsSpec &spec) {
    SettingsFileOut file;
    file.keys = spec.keys;
    file.texts.assign(spec.texts.begin(), spec.texts.end());
    file.categories = spec.categories;
    file.meta_fields = spec.meta_fields;
    file.accent_chars = spec.accent_chars;
    file.normal_chars = spec.normal_chars;
    file.extra_lines = spec.extra_lines;
    file.line_end = spec.line_end;
    return settings_file_text(file);
}

std::string make_temp_dir(const std::string &prefix) {
    const char *base = getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr ? base : "/tmp") + "/" + prefix + "XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    return buffer.data();
}

void write_file(const std::string &dir, const std::string &name, const std::string &bytes) {
    std::ofstream out(dir + "/" + name, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), (std::streamsize)bytes.size());
    if (!out) throw std::runtime_error("cannot write " + dir + "/" + name);
}

std::string read_file(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void write_settings(const std::string &dir, const SettingsSpec &spec) {
    write_file(dir, "settings.vdat", settings_text(spec));
}

void remove_tree(const std::string &dir) {
    if (dir.empty() || dir == "/") return;
    std::string command = "rm -rf '" + dir + "'";
    if (system(command.c_str()) != 0) fprintf(stderr, "cannot remove %s\n", dir.c_str());
}

}  // namespace testsupport
