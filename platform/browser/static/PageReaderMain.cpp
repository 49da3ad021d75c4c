// swfharvex-page-reader MEMORY_BYTES CPU_SECONDS: reads a page on standard input and writes its
// outline as JSON on standard output. Started by IsolatedPageReader, never by a person.
#include <cstdio>
#include <cstdlib>

#include <unistd.h>

#include "browser/static/IsolatedPageReader.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: swfharvex-page-reader MEMORY_BYTES CPU_SECONDS (started by swfharvex)\n",
                   stderr);
        return 2;
    }
    IsolatedPageReader::Serve(STDIN_FILENO, STDOUT_FILENO, std::strtoull(argv[1], nullptr, 10),
                              std::strtoul(argv[2], nullptr, 10));
}
