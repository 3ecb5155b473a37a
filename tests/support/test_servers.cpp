// Test support: starts each web server of the tests with its configuration of
// tests/e2e/servers/ (the server's own frame and the README's set-up that the
// frame includes), the @KEY@ fields filled in with the test's folders.
#include <errno.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "support/index_writer.h"
#include "support/run_program.h"
#include "support/web_server.h"

namespace testsupport {

const char *server_name(Server server) {
    switch (server) {
        case Server::kLighttpd:
            return "lighttpd";
        case Server::kApache:
            return "apache2";
        case Server::kNginx:
            return "nginx";
        case Server::kBusybox:
            return "busybox";
    }
    return "";
}

const std::vector<Server> &readme_servers() {
    static const std::vector<Server> servers = {Server::kLighttpd, Server::kApache, Server::kNginx};
    return servers;
}

std::string server_logs(const std::string &root) {
    std::string all;
    for (const char *name : {"server.out", "fcgiwrap.out", "lighttpd-error.log",
                             "apache2-error.log", "nginx-error.log"}) {
        std::string text = read_file(root + "/logs/" + name);
        if (!text.empty()) all += std::string("--- ") + name + "\n" + text;
    }
    return all;
}

namespace {
void make_folder(const std::string &path, mode_t mode) {
    mkdir(path.c_str(), mode);
    chmod(path.c_str(), mode);
}
}  // namespace

void finish_server_test(TestServer &server, const std::string &root) {
    server.stop();
    const std::string log = server_logs(root);
    EXPECT_EQ(log.find("Sanitizer"), std::string::npos) << log;
    EXPECT_EQ(log.find("runtime error"), std::string::npos) << log;
    remove_tree(root);
}

std::string copy_program(const std::string &root) {
    make_folder(root + "/bin", 0755);
    write_file(root + "/bin", "sitequery", read_file(program_path()));
    chmod((root + "/bin/sitequery").c_str(), 0755);
    return root + "/bin/sitequery";
}

std::string program_command(const std::string &program, const std::string &args) {
    std::string run = "exec ";
#ifdef SITEQUERY_EMULATOR
    run += std::string("'") + SITEQUERY_EMULATOR + "' ";
#endif
    return run + "'" + program + "' " + args;
}

std::string cgi_program_file(const std::string &program) {
#ifdef SITEQUERY_EMULATOR
    return std::string("#!/bin/sh\nexec '") + SITEQUERY_EMULATOR + "' -0 \"$0\" '" + program +
           "' \"$@\"\n";
#else
    return read_file(program);
#endif
}

namespace {

// Writes text to root/name, readable by the account a server serves as.
void put_config(const std::string &root, const std::string &name, const std::string &text) {
    write_file(root, name, text);
    chmod((root + "/" + name).c_str(), 0644);
}

// Whether a server listens on the unix socket at path.
bool unix_socket_accepts(const std::string &path) {
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0) return false;
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    bool connected = connect(fd, (sockaddr *)&address, sizeof address) == 0;
    close(fd);
    return connected;
}

// The fields every configuration may use, for the site of server.
std::map<std::string, std::string> site_fields(Server server, const ServerSite &site) {
    const std::string &root = site.root;
    std::map<std::string, std::string> fields = {{"ROOT", root},
                                                 {"DOCUMENT_ROOT", root + "/www"},
                                                 {"CGI_DIR", root + "/www/cgi-bin"},
                                                 {"CGI_PARENT", root + "/www"},
                                                 {"FCGIWRAP_SOCKET", root + "/run/fcgiwrap.socket"},
                                                 {"INDEX", root + "/index"},
                                                 {"USER", ""},
                                                 {"CGI_ENVIRONMENT", ""}};
    for (const auto &field : site.fields) fields[field.first] = field.second;
    Account account;
    const bool as_root = server_account(account);
    for (const auto &setting : sanitizer_settings()) {
        if (server == Server::kLighttpd)
            fields["CGI_ENVIRONMENT"] +=
                "\"" + setting.first + "\" => \"" + setting.second + "\", ";
        else if (server == Server::kApache)
            fields["CGI_ENVIRONMENT"] += "PassEnv " + setting.first + "\n";
    }
    if (as_root && server == Server::kApache)
        fields["USER"] =
            "User #" + std::to_string(account.uid) + "\nGroup #" + std::to_string(account.gid);
    if (as_root && server == Server::kNginx)
        fields["USER"] = "user " + account.name + " " + account.group + ";";
    const std::string site_name = std::string(server_name(server)) + "-" + site.site + ".conf";
    put_config(root, site_name, fill(read_file(kServersDir + site_name), fields));
    fields["SITE"] = root + "/" + site_name;
    return fields;
}

// The command line of server with its configuration written to root.
std::vector<std::string> server_command(Server server, const std::string &root,
                                        std::map<std::string, std::string> fields, int port) {
    fields["PORT"] = std::to_string(port);
    const std::string program =
        find_program(server == Server::kBusybox ? "busybox" : server_name(server));
    const std::string config = root + "/" + server_name(server) + ".conf";
    if (server == Server::kBusybox) {
        put_config(root, "busybox.conf", read_file(kServersDir + "busybox-httpd.conf"));
        return {program, "httpd",       "-f", "-p",  "127.0.0.1:" + fields["PORT"],
                "-h",    root + "/www", "-c", config};
    }
    put_config(root, std::string(server_name(server)) + ".conf",
               fill(read_file(kServersDir + server_name(server) + ".conf"), fields));
    if (server == Server::kLighttpd) return {program, "-D", "-f", config};
    if (server == Server::kApache) return {program, "-DFOREGROUND", "-f", config};
    return {program, "-e", root + "/logs/nginx-error.log", "-c", config};
}

// fcgiwrap on its socket in root/run, as the account nginx serves as, with
// eight processes to answer at once.
bool start_fcgiwrap(TestServer &test_server, const std::string &root, const std::string &socket) {
    Account account;
    const bool as_root = server_account(account);
    // fcgiwrap makes its socket in a folder that its account may write.
    make_folder(root + "/run", 0777);
    return test_server.start_helper(
        {find_program("fcgiwrap"), "-c", "8", "-s", "unix:" + socket}, root + "/logs/fcgiwrap.out",
        [&] { return unix_socket_accepts(socket); }, as_root ? &account : nullptr);
}

}  // namespace

bool start_server(Server server, TestServer &test_server, const ServerSite &site) {
    const std::string &root = site.root;
    make_folder(root + "/logs", 0755);
    std::map<std::string, std::string> fields;
    if (server != Server::kBusybox) fields = site_fields(server, site);
    if (server == Server::kApache) make_folder(root + "/apache", 0755);
    if (server == Server::kNginx) {
        make_folder(root + "/nginx", 0755);
        // The configuration's "include fastcgi_params" is Debian's file, found
        // beside the configuration.
        put_config(root, "fastcgi_params", read_file("/etc/nginx/fastcgi_params"));
        if (!start_fcgiwrap(test_server, root, fields["FCGIWRAP_SOCKET"])) return false;
    }
    const std::string program =
        find_program(server == Server::kBusybox ? "busybox" : server_name(server));
    return test_server.start(
        program, [&](int port) { return server_command(server, root, fields, port); },
        root + "/logs/server.out");
}

}  // namespace testsupport
