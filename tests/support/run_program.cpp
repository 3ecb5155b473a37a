// Test support: runs the program in a child process with a time limit.
#include "support/run_program.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <stdexcept>

#include "support/index_writer.h"

namespace testsupport {

std::string program_path() {
    return SITEQUERY_BINARY;
}

CgiRequest get_request(const std::string &index_dir, const std::string &query_string) {
    CgiRequest request;
    request.query_string = query_string;
    request.args = {"/I", index_dir};
    return request;
}

CgiResponse run_clean_get(const std::string &index_dir, const std::string &query_string) {
    CgiResponse response = run_cgi(get_request(index_dir, query_string));
    EXPECT_FALSE(response.timed_out);
    EXPECT_EQ(response.exit_code, 0);
    EXPECT_EQ(response.err, "");
    return response;
}

namespace {
void drain(int fd, std::string &into, bool &open) {
    char buffer[65536];
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n > 0)
        into.append(buffer, (size_t)n);
    else if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN))
        open = false;
}

double now_seconds() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}
}  // namespace

CgiResponse run_cgi(const CgiRequest &request) {
    std::vector<std::string> env;
    if (!request.method.empty()) {
        env.push_back("GATEWAY_INTERFACE=CGI/1.1");
        env.push_back("REQUEST_METHOD=" + request.method);
        env.push_back("QUERY_STRING=" + request.query_string);
    }
    if (!request.content_type.empty()) env.push_back("CONTENT_TYPE=" + request.content_type);
    if (!request.content_length.empty()) env.push_back("CONTENT_LENGTH=" + request.content_length);
    if (!request.remote_addr.empty()) env.push_back("REMOTE_ADDR=" + request.remote_addr);
    if (!request.script_name.empty()) env.push_back("SCRIPT_NAME=" + request.script_name);
    for (const auto &kv : request.extra_env) env.push_back(kv.first + "=" + kv.second);
    // Sanitizer settings pass through so that a report fails the test.
    std::string asan_options = getenv("ASAN_OPTIONS") != nullptr ? getenv("ASAN_OPTIONS") : "";
#ifdef SITEQUERY_SANITIZE
    // Under AddressSanitizer a memory limit is its allocator's limit instead.
    if (request.memory_limit_mb > 0)
        asan_options += (asan_options.empty() ? "" : ":") +
                        std::string("allocator_may_return_null=1:max_allocation_size_mb=") +
                        std::to_string(request.memory_limit_mb);
#endif
    if (!asan_options.empty()) env.push_back("ASAN_OPTIONS=" + asan_options);
    if (const char *value = getenv("UBSAN_OPTIONS"))
        env.push_back(std::string("UBSAN_OPTIONS=") + value);

    const std::string binary = request.program.empty() ? program_path() : request.program;
    std::vector<std::string> args;
    args.push_back(request.argv0.empty() ? binary : request.argv0);
    for (const auto &a : request.args) args.push_back(a);

    int in_pipe[2], out_pipe[2], err_pipe[2];
    if (pipe(in_pipe) || pipe(out_pipe) || pipe(err_pipe)) throw std::runtime_error("pipe");
    pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork");
    if (pid == 0) {
        dup2(in_pipe[0], 0);
        dup2(out_pipe[1], 1);
        dup2(err_pipe[1], 2);
        for (int fd : {in_pipe[0], in_pipe[1], out_pipe[0], out_pipe[1], err_pipe[0], err_pipe[1]})
            close(fd);
        std::vector<char *> argv, envp;
#ifdef SITEQUERY_EMULATOR
        // The emulator runs the program with the argv[0] the request asks for.
        std::string emulator = SITEQUERY_EMULATOR, program = binary;
        // The emulator's reserved guest address space stands for the memory limit.
        std::string reserve = std::to_string((long long)request.memory_limit_mb << 20);
        argv.push_back(const_cast<char *>(emulator.c_str()));
        if (request.memory_limit_mb > 0) {
            argv.push_back(const_cast<char *>("-R"));
            argv.push_back(const_cast<char *>(reserve.c_str()));
        }
        argv.push_back(const_cast<char *>("-0"));
        argv.push_back(const_cast<char *>(args[0].c_str()));
        argv.push_back(const_cast<char *>(program.c_str()));
        for (size_t i = 1; i < args.size(); i++)
            argv.push_back(const_cast<char *>(args[i].c_str()));
#else
        for (auto &a : args) argv.push_back(const_cast<char *>(a.c_str()));
#endif
        argv.push_back(nullptr);
        for (auto &e : env) envp.push_back(const_cast<char *>(e.c_str()));
        envp.push_back(nullptr);
#ifndef SITEQUERY_SANITIZE
        if (request.memory_limit_mb > 0) {
            rlimit limit;
            limit.rlim_cur = limit.rlim_max = (rlim_t)request.memory_limit_mb << 20;
            setrlimit(RLIMIT_AS, &limit);
        }
#endif
        execve(argv[0] == args[0].c_str() ? binary.c_str() : argv[0], argv.data(), envp.data());
        _exit(127);
    }
    close(in_pipe[0]);
    close(out_pipe[1]);
    close(err_pipe[1]);
    signal(SIGPIPE, SIG_IGN);
    // Small bodies fit the pipe; larger ones are written while reading.
    fcntl(in_pipe[1], F_SETFL, O_NONBLOCK);
    size_t written = 0;
    bool in_open = true, out_open = true, err_open = true;
    if (request.body.empty()) {
        close(in_pipe[1]);
        in_open = false;
    }
    CgiResponse response;
    double deadline = now_seconds() + request.timeout_seconds;
    while (out_open || err_open) {
        pollfd fds[3];
        int n = 0;
        if (out_open) fds[n++] = {out_pipe[0], POLLIN, 0};
        if (err_open) fds[n++] = {err_pipe[0], POLLIN, 0};
        if (in_open) fds[n++] = {in_pipe[1], POLLOUT, 0};
        double left = deadline - now_seconds();
        if (left <= 0) {
            kill(pid, SIGKILL);
            response.timed_out = true;
            break;
        }
        if (poll(fds, (nfds_t)n, (int)(left * 1000) + 1) < 0 && errno != EINTR) break;
        for (int i = 0; i < n; i++) {
            if (!(fds[i].revents & (POLLIN | POLLOUT | POLLHUP | POLLERR))) continue;
            if (fds[i].fd == out_pipe[0]) drain(out_pipe[0], response.out, out_open);
            if (fds[i].fd == err_pipe[0]) drain(err_pipe[0], response.err, err_open);
            if (fds[i].fd == in_pipe[1]) {
                ssize_t w =
                    write(in_pipe[1], request.body.data() + written, request.body.size() - written);
                if (w > 0) written += (size_t)w;
                if (w < 0 && errno != EAGAIN) written = request.body.size();
                if (written >= request.body.size()) {
                    close(in_pipe[1]);
                    in_open = false;
                }
            }
        }
    }
    if (in_open) close(in_pipe[1]);
    close(out_pipe[0]);
    close(err_pipe[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status))
        response.exit_code = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        response.exit_code = 128 + WTERMSIG(status);
    return response;
}

std::string xml_errors(const std::string &dir, const std::string &document) {
    write_file(dir, "document.xml", document);
    std::string command = "xmllint --noout '" + dir + "/document.xml' 2>&1";
    FILE *pipe = popen(command.c_str(), "r");
    std::string out;
    char buffer[512];
    while (pipe != nullptr && fgets(buffer, sizeof buffer, pipe) != nullptr) out += buffer;
    int status = pipe != nullptr ? pclose(pipe) : -1;
    return status == 0 ? "" : out.empty() ? "xmllint failed" : out;
}

std::string compare_golden(const std::string &name, const std::string &actual) {
    std::string path = std::string(SITEQUERY_SOURCE_DIR) + "/tests/e2e/expected/" + name;
    const char *update = getenv("SITEQUERY_UPDATE_GOLDEN");
    if (update != nullptr && update[0] == '1') {
        write_file(std::string(SITEQUERY_SOURCE_DIR) + "/tests/e2e/expected", name, actual);
        return "";
    }
    std::string expected = read_file(path);
    if (expected == actual) return "";
    size_t i = 0;
    while (i < expected.size() && i < actual.size() && expected[i] == actual[i]) i++;
    size_t from = i > 40 ? i - 40 : 0;
    return "golden " + name + " differs at byte " + std::to_string(i) + " (expected " +
           std::to_string(expected.size()) + " bytes, got " + std::to_string(actual.size()) +
           ")\nexpected: ..." + expected.substr(from, 120) + "\nactual:   ..." +
           actual.substr(from, 120);
}

}  // namespace testsupport
