// Program start: one CGI request from the command line and the environment to
// the complete response on standard output.
#include <stdio.h>

#include "context/context.h"
#include "index/index.h"
#include "request/request.h"
#include "search/search.h"

// Runs a search request once the page head is written: opens the index files
// and loads the dictionary, each of which finishes the page itself when it
// fails, then searches and writes the result page.
static void run_search_request() {
    if (open_index_files() == 0) return;
    if (load_dictionary() == 0) {
        close_index_files();
        free_spelling_list();
        return;
    }
    run_search(&g_search_context);
}

int main(int argc, char **argv) {
    read_command_line(&g_request, argc, argv);
    if (load_settings(&g_request) == 0 && read_cgi_parameters()) {
        reset_request_state();
        if (g_request.autocomplete != 0) {
            if (begin_page(&g_search_context, &g_request)) print_autocomplete(&g_search_context);
        } else if (begin_page(&g_search_context, &g_request)) {
            run_search_request();
        }
    }
    platform_report_private_memory();  // a measuring build's report, with the tables still held
    free_request();
    fflush(stdout);
    return 0;
}
