// Test support: web servers of the end-to-end tests (lighttpd, Apache, nginx
// with fcgiwrap, busybox httpd) started in the foreground on 127.0.0.1 in a
// process group of their own with the configurations of tests/e2e/servers/,
// and the client that talks to them. Not part of the program.
#pragma once

#include <sys/types.h>

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

// The configurations of tests/e2e/servers/, with @KEY@ fields to fill.
extern const std::string kServersDir;

// One HTTP answer as the server sent it.
struct HttpResponse {
    int status = 0;
    std::map<std::string, std::string> headers;  // names in lower case
    std::string body;
    std::string raw;  // the whole answer, for failure messages
};

// The account a server started as root serves as (www-data, else nobody).
struct Account {
    uid_t uid = 0;
    gid_t gid = 0;
    std::string name, group;
};

void sleep_ms(int ms);
// Full path of an installed program ("" when none of the usual folders has it).
std::string find_program(const std::string &name);
// A port of 127.0.0.1 that was free a moment ago.
int free_port();
// Starts argv with exactly env, standard output and error appended to log, in
// a process group of its own (whose id is the process id), as the account as
// when given; -1 on failure.
pid_t spawn(const std::vector<std::string> &argv, const std::vector<std::string> &env,
            const std::string &log, const Account *as = nullptr);
// The account a server started by this process serves as: false when this
// process does not run as root (a server then keeps its user).
bool server_account(Account &account);
// Runs argv (standard error stays the test's) and returns its standard output.
std::string capture_output(const std::vector<std::string> &argv);
// Splits an HTTP answer into status, headers and body.
HttpResponse parse_response(const std::string &raw);
// text with every "@KEY@" of fields replaced by its value.
std::string fill(std::string text, const std::map<std::string, std::string> &fields);
// The sanitizer settings of the test run, for the CGI program.
std::vector<std::pair<std::string, std::string>> sanitizer_settings();

// A server process of a test and the helper processes it talks to: started
// by start_helper and start, each stopped by its process group id (with
// whatever it started) by stop or at the end of its life.
class TestServer {
   public:
    ~TestServer() { stop(); }
    // Starts a process the server needs (fcgiwrap) as the account as when
    // given, with its output in log, and waits until ready() holds; false
    // (after a test failure) when it does not start or never gets ready.
    bool start_helper(const std::vector<std::string> &argv, const std::string &log,
                      const std::function<bool()> &ready, const Account *as);
    // Starts the server that command(port) runs, with its output in log, and
    // waits until it accepts connections; tries a fresh port when another
    // process took the first. false (after a test failure when program is
    // "") when it does not start.
    bool start(const std::string &program,
               const std::function<std::vector<std::string>(int)> &command, const std::string &log);
    // Stops the server, then its helpers, each by its process group id, and
    // waits for each to end.
    void stop();
    int port() const { return port_; }

   private:
    pid_t pid_ = -1;
    int port_ = -1;
    std::vector<pid_t> helpers_;
};

// The web servers the tests run.
enum class Server { kLighttpd, kApache, kNginx, kBusybox };
// Its name, for messages and test names.
const char *server_name(Server server);
// The servers with a set-up in the README (all but busybox httpd).
const std::vector<Server> &readme_servers();

// What a test server serves, all in the folder root: root/www is the document
// root, root/www/cgi-bin the CGI folder, root/logs the logs.
struct ServerSite {
    ServerSite(std::string root_folder, std::string site_name = "cgi-bin",
               std::map<std::string, std::string> site_fields = {})
        : root(std::move(root_folder)),
          site(std::move(site_name)),
          fields(std::move(site_fields)) {}
    std::string root;
    // The README's set-up: tests/e2e/servers/<server>-<site>.conf ("cgi-bin"
    // or "index-folder"), included by the server's own <server>.conf.
    std::string site;
    // Fields of the set-up beyond the test's folders; INDEX (the index folder
    // the server names in SITEQUERY_INDEX) is root/index unless given.
    std::map<std::string, std::string> fields;
};
// Starts server with the README's set-up site (busybox httpd runs every file
// of cgi-bin with tests/e2e/servers/busybox-httpd.conf), the filled-in
// configurations written to site.root; false (after a test failure when the
// server is not installed) when it does not start.
bool start_server(Server server, TestServer &test_server, const ServerSite &site);
// Everything the servers and the programs they ran wrote to the logs of root.
std::string server_logs(const std::string &root);
// The end of a server test: stops server, expects its logs in root free of
// sanitizer reports, and removes root.
void finish_server_test(TestServer &server, const std::string &root);
// Copies the program under test to root/bin/sitequery, where the account a
// server serves as may run it (the build folder may be closed to it), and
// returns that path.
std::string copy_program(const std::string &root);
// The shell command that runs program with args (under the test run's
// emulator when it has one).
std::string program_command(const std::string &program, const std::string &args);
// What a CGI folder holds as program itself: its bytes, or under an emulator
// a script that runs it under the script's own path.
std::string cgi_program_file(const std::string &program);

// Sends request (the bytes as given) to 127.0.0.1:port and returns the whole
// answer, read until the server closes the connection ("" when none comes
// within a minute).
std::string http_exchange(int port, const std::string &request);
// GET target (sent as written: nothing of it is encoded or cut) over
// HTTP/1.0, with the extra header lines headers (each ended by "\r\n").
HttpResponse get(int port, const std::string &target, const std::string &headers = "");
// GET target from the server on port, or POST body to it (form-encoded).
HttpResponse fetch(int port, const std::string &target, const char *body = nullptr);

}  // namespace testsupport
