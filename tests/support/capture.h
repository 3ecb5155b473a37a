// Test support: captures what the code under test writes to standard output,
// and gives a stream that cannot be sought.
#pragma once

#include <stdio.h>
#include <unistd.h>

#include <string>

namespace testsupport {

// Redirects file descriptor 1 to a temporary file until text() is called.
class StdoutCapture {
   public:
    StdoutCapture() {
        fflush(stdout);
        file_ = tmpfile();
        saved_ = dup(1);
        dup2(fileno(file_), 1);
    }
    ~StdoutCapture() {
        restore();
        if (file_ != nullptr) fclose(file_);
    }
    // Everything written since construction; restores standard output.
    std::string text() {
        restore();
        std::string out;
        rewind(file_);
        char buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, file_)) > 0) out.append(buffer, n);
        return out;
    }

   private:
    void restore() {
        if (saved_ < 0) return;
        fflush(stdout);
        dup2(saved_, 1);
        close(saved_);
        saved_ = -1;
    }
    FILE *file_ = nullptr;
    int saved_ = -1;
};

// The read end of a pipe as a stream: a file that can be neither sought nor
// read at offsets. stream is null when the pipe could not be made.
class PipeStream {
   public:
    PipeStream() {
        int ends[2];
        if (pipe(ends) != 0) return;
        stream = fdopen(ends[0], "rb");
        write_end_ = ends[1];
        if (stream == nullptr) close(ends[0]);
    }
    ~PipeStream() {
        if (stream != nullptr) fclose(stream);
        if (write_end_ >= 0) close(write_end_);
    }
    PipeStream(const PipeStream &) = delete;
    PipeStream &operator=(const PipeStream &) = delete;
    FILE *stream = nullptr;

   private:
    int write_end_ = -1;
};

}  // namespace testsupport
