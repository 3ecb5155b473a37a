// The program's own file name and index directory from argv[0], the
// SITEQUERY_INDEX environment variable and the "/I <directory>" option.
#include <ctype.h>
#include <stdlib.h>
#include <string.h>

#include "request/request.h"

namespace {
// Copies value into field when it fits whole; returns false (field untouched) otherwise.
bool copy_whole(char *field, size_t size, const char *value, size_t length) {
    if (length >= size) return false;
    memcpy(field, value, length);
    field[length] = '\0';
    return true;
}

// Number of trailing arguments that a web server made from an "="-less query
// string (RFC 3875 lets it pass the query's "+"-separated words as arguments);
// 0 when not running as CGI or the query holds "=". Those arguments are never
// read as options, whatever the server's decoding made of them.
int count_query_word_arguments(int argc, char **argv) {
    (void)argv;
    if (getenv("GATEWAY_INTERFACE") == nullptr && getenv("REQUEST_METHOD") == nullptr) return 0;
    const char *query = getenv("QUERY_STRING");
    if (query == nullptr || query[0] == '\0' || strchr(query, '=') != nullptr) return 0;
    int words = 1;
    for (const char *p = query; *p != '\0'; p++)
        if (*p == '+') words++;
    return words < argc ? words : argc - 1;
}
}  // namespace

void read_command_line(RequestParams *request, int argc, char **argv) {
    const char *program = argc > 0 && argv[0] != nullptr ? argv[0] : "";
    const char *separator = strrchr(program, '\\');
    if (separator == nullptr) separator = strrchr(program, '/');
    if (separator != nullptr) {
        const char *name = separator + 1;
        copy_whole(request->script_file_name, sizeof request->script_file_name, name, strlen(name));
        // A directory too long for its field falls back to the current directory
        // rather than to a cut path that could name another directory.
        if (!copy_whole(request->index_directory, sizeof request->index_directory, program,
                        (size_t)(separator - program)))
            copy_whole(request->index_directory, sizeof request->index_directory, ".", 1);
    } else {
        copy_whole(request->script_file_name, sizeof request->script_file_name, program,
                   strlen(program));
        copy_whole(request->index_directory, sizeof request->index_directory, ".", 1);
    }

    // The web server's configuration may name the index directory; a visitor
    // cannot set this variable (request headers arrive as HTTP_*). Empty is
    // unset, and a value too long for the field is ignored, as a /I value is.
    const char *configured = getenv(kIndexEnvironmentVariable);
    if (configured != nullptr && configured[0] != '\0')
        copy_whole(request->index_directory, sizeof request->index_directory, configured,
                   strlen(configured));

    int last_option = argc - count_query_word_arguments(argc, argv);
    for (int i = 1; i < last_option; i++) {
        const char *argument = argv[i];
        if (argument[0] != '/' || toupper((unsigned char)argument[1]) != 'I') continue;
        if (i + 1 >= last_option) continue;
        const char *directory = argv[i + 1];
        copy_whole(request->index_directory, sizeof request->index_directory, directory,
                   strlen(directory));
    }
}
