// make_example <directory>: writes the example index (settings, template and
// every index file) into an existing directory. The committed copy lives in
// examples/site; a test keeps it equal to what this writes.
#include <stdio.h>

#include <exception>

#include "support/example_index.h"

int main(int argc, char **argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: %s <directory>\n", argv[0]);
        return 2;
    }
    try {
        testsupport::write_index(argv[1], testsupport::example_index());
    } catch (const std::exception &error) {
        fprintf(stderr, "make_example: %s\n", error.what());
        return 1;
    }
    return 0;
}
