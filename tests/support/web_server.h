// Test support: web servers of the end-to-end tests (lighttpd, busybox httpd,
// Apache) started in the foreground on 127.0.0.1 in a process group of their
// own, and the clients that talk to them. Not part of the program.
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

// One HTTP answer as curl -i printed it.
struct HttpResponse {
    int status = 0;
    std::map<std::string, std::string> headers;  // names in lower case
    std::string body;
    std::string raw;  // the whole answer, for failure messages
};

void sleep_ms(int ms);
// Full path of an installed program ("" when none of the usual folders has it).
std::string find_program(const std::string &name);
// A port of 127.0.0.1 that was free a moment ago.
int free_port();
// Starts argv with exactly env, standard output and error appended to log, in
// a process group of its own (whose id is the process id); -1 on failure.
pid_t spawn(const std::vector<std::string> &argv, const std::vector<std::string> &env,
            const std::string &log);
// Runs argv (standard error stays the test's) and returns its standard output.
std::string capture_output(const std::vector<std::string> &argv);
// Splits what `curl -i` printed into status, headers and body.
HttpResponse parse_response(const std::string &raw);
// text with every "@KEY@" of fields replaced by its value.
std::string fill(std::string text, const std::map<std::string, std::string> &fields);
// The sanitizer settings of the test run, for the CGI program.
std::vector<std::pair<std::string, std::string>> sanitizer_settings();

// A server process of a test: started by start, stopped (with whatever it
// started) by stop or at the end of its life.
class TestServer {
   public:
    ~TestServer() { stop(); }
    // Starts the server that command(port) runs, with its output in log, and
    // waits until it accepts connections; tries a fresh port when another
    // process took the first. false (after a test failure when program is
    // "") when it does not start.
    bool start(const std::string &program,
               const std::function<std::vector<std::string>(int)> &command, const std::string &log);
    // Stops the server by its process group id and waits for it to end.
    void stop();
    int port() const { return port_; }

   private:
    pid_t pid_ = -1;
    int port_ = -1;
};

// lighttpd with tests/e2e/servers/<config> (by default lighttpd.conf:
// root/www served, cgi-bin running CGI programs), its configuration written
// to root and its logs to root/logs.
bool start_lighttpd(TestServer &server, const std::string &root,
                    const std::string &config = "lighttpd.conf");
// GET target from the server on port, or POST body to it (form-encoded).
HttpResponse fetch(int port, const std::string &target, const char *body = nullptr);

}  // namespace testsupport
