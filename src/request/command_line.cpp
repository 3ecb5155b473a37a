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

// Characters a web server may put a backslash before in the words it passes
// (Apache escapes these for the shell).
constexpr char kShellEscapedCharacters[] = "&;`'\"|*?~<>^()[]{}$\\\n";
constexpr int kHexPairLength = 2;  // digits after a '%'

// Whether the query word [word, end) as a server decodes it is argument: a
// '%' and two hexadecimal digits give their byte (any other '%' stays), a
// decoded NUL ends the argument, and with `escaped` each shell character
// stands behind a backslash.
bool is_decoded_word(const char *argument, const char *word, const char *end, bool escaped) {
    const char *a = argument;
    for (const char *p = word; p < end;) {
        char c = *p++;
        if (c == '%' && end - p >= kHexPairLength && isxdigit((unsigned char)p[0]) &&
            isxdigit((unsigned char)p[1])) {
            c = (char)hex_pair_value(p[0], p[1]);
            p += kHexPairLength;
        }
        if (c == '\0') return *a == '\0';
        if (escaped && strchr(kShellEscapedCharacters, c) != nullptr && *a++ != '\\') return false;
        if (*a++ != c) return false;
    }
    return *a == '\0';
}

// Whether argument is the query word [word, end) as some server passes it:
// undecoded, decoded, or decoded with the shell characters escaped.
bool is_query_word(const char *argument, const char *word, const char *end) {
    const size_t length = (size_t)(end - word);
    if (strlen(argument) == length && memcmp(argument, word, length) == 0) return true;
    return is_decoded_word(argument, word, end, false) ||
           is_decoded_word(argument, word, end, true);
}

// Whether the `count` arguments are the first `count` "+"-separated words of query.
bool are_first_query_words(char **arguments, int count, const char *query) {
    const char *word = query;
    for (int i = 0; i < count; i++) {
        const char *end = strchr(word, '+');
        if (end == nullptr) end = word + strlen(word);
        if (!is_query_word(arguments[i], word, end)) return false;
        word = *end == '+' ? end + 1 : end;
    }
    return true;
}

// Number of trailing arguments that the web server made of an "="-less
// query string (RFC 3875 lets it pass the query's "+"-separated words as
// arguments, after those of a wrapper script): the longest run of trailing
// arguments that are the query's first words, all of them or as many as the
// server passes when it limits the number of arguments. 0 when not running
// as CGI, the query holds "=", or the server passed no word. Those arguments
// are never read as options, so that a visitor cannot move the index
// directory, while a wrapper's own options before them still count.
int count_query_word_arguments(int argc, char **argv) {
    if (getenv("GATEWAY_INTERFACE") == nullptr && getenv("REQUEST_METHOD") == nullptr) return 0;
    const char *query = getenv("QUERY_STRING");
    if (query == nullptr || query[0] == '\0' || strchr(query, '=') != nullptr) return 0;
    int words = 1;
    for (const char *p = query; *p != '\0'; p++)
        if (*p == '+') words++;
    for (int count = words < argc ? words : argc - 1; count > 0; count--)
        if (are_first_query_words(argv + argc - count, count, query)) return count;
    return 0;
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
