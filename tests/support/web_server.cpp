// Test support: the web servers of the end-to-end tests and their clients.
#include "support/web_server.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include "support/index_writer.h"

namespace testsupport {

const std::string kServersDir = std::string(SITEQUERY_SOURCE_DIR) + "/tests/e2e/servers/";

void sleep_ms(int ms) {
    timespec pause = {ms / 1000, (ms % 1000) * 1000000L};
    nanosleep(&pause, nullptr);
}

std::string find_program(const std::string &name) {
    for (const char *dir :
         {"/usr/sbin", "/usr/bin", "/sbin", "/bin", "/usr/local/sbin", "/usr/local/bin"}) {
        std::string path = std::string(dir) + "/" + name;
        if (access(path.c_str(), X_OK) == 0) return path;
    }
    return "";
}

// A port of 127.0.0.1 that was free a moment ago: the kernel's pick for port 0.
int free_port() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    int port = -1;
    if (fd >= 0 && bind(fd, (sockaddr *)&address, sizeof address) == 0 &&
        getsockname(fd, (sockaddr *)&address, &size) == 0)
        port = ntohs(address.sin_port);
    if (fd >= 0) close(fd);
    return port;
}

namespace {
// A socket connected to 127.0.0.1:port, its reads and writes given up after
// a minute; -1 when none.
int connect_to(int port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return -1;
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons((uint16_t)port);
    timeval limit = {60, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    if (connect(fd, (sockaddr *)&address, sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

bool accepts_connections(int port) {
    int fd = connect_to(port);
    if (fd >= 0) close(fd);
    return fd >= 0;
}

std::vector<char *> c_strings(const std::vector<std::string> &strings) {
    std::vector<char *> pointers;
    for (const auto &s : strings) pointers.push_back(const_cast<char *>(s.c_str()));
    pointers.push_back(nullptr);
    return pointers;
}
}  // namespace

// Starts argv with exactly env, standard output and error appended to log, in
// a process group of its own (whose id is the process id).
pid_t spawn(const std::vector<std::string> &argv, const std::vector<std::string> &env,
            const std::string &log, const Account *as) {
    std::vector<char *> args = c_strings(argv), envp = c_strings(env);
    pid_t parent = getpid();
    pid_t pid = fork();
    if (pid != 0) {
        if (pid > 0) setpgid(pid, pid);
        return pid;
    }
    setpgid(0, 0);
    // Should the test process die, the server goes with it.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    int in = open("/dev/null", O_RDONLY);
    int out = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (in < 0 || out < 0) _exit(127);
    dup2(in, 0);
    dup2(out, 1);
    dup2(out, 2);
    if (as != nullptr &&
        (setgroups(0, nullptr) != 0 || setgid(as->gid) != 0 || setuid(as->uid) != 0))
        _exit(127);
    execve(args[0], args.data(), envp.data());
    _exit(127);
}

// Runs argv (standard error stays the test's) and returns its standard output.
std::string capture_output(const std::vector<std::string> &argv) {
    std::vector<char *> args = c_strings(argv);
    int out[2];
    if (pipe(out) != 0) return "";
    pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], 1);
        close(out[0]);
        close(out[1]);
        execv(args[0], args.data());
        _exit(127);
    }
    close(out[1]);
    std::string text;
    char buffer[65536];
    ssize_t n;
    while ((n = read(out[0], buffer, sizeof buffer)) != 0) {
        if (n > 0)
            text.append(buffer, (size_t)n);
        else if (errno != EINTR)
            break;
    }
    close(out[0]);
    int status;
    if (pid > 0) waitpid(pid, &status, 0);
    return text;
}

bool server_account(Account &account) {
    if (geteuid() != 0) return false;
    const passwd *user = getpwnam("www-data");
    if (user == nullptr) user = getpwnam("nobody");
    if (user == nullptr) return false;
    const group *group = getgrgid(user->pw_gid);
    account = {user->pw_uid, user->pw_gid, user->pw_name,
               group != nullptr ? group->gr_name : std::to_string(user->pw_gid)};
    return true;
}

// Splits an HTTP answer into status, headers and body. Lines of the head may
// end in "\n" alone: busybox httpd passes on the program's own.
HttpResponse parse_response(const std::string &raw) {
    HttpResponse response;
    response.raw = raw;
    if (raw.compare(0, 5, "HTTP/") != 0) return response;
    response.status = atoi(raw.c_str() + raw.find(' ') + 1);
    size_t line = raw.find('\n');
    while (line != std::string::npos) {
        line++;
        size_t end = raw.find('\n', line);
        if (end == std::string::npos) break;
        size_t text_end = end > line && raw[end - 1] == '\r' ? end - 1 : end;
        if (text_end == line) {
            response.body = raw.substr(end + 1);
            break;
        }
        size_t colon = raw.find(':', line);
        if (colon < text_end) {
            std::string name = raw.substr(line, colon - line);
            for (char &c : name) c = (char)tolower((unsigned char)c);
            size_t value = raw.find_first_not_of(' ', colon + 1);
            response.headers[name] = value < text_end ? raw.substr(value, text_end - value) : "";
        }
        line = end;
    }
    return response;
}

// text with every "@KEY@" of fields replaced by its value.
std::string fill(std::string text, const std::map<std::string, std::string> &fields) {
    for (const auto &field : fields) {
        std::string key = "@" + field.first + "@";
        for (size_t at = text.find(key); at != std::string::npos;
             at = text.find(key, at + field.second.size()))
            text.replace(at, key.size(), field.second);
    }
    return text;
}

// The sanitizer settings of the test run, for the CGI program.
std::vector<std::pair<std::string, std::string>> sanitizer_settings() {
    std::vector<std::pair<std::string, std::string>> settings;
    for (const char *name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"})
        if (const char *value = getenv(name)) settings.emplace_back(name, value);
    return settings;
}

namespace {
// The environment of a server and its helpers: PATH and the sanitizer settings.
std::vector<std::string> server_environment() {
    std::vector<std::string> env = {
        "PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin"};
    for (const auto &setting : sanitizer_settings())
        env.push_back(setting.first + "=" + setting.second);
    return env;
}

// Stops the process group pid: SIGTERM, then SIGKILL after three seconds.
void stop_process(pid_t pid) {
    kill(-pid, SIGTERM);
    int status;
    for (int waited = 0; waited < 3000; waited += 10) {
        if (waitpid(pid, &status, WNOHANG) == pid) return;
        sleep_ms(10);
    }
    kill(-pid, SIGKILL);
    waitpid(pid, &status, 0);
}
}  // namespace

bool TestServer::start_helper(const std::vector<std::string> &argv, const std::string &log,
                              const std::function<bool()> &ready, const Account *as) {
    if (argv.empty() || argv[0].empty()) {
        ADD_FAILURE() << "a server's helper is not installed (see tools/install-deps.sh)";
        return false;
    }
    pid_t pid = spawn(argv, server_environment(), log, as);
    if (pid < 0) return false;
    helpers_.push_back(pid);
    for (int waited = 0; waited < 5000; waited += 10) {
        if (ready()) return true;
        int status;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            helpers_.pop_back();
            break;
        }
        sleep_ms(10);
    }
    ADD_FAILURE() << argv[0] << " did not get ready";
    return false;
}

bool TestServer::start(const std::string &program,
                       const std::function<std::vector<std::string>(int)> &command,
                       const std::string &log) {
    if (program.empty()) {
        ADD_FAILURE() << "a web server is not installed (see tools/install-deps.sh)";
        return false;
    }
    for (int attempt = 0; attempt < 3; attempt++) {
        port_ = free_port();
        pid_ = spawn(command(port_), server_environment(), log);
        if (pid_ < 0) return false;
        for (int waited = 0; waited < 5000; waited += 10) {
            int status;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                break;
            }
            if (accepts_connections(port_)) return true;
            sleep_ms(10);
        }
        if (pid_ > 0) stop_process(pid_);
        pid_ = -1;
    }
    return false;
}

void TestServer::stop() {
    if (pid_ > 0) stop_process(pid_);
    pid_ = -1;
    for (pid_t helper : helpers_) stop_process(helper);
    helpers_.clear();
}

std::string http_exchange(int port, const std::string &request) {
    int fd = connect_to(port);
    if (fd < 0) return "";
    for (size_t sent = 0; sent < request.size();) {
        ssize_t n = send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (n > 0)
            sent += (size_t)n;
        else if (n < 0 && errno == EINTR)
            continue;
        else
            break;
    }
    std::string answer;
    char buffer[65536];
    for (;;) {
        ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n > 0)
            answer.append(buffer, (size_t)n);
        else if (n == 0 || errno != EINTR)
            break;
    }
    close(fd);
    return answer;
}

HttpResponse get(int port, const std::string &target, const std::string &headers) {
    return parse_response(http_exchange(
        port, "GET " + target + " HTTP/1.0\r\nHost: 127.0.0.1\r\n" + headers + "\r\n"));
}

HttpResponse fetch(int port, const std::string &target, const char *body) {
    if (body == nullptr) return get(port, target);
    const std::string text = body;
    return parse_response(
        http_exchange(port, "POST " + target +
                                " HTTP/1.0\r\nHost: 127.0.0.1\r\n"
                                "Content-Type: application/x-www-form-urlencoded\r\n"
                                "Content-Length: " +
                                std::to_string(text.size()) + "\r\n\r\n" + text));
}

}  // namespace testsupport
