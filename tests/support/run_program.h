// Test support: runs the real sitequery binary as a web server would run a CGI
// program, and compares responses with golden files.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace testsupport {

// One CGI request.
struct CgiRequest {
    std::string method = "GET";                      // REQUEST_METHOD ("" leaves it unset)
    std::string query_string;                        // QUERY_STRING (set when method is not "")
    std::string content_type;                        // CONTENT_TYPE (set when not empty)
    std::string content_length;                      // CONTENT_LENGTH (set when not empty)
    std::string body;                                // standard input
    std::string remote_addr = "127.0.0.1";           // REMOTE_ADDR (set when not empty)
    std::string script_name = "/cgi-bin/sitequery";  // SCRIPT_NAME (set when not empty)
    std::map<std::string, std::string> extra_env;    // any other variables
    std::vector<std::string> args;                   // arguments after argv[0]
    std::string argv0;                               // argv[0]; default: the binary's path
    std::string program;                             // the binary run; default: sitequery
    int timeout_seconds = 20;                        // the run is killed after this
    int memory_limit_mb = 0;                         // address-space limit of the run (0: none)
};

// What the program did.
struct CgiResponse {
    int exit_code = -1;  // exit status; 128 + signal when killed
    bool timed_out = false;
    std::string out;  // standard output, whole
    std::string err;  // standard error
};

// Path of the sitequery binary under test.
std::string program_path();
// Runs the program with a clean environment holding only the request's variables.
CgiResponse run_cgi(const CgiRequest &request);
// A GET request for query_string against an index directory given with /I.
CgiRequest get_request(const std::string &index_dir, const std::string &query_string);
// Runs get_request(index_dir, query_string) and expects a clean run: it ends
// in time with exit code 0 and writes nothing to standard error.
CgiResponse run_clean_get(const std::string &index_dir, const std::string &query_string);

// Checks document with xmllint, writing it as dir/name.xml first. "" when it is
// well-formed XML, else xmllint's complaint.
std::string xml_errors(const std::string &dir, const std::string &document);

// Compares actual with tests/e2e/expected/<name>; with SITEQUERY_UPDATE_GOLDEN=1
// in the environment the file is written instead. Returns "" when equal, else a
// description of the first difference.
std::string compare_golden(const std::string &name, const std::string &actual);

}  // namespace testsupport
